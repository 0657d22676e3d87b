// The running executable on POSIX systems.
#include "InitProg.h"

#include "source/FileNames.h"

#include <QDir>
#include <QFileInfo>

namespace InitProg {

QString RunningExecutable(const QString& argv0)
{
    // Linux's link names the binary itself, also when it was started through a link; a
    // folder whose name is not UTF-8 keeps its bytes (source/FileNames.h).
    const QString self = pdx::ExecutableFileName();
    if (!self.isEmpty())
        return self;
    return QDir::toNativeSeparators(QFileInfo(argv0).absoluteFilePath());
}

} // namespace InitProg
