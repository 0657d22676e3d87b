// Names and folders on POSIX systems: names are bytes, read with readdir and looked at with
// fstatat relative to the open folder.

#include "FileNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pdx {

namespace {

FileKind KindOfMode(mode_t mode)
{
    return S_ISREG(mode) ? FileKind::Regular : S_ISDIR(mode) ? FileKind::Directory : FileKind::Other;
}

} // namespace

FileKind KindOf(const QString& path)
{
    struct stat st {};
    if (::stat(EncodeFileName(path).constData(), &st) != 0)
        return FileKind::Missing;
    return KindOfMode(st.st_mode);
}

bool IsSymbolicLink(const QString& path)
{
    struct stat st {};
    return ::lstat(EncodeFileName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

QByteArray FileIdentity(const QString& path)
{
    struct stat st {};
    if (::stat(EncodeFileName(path).constData(), &st) != 0)
        return {};
    QByteArray id;
    id.append(reinterpret_cast<const char*>(&st.st_dev), sizeof st.st_dev);
    id.append(reinterpret_cast<const char*>(&st.st_ino), sizeof st.st_ino);
    return id;
}

bool ListDirectory(const QString& directory, std::vector<DirEntry>& entries)
{
    const QByteArray path = EncodeFileName(directory.isEmpty() ? QStringLiteral(".") : directory);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        DirEntry e;
        e.name = DecodeFileName(name);
        struct stat st {};
        if (entry->d_type == DT_REG) {
            e.kind = FileKind::Regular;
        } else if (entry->d_type == DT_DIR) {
            e.kind = FileKind::Directory;
        } else {
            // A link, or a file system that does not say: one stat, links followed.
            e.link = entry->d_type == DT_LNK;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat own {};
                e.link = ::fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
            }
            e.kind = ::fstatat(fd, name, &st, 0) == 0 ? KindOfMode(st.st_mode) : FileKind::Missing;
        }
        entries.push_back(std::move(e));
    }
    ::closedir(dir);
    return true;
}

QString PathCharacters()
{
    return QStringLiteral("/");
}

QStringList CommandLineArguments(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << DecodeFileName(argv[i]);
    return args;
}

QString ExecutableFileName()
{
    // Linux's link names the binary itself, also when it was started through a link.
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || std::size_t(length) >= sizeof path)
        return {};
    return DecodeFileName(QByteArrayView(path, length));
}

} // namespace pdx
