#include "support/OpenDevices.h"

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <unistd.h>

bool ProcessHolds(const QString& device) {
    DIR* d = ::opendir("/proc/self/fd");
    if (!d)
        return false;
    const QByteArray path = QFile::encodeName(device);
    bool held = false;
    while (dirent* e = ::readdir(d)) {
        char target[512];
        const QByteArray link = QByteArray("/proc/self/fd/") + e->d_name;
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        const QByteArray t(target, int(n));
        if (t == path || t == path + " (deleted)")
            held = true;
    }
    ::closedir(d);
    return held;
}
