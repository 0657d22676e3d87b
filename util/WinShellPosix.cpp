// The shell layer over the desktop's standard locations, liblnk and the trash.
#include "WinShell.h"
#include "WinShellPlatform.h"

#include "FileUtils.h"
#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

// Debian's liblnk header pulls in libbfio's header for a few functions this unit does not
// use, and that header is not packaged with it; switching the feature off avoids the include.
#include <liblnk/features.h>
#undef LIBLNK_HAVE_BFIO
#include <liblnk.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace WinShell {

namespace {

// Windows error codes this unit answers with itself.
constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
constexpr std::uint32_t ERROR_FILE_EXISTS = 80;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;


// ---- Shell link files ------------------------------------------------------

// Owns one opened liblnk file.
class LinkFile {
public:
    explicit LinkFile(const QString& fileName)
    {
        if (liblnk_file_initialize(&FFile, nullptr) != 1) {
            FFile = nullptr;
            return;
        }
        FOpen = liblnk_file_open(FFile, QFile::encodeName(fileName).constData(), LIBLNK_OPEN_READ, nullptr) == 1;
    }
    ~LinkFile()
    {
        if (FOpen)
            liblnk_file_close(FFile, nullptr);
        if (FFile != nullptr)
            liblnk_file_free(&FFile, nullptr);
    }
    LinkFile(const LinkFile&) = delete;
    LinkFile& operator=(const LinkFile&) = delete;

    bool IsOpen() const { return FOpen; }
    liblnk_file_t* Get() const { return FFile; }

private:
    liblnk_file_t* FFile = nullptr;
    bool FOpen = false;
};

using SizeGetter = int (*)(liblnk_file_t*, size_t*, liblnk_error_t**);
using TextGetter = int (*)(liblnk_file_t*, uint16_t*, size_t, liblnk_error_t**);

// One UTF-16 text of the link; false when the link does not hold it or it cannot be read.
bool ReadLinkText(const LinkFile& link, SizeGetter getSize, TextGetter getText, QString& text)
{
    size_t size = 0;  // in UTF-16 units, the terminating NUL included
    if (getSize(link.Get(), &size, nullptr) != 1 || size == 0)
        return false;
    std::vector<uint16_t> buffer(size, 0);
    if (getText(link.Get(), buffer.data(), size, nullptr) != 1)
        return false;
    text = QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.data()),
                              static_cast<qsizetype>(size - 1));
    return true;
}

// ---- File operations -------------------------------------------------------

fs::path ToFsPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

// The path without trailing delimiters; the root stays "/".
} // namespace

