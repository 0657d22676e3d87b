// The running executable on Windows.
#include "InitProg.h"

#include <QDir>
#include <QFileInfo>

#include <string>

#include <windows.h>

namespace InitProg {

QString RunningExecutable(const QString& argv0)
{
    // The system's own name of the module, as long as it is (long paths included).
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0)
            break;
        if (length < name.size()) {
            name.resize(length);
            return QDir::toNativeSeparators(QString::fromStdWString(name));
        }
        if (name.size() >= 32768)
            break;
        name.resize(name.size() * 2);
    }
    return QDir::toNativeSeparators(QFileInfo(argv0).absoluteFilePath());
}

} // namespace InitProg
