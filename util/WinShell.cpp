// The parts of the shell layer that every platform shares: result codes, flags
// and the calls made of other calls.
#include "WinShell.h"

#include "FileUtils.h"
#include "WinShellPlatform.h"

#include <QFileInfo>

namespace WinShell {

namespace {

// Windows error codes of the calls here.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kInvalidParameter = 87;

} // namespace

QString GetPersonalFolderPath() { return GetSpecialFolderPath(CSIDL_PERSONAL); }

QString GetAppDataFolderPath() { return GetSpecialFolderPath(CSIDL_APPDATA); }

HRESULT HResultFromWin32(std::uint32_t code)
{
    if (code == 0)
        return HR_OK;
    return static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}

HRESULT QueryShellLink(const QString& fileName, QString& target, QString& arguments, QString& workDir,
                       QString& description, bool& runAsAdmin)
{
    target.clear();
    arguments.clear();
    workDir.clear();
    description.clear();
    runAsAdmin = false;
    if (!FileUtils::FileExists(fileName))
        return kFileNotFound;

    return Platform::ReadShellLink(fileName, target, arguments, workDir, description, runAsAdmin);
}

HRESULT ShellItemOperation(WindowHandle /*owner*/, const QString& source, const QString& dest, std::int32_t op,
                           std::uint32_t flags)
{
    const QString item = Platform::WithoutTrailingDelimiter(source);
    if (item.isEmpty())
        return HR_INVALIDARG;
    const bool replace = (flags & FOF_NOCONFIRMATION) != 0;
    std::uint32_t code = 0;
    switch (op) {
    case SIO_DELETE:
        code = Platform::DeleteEntry(item, (flags & FOF_ALLOWUNDO) != 0);
        break;
    case SIO_COPY:
        code = Platform::TransferEntry(item, Platform::WithoutTrailingDelimiter(dest), true, replace);
        break;
    default:
        code = Platform::TransferEntry(item, Platform::WithoutTrailingDelimiter(dest), false, replace);
        break;
    }
    return HResultFromWin32(code);
}

std::int32_t ShellFileOperation(WindowHandle /*owner*/, const QString& from, const QString& to,
                                const QString& /*progressTitle*/, std::uint32_t func, std::uint16_t flags)
{
    const QString source = Platform::WithoutTrailingDelimiter(from);
    if (source.isEmpty())
        return kInvalidParameter;
    const bool replace = (flags & FOF_NOCONFIRMATION) != 0;
    QString target = Platform::WithoutTrailingDelimiter(to);
    std::uint32_t code = 0;
    switch (func) {
    case FO_DELETE:
        code = Platform::DeleteEntry(source, (flags & FOF_ALLOWUNDO) != 0);
        break;
    case FO_MOVE:
    case FO_COPY:
        if (FileUtils::DirectoryExists(target))
            target = FileUtils::JoinPath(target, QFileInfo(source).fileName());
        code = Platform::TransferEntry(source, target, func == FO_COPY, replace);
        break;
    case FO_RENAME:
        if (!target.isEmpty() && QFileInfo(target).isRelative())
            target = FileUtils::JoinPath(QFileInfo(source).path(), target);
        code = Platform::TransferEntry(source, target, false, replace);
        break;
    default:
        code = kInvalidParameter;
        break;
    }
    return static_cast<std::int32_t>(code);
}

bool GetShellLinkInfo(const QString& fileName, QString& target, QString& arguments, QString& workDir,
                      QString& description)
{
    bool runAsAdmin = false;
    return QueryShellLink(fileName, target, arguments, workDir, description, runAsAdmin) >= 0;
}

std::uint32_t DeleteItemFlags(bool allowUndo, bool noErrorUI)
{
    std::uint32_t flags = FOF_NOCONFIRMATION | FOF_NO_CONNECTED_ELEMENTS;
    if (allowUndo)
        flags |= FOF_ALLOWUNDO;
    if (noErrorUI)
        flags |= FOF_NOERRORUI | FOFX_EARLYFAILURE;
    return flags;
}

std::uint16_t DeleteFolderFlags(bool allowUndo, bool noErrorUI)
{
    std::uint16_t flags = FOF_NOCONFIRMATION | FOF_NO_CONNECTED_ELEMENTS;
    if (allowUndo)
        flags |= FOF_ALLOWUNDO;
    if (noErrorUI)
        flags |= FOF_NOERRORUI;
    return flags;
}

HRESULT ShellDeleteItem(WindowHandle owner, const QString& path, bool allowUndo, bool noErrorUI)
{
    return ShellItemOperation(owner, FileUtils::EnsureTrailingDelimiter(path), QString(), SIO_DELETE,
                              DeleteItemFlags(allowUndo, noErrorUI));
}

std::int32_t ShellDeleteFolder(WindowHandle owner, const QString& path, const QString& progressTitle,
                               bool allowUndo, bool noErrorUI)
{
    return ShellFileOperation(owner, path, QString(), progressTitle, FO_DELETE,
                              DeleteFolderFlags(allowUndo, noErrorUI));
}

} // namespace WinShell
