#pragma once
// Makes reading or writing one file fail, whatever the process's rights, for as
// long as the object lives. Permission bits cannot do that for root, who runs CI.

#include "base/FileSeam.h"

#include <QString>

#include <initializer_list>
#include <vector>

class RefusedFile {
public:
    RefusedFile(QString path, std::initializer_list<FileSeam::Step> steps);
    ~RefusedFile();
    RefusedFile(const RefusedFile&) = delete;
    RefusedFile& operator=(const RefusedFile&) = delete;

    // How many times a step on the file was refused.
    int Refusals() const { return m_refusals; }

private:
    QString m_path;
    std::vector<FileSeam::Step> m_steps;
    int m_refusals = 0;
};
