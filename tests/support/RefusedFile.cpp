#include "support/RefusedFile.h"

#include <QFileInfo>

#include <algorithm>

RefusedFile::RefusedFile(QString path, std::initializer_list<FileSeam::Step> steps)
    : m_path(QFileInfo(path).absoluteFilePath()), m_steps(steps) {
    FileSeam::Installed() = [this](FileSeam::Step step, const QString& p) {
        if (QFileInfo(p).absoluteFilePath() != m_path ||
            std::find(m_steps.begin(), m_steps.end(), step) == m_steps.end())
            return false;
        ++m_refusals;
        return true;
    };
}

RefusedFile::~RefusedFile() {
    FileSeam::Installed() = nullptr;
}
