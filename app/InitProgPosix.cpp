// The running executable on POSIX systems.
#include "InitProg.h"

#include <QDir>
#include <QFileInfo>

namespace InitProg {

QString RunningExecutable(const QString& argv0)
{
    // Linux's link names the binary itself, also when it was started through a link.
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!self.isEmpty())
        return QDir::toNativeSeparators(self);
    return QDir::toNativeSeparators(QFileInfo(argv0).absoluteFilePath());
}

} // namespace InitProg