QString Platform::WithoutTrailingDelimiter(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

namespace {

QString WritableLocation(QStandardPaths::StandardLocation location)
{
    // The shell gives these folders without a trailing delimiter.
    return Platform::WithoutTrailingDelimiter(QStandardPaths::writableLocation(location));
}

std::uint32_t ToWinError(const std::error_code& ec, const QString& path)
{
    return FileUtils::ErrnoToWinError(ec.value(), path);
}

bool EntryExists(const QString& path)
{
    std::error_code ec;
    return fs::symlink_status(ToFsPath(path), ec).type() != fs::file_type::not_found && !ec;
}

bool IsRealDirectory(const QString& path)  // a directory, not a link to one
{
    std::error_code ec;
    return fs::symlink_status(ToFsPath(path), ec).type() == fs::file_type::directory;
}

// Whether inner is outer or lies below it (both resolved as far as they exist).
bool IsSameOrBelow(const QString& inner, const QString& outer)
{
    std::error_code ec;
    const QString a = QString::fromStdString(fs::weakly_canonical(ToFsPath(inner), ec).string());
    const QString b = QString::fromStdString(fs::weakly_canonical(ToFsPath(outer), ec).string());
    return a == b || a.startsWith(FileUtils::EnsureTrailingDelimiter(b));
}

// Whether source and target name the same file: the same spelling, the same
// entry (a link as itself), or the same file once links are followed.
bool IsSameFile(const QString& source, const QString& target)
{
    if (FileUtils::SamePathSpelling(source, target))
        return true;
    struct stat a {};
    struct stat b {};
    if (::lstat(QFile::encodeName(source).constData(), &a) == 0
        && ::lstat(QFile::encodeName(target).constData(), &b) == 0 && a.st_dev == b.st_dev
        && a.st_ino == b.st_ino)
        return true;
    return FileUtils::Platform::SameFileObject(source, target);
}

// A file or a link never takes the place of an existing folder: that would
// need the folder and everything in it deleted.
bool WouldReplaceAFolder(const QString& source, const QString& target)
{
    return !IsRealDirectory(source) && IsRealDirectory(target);
}

} // namespace

std::uint32_t Platform::DeleteEntry(const QString& path, bool toTrash)
{
    if (path.isEmpty())
        return ERROR_INVALID_PARAMETER;
    if (QDir::cleanPath(QDir(path).absolutePath()) == QDir::rootPath())
        return ERROR_ACCESS_DENIED;  // the whole file system is never deleted
    std::error_code ec;
    (void)fs::symlink_status(ToFsPath(path), ec);
    if (ec)
        return ToWinError(ec, path);

    if (toTrash) {
        // The trash lies in the user's data folder, which the desktop may not have made yet.
        // Without that folder Qt 6.4 moves the item to a trash below the current directory.
        const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        if (dataHome.isEmpty() || !QDir().mkpath(dataHome))
            return ERROR_ACCESS_DENIED;
        return QFile::moveToTrash(path) ? 0 : ERROR_GEN_FAILURE;
    }
    if (IsRealDirectory(path)) {
        const FileUtils::DeleteTreeCounts counts = FileUtils::DeleteDirectoryTree(path, true);
        return counts.Failures == 0 && !EntryExists(path) ? 0 : ERROR_ACCESS_DENIED;
    }
    fs::remove(ToFsPath(path), ec);  // a link goes as a link
    return ec ? ToWinError(ec, path) : 0;
}

namespace {

std::uint32_t CopyEntry(const QString& source, const QString& target, bool replace)
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(ToFsPath(source), ec);
    if (ec)
        return ToWinError(ec, source);
    if (IsSameFile(source, target))
        return 0;
    const bool targetExists = EntryExists(target);
    if (targetExists && !replace)
        return ERROR_FILE_EXISTS;
    if (WouldReplaceAFolder(source, target))
        return ERROR_ACCESS_DENIED;

    if (fs::is_directory(status)) {
        if (IsSameOrBelow(target, source))
            return ERROR_INVALID_PARAMETER;  // a folder cannot be copied into itself
        if (targetExists && !IsRealDirectory(target)) {
            if (const std::uint32_t code = Platform::DeleteEntry(target, false))
                return code;
        }
        if (!IsRealDirectory(target) && !fs::create_directory(ToFsPath(target), ec))
            return ToWinError(ec, target);
        const QStringList names =
            QDir(source).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names) {
            const std::uint32_t code =
                CopyEntry(FileUtils::JoinPath(source, name), FileUtils::JoinPath(target, name), true);
            if (code != 0)
                return code;
        }
        return 0;
    }
    if (targetExists && fs::is_symlink(status)) {
        if (const std::uint32_t code = Platform::DeleteEntry(target, false))
            return code;
    }
    if (fs::is_symlink(status))
        fs::copy_symlink(ToFsPath(source), ToFsPath(target), ec);
    else
        fs::copy_file(ToFsPath(source), ToFsPath(target), fs::copy_options::overwrite_existing, ec);
    return ec ? ToWinError(ec, target) : 0;
}

std::uint32_t MoveEntry(const QString& source, const QString& target, bool replace)
{
    if (!EntryExists(source))
        return FileUtils::ErrnoToWinError(ENOENT, source);
    if (IsSameFile(source, target))
        return 0;
    if (EntryExists(target) && !replace)
        return ERROR_FILE_EXISTS;
    if (WouldReplaceAFolder(source, target))
        return ERROR_ACCESS_DENIED;
    std::error_code ec;
    fs::rename(ToFsPath(source), ToFsPath(target), ec);
    if (!ec)
        return 0;
    // Another file system, or a folder that is to be merged into an existing one.
    const int err = ec.value();
    if (err != EXDEV && err != ENOTEMPTY && err != EEXIST && err != EISDIR && err != ENOTDIR)
        return ToWinError(ec, target);
    if (const std::uint32_t code = CopyEntry(source, target, true))
        return code;
    return Platform::DeleteEntry(source, false);
}

} // namespace

