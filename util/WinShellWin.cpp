// The shell layer over the Windows shell itself: known folders, IShellLinkW and
// SHFileOperationW.
#include "WinShell.h"
#include "WinShellPlatform.h"

#include "FileUtils.h"
#include "Platform.h"
#include "WinCom.h"
#include "WinIo.h"

#include <QDir>
#include <QFileInfo>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace WinShell {

namespace {

using FileUtils::Win::WidePath;

// Shell errors (DE_ values) of SHFileOperationW as Windows error codes.
std::uint32_t FromShellError(int code)
{
    switch (code) {
    case 0:
        return 0;
    case 0x7C:   // DE_INVALIDFILES
        return ERROR_FILE_NOT_FOUND;
    case 0x402:  // an unknown error; on most systems a missing path
        return ERROR_PATH_NOT_FOUND;
    case 0x78:   // DE_ACCESSDENIEDSRC
    case 0x86:   // DE_ROOTDIR
        return ERROR_ACCESS_DENIED;
    case 0x75:   // DE_OPCANCELLED
        return ERROR_CANCELLED;
    default:
        return code < 0x71 ? std::uint32_t(code) : ERROR_GEN_FAILURE;
    }
}

} // namespace

QString Platform::WithoutTrailingDelimiter(QString path)
{
    while (path.size() > 3 && (path.endsWith(u'\\') || path.endsWith(u'/')))
        path.chop(1);
    return path;
}

namespace {

DWORD AttributesOf(const QString& path)
{
    return ::GetFileAttributesW(WidePath(path).c_str());
}

bool EntryExists(const QString& path)
{
    return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const QString& path)
{
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// One SHFileOperationW call, silent, on single names (double-NUL-terminated).
std::uint32_t RunOperation(UINT func, const QString& from, const QString& to, std::uint16_t flags)
{
    std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    source.push_back(L'\0');
    std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    target.push_back(L'\0');
    SHFILEOPSTRUCTW operation {};
    operation.wFunc = func;
    operation.pFrom = source.c_str();
    operation.pTo = to.isEmpty() ? nullptr : target.c_str();
    operation.fFlags = FILEOP_FLAGS(flags | FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR | FOF_NOCONFIRMATION);
    const int result = ::SHFileOperationW(&operation);
    if (result == 0 && operation.fAnyOperationsAborted)
        return ERROR_CANCELLED;
    return FromShellError(result);
}

} // namespace

std::uint32_t Platform::DeleteEntry(const QString& path, bool toTrash)
{
    if (path.isEmpty())
        return ERROR_INVALID_PARAMETER;
    if (QDir(path).isRoot() || (path.size() == 2 && path.at(1) == u':'))
        return ERROR_ACCESS_DENIED;  // a whole drive is never deleted
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError();
    if (!toTrash && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // Junctions and links go as links, never followed.
        const FileUtils::DeleteTreeCounts counts = FileUtils::DeleteDirectoryTree(path, true);
        return counts.Failures == 0 && !EntryExists(path) ? 0 : ERROR_ACCESS_DENIED;
    }
    return RunOperation(FO_DELETE, path, QString(), toTrash ? FOF_ALLOWUNDO : 0);
}

std::uint32_t Platform::TransferEntry(const QString& source, const QString& target, bool copy, bool replace)
{
    if (source.isEmpty() || target.isEmpty())
        return ERROR_INVALID_PARAMETER;
    if (!EntryExists(source))
        return ::GetLastError();
    if (!FileUtils::DirectoryExists(QFileInfo(target).path()))
        return ERROR_PATH_NOT_FOUND;
    if (FileUtils::SamePathSpelling(source, target) || FileUtils::Platform::SameFileObject(source, target))
        return 0;
    if (EntryExists(target)) {
        if (!replace)
            return ERROR_FILE_EXISTS;
        if (!IsFolder(source) && IsFolder(target))
            return ERROR_ACCESS_DENIED;  // a file never takes the place of a folder
        if (IsFolder(source) && IsFolder(target))  // merged into the existing folder
            return RunOperation(copy ? FO_COPY : FO_MOVE, FileUtils::JoinPath(source, QStringLiteral("*")),
                                target, 0);
    }
    return RunOperation(copy ? FO_COPY : FO_MOVE, source, target, 0);
}

using FileUtils::Win::ComPtr;
using FileUtils::Win::ComScope;

QString GetSpecialFolderPath(std::int32_t csidl)
{
    const KNOWNFOLDERID* folder = nullptr;
    switch (csidl) {
    case CSIDL_DESKTOP:
        folder = &FOLDERID_Desktop;
        break;
    case CSIDL_PERSONAL:
        folder = &FOLDERID_Documents;
        break;
    case CSIDL_APPDATA:
        folder = &FOLDERID_RoamingAppData;
        break;
    default:
        return QString();  // computer, network and the rest have no file-system path
    }
    PWSTR path = nullptr;
    QString result;
    if (SUCCEEDED(::SHGetKnownFolderPath(*folder, 0, nullptr, &path)))
        result = Platform::WithoutTrailingDelimiter(QString::fromWCharArray(path));
    ::CoTaskMemFree(path);
    return result;
}

QString NetworkFolderPath()
{
    return QString();  // network shares are reached by their UNC names
}

bool IsNetworkPath(const QString& path)
{
    return path.startsWith(QLatin1String("\\\\")) && !path.startsWith(QLatin1String("\\\\?\\"))
           && !path.startsWith(QLatin1String("\\\\.\\"));
}

HRESULT Platform::ReadShellLink(const QString& fileName, QString& target, QString& arguments, QString& workDir,
                       QString& description, bool& runAsAdmin)
{
    const ComScope com(COINIT_APARTMENTTHREADED);
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link.p))))
        return HR_FAIL;
    ComPtr<IPersistFile> file;
    if (FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))
        || FAILED(file.p->Load(QDir::toNativeSeparators(fileName).toStdWString().c_str(), STGM_READ)))
        return HR_FAIL;

    wchar_t buffer[INFOTIPSIZE] = {};
    HRESULT result = link.p->GetPath(buffer, INFOTIPSIZE, nullptr, SLGP_RAWPATH);
    if (result == HR_OK && buffer[0] != L'\0')
        target = QString::fromWCharArray(buffer);
    else
        result = HR_FALSE;
    const auto read = [&](auto get, QString& text) {
        buffer[0] = L'\0';
        if (SUCCEEDED((link.p->*get)(buffer, INFOTIPSIZE)))
            text = QString::fromWCharArray(buffer);
    };
    read(&IShellLinkW::GetArguments, arguments);
    read(&IShellLinkW::GetWorkingDirectory, workDir);
    read(&IShellLinkW::GetDescription, description);
    ComPtr<IShellLinkDataList> data;
    DWORD flags = 0;
    if (SUCCEEDED(link.p->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data.p)))
        && SUCCEEDED(data.p->GetFlags(&flags)))
        runAsAdmin = (flags & SLDF_RUNAS_USER) != 0;
    return result;
}

} // namespace WinShell
