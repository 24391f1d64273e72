#pragma once
// The one place where reading or writing a whole file can be made to fail on
// purpose. Permission bits cannot make a read or a write fail for a process with
// root's rights, so the tests that check what a refused read or write leaves behind
// install a refusal here. The program never installs one.

#include <QString>

#include <functional>

namespace FileSeam {

enum class Step { Read, OpenForWrite, Commit };
using Refusal = std::function<bool(Step step, const QString& path)>;

inline Refusal& Installed() {
    static Refusal refusal;
    return refusal;
}

// True when the installed refusal makes `step` on `path` fail.
inline bool Refuses(Step step, const QString& path) {
    const Refusal& r = Installed();
    return r && r(step, path);
}

} // namespace FileSeam