// Moves or copies source to the full new path target.
std::uint32_t Platform::TransferEntry(const QString& source, const QString& target, bool copy, bool replace)
{
    if (source.isEmpty() || target.isEmpty())
        return ERROR_INVALID_PARAMETER;
    const QString folder = QFileInfo(target).path();
    if (!FileUtils::DirectoryExists(folder))
        return ERROR_PATH_NOT_FOUND;
    return copy ? CopyEntry(source, target, replace) : MoveEntry(source, target, replace);
}

namespace {

// An absolute folder other than the file system's root, cleaned; empty otherwise.
QString UsableFolder(const QString& path)
{
    if (!QDir::isAbsolutePath(path))
        return QString();
    const QString clean = QDir::cleanPath(path);
    return clean == QStringLiteral("/") ? QString() : clean;
}

// The user's home folder: HOME, or without it the home of the user's entry in the user data
// base (passwd); empty when neither names a folder other than "/".
QString HomeFolder()
{
    if (const QString home = UsableFolder(qEnvironmentVariable("HOME")); !home.isEmpty())
        return home;
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(std::size_t(size > 0 ? size : 16384));
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return QString();
    return UsableFolder(QFile::decodeName(found->pw_dir));
}

// The folder for settings as the XDG base directory rules have it: XDG_CONFIG_HOME when it is
// an absolute path (a relative one is to be ignored), else .config in the home folder. Never
// "/" itself or a folder made in it for want of a home: empty then.
QString ConfigHome()
{
    if (const QString config = UsableFolder(qEnvironmentVariable("XDG_CONFIG_HOME")); !config.isEmpty())
        return config;
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : home + QStringLiteral("/.config");
}

}  // namespace

QString GetSpecialFolderPath(std::int32_t csidl)
{
    switch (csidl) {
    case CSIDL_DESKTOP:
        return WritableLocation(QStandardPaths::DesktopLocation);
    case CSIDL_PERSONAL: {
        // Desktops name a documents folder that need not exist; the home folder stands in.
        const QString documents = WritableLocation(QStandardPaths::DocumentsLocation);
        if (!documents.isEmpty() && FileUtils::DirectoryExists(documents))
            return documents;
        return HomeFolder();
    }
    case CSIDL_APPDATA:
        return ConfigHome();
    default:
        return QString();  // computer, network and the rest have no file-system path here
    }
}

QString NetworkFolderPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return QString();
    return FileUtils::JoinPath(Platform::WithoutTrailingDelimiter(runtime), QStringLiteral("gvfs"));
}

bool IsNetworkPath(const QString& path)
{
    const QString network = NetworkFolderPath();
    if (network.isEmpty() || path.isEmpty())
        return false;
    const QString cleaned = QDir::cleanPath(path);
    return cleaned == network || cleaned.startsWith(network + QLatin1Char('/'));
}

HRESULT Platform::ReadShellLink(const QString& fileName, QString& target, QString& arguments, QString& workDir,
                       QString& description, bool& runAsAdmin)
{
    const LinkFile link(fileName);
    if (!link.IsOpen())
        return HR_FAIL;
    uint32_t dataFlags = 0;
    if (liblnk_file_get_data_flags(link.Get(), &dataFlags, nullptr) != 1)
        return HR_FAIL;
    runAsAdmin = (dataFlags & SLDF_RUNAS_USER) != 0;

    // The target: the local path, else the share's path.
    HRESULT result = HR_OK;
    if (!ReadLinkText(link, liblnk_file_get_utf16_local_path_size, liblnk_file_get_utf16_local_path, target)
        && !ReadLinkText(link, liblnk_file_get_utf16_network_path_size, liblnk_file_get_utf16_network_path,
                         target))
        result = HR_FALSE;
    // Each of the others is read on its own; one that is missing stays empty.
    ReadLinkText(link, liblnk_file_get_utf16_command_line_arguments_size,
                 liblnk_file_get_utf16_command_line_arguments, arguments);
    ReadLinkText(link, liblnk_file_get_utf16_working_directory_size, liblnk_file_get_utf16_working_directory,
                 workDir);
    ReadLinkText(link, liblnk_file_get_utf16_description_size, liblnk_file_get_utf16_description, description);
    return result;
}

} // namespace WinShell
