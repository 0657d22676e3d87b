// A new version of a file built under a temporary name and renamed over it.
#include "FileReplace.h"
#include "AclCopy.h"
#include "FileUtils.h"
#include "Platform.h"
#include "PosixIo.h"
#include "StagedCleanup.h"
#include "StagedNames.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include <dirent.h>
#include <stdio.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileUtils {

using namespace Staged;
using Posix::EncodeName;
using Posix::UniqueFd;

namespace {

// SQLite refuses a database path longer than this (its unix limit of 512
// bytes less room for "-journal"), and names the journal like the database
// with "-journal" appended.
constexpr qsizetype kSqlitePathMax = 504;

qsizetype NameMax(const QString& directory)
{
    const long max = ::pathconf(EncodeName(directory).constData(), _PC_NAME_MAX);
    return max > 0 ? qsizetype(max) : 255;
}

// The directory as the kernel sees it (links resolved), which is the path
// SQLite measures.
qsizetype ResolvedLength(const QString& directory)
{
    char resolved[PATH_MAX];
    if (::realpath(EncodeName(directory).constData(), resolved) != nullptr)
        return qsizetype(std::strlen(resolved));
    return EncodeName(QDir(directory).absolutePath()).size();
}

}  // namespace

namespace Staged {

QString DirectoryOf(const QString& fileName)
{
    const qsizetype slash = fileName.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : fileName.left(slash);
}

// Temporary files are hidden and carry the name of the file they replace,
// followed by six random letters: ".Jazz-Music.sqlite.kk-Ab3xYz". Where that
// name, or SQLite's journal beside it, would not fit, the short form
// ".kk" + a mark of the name + the letters is used: 13 bytes, no longer than
// the shortest catalog name. Empty when even that does not fit.
QString TempNamePrefix(const QString& finalName)
{
    const QString directory = DirectoryOf(finalName);
    const QString name = finalName.mid(finalName.lastIndexOf(u'/') + 1);
    const qsizetype nameMax = NameMax(directory) - kJournalSuffixLength;
    const qsizetype pathMax = kSqlitePathMax - ResolvedLength(directory) - 1;
    for (const QString& prefix : {u'.' + name + QStringLiteral(".kk-"), QStringLiteral(".kk") + NameMark(name)}) {
        const qsizetype bytes = EncodeName(prefix).size() + kRandomLetters;
        if (bytes <= nameMax && bytes <= pathMax)
            return prefix;
    }
    return QString();
}

void RemoveWithSideFiles(const QString& fileName)
{
    const QByteArray name = EncodeName(fileName);
    ::unlink(name.constData());
    for (const char* suffix : kSideSuffixes)
        ::unlink((name + suffix).constData());
}

bool NameFits(const QString& directory, const QString& name)
{
    return EncodeName(name).size() <= NameMax(directory);
}

std::uint32_t MoveWithoutReplacing(const QString& from, const QString& to)
{
    const QByteArray source = EncodeName(from);
    const QByteArray target = EncodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return ErrnoToWinError(errno, from);
    // A file system without the flag: the test and the rename are two steps then.
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0)
        return 80;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : ErrnoToWinError(errno, from);
}

void RemoveFile(const QString& fileName)
{
    ::unlink(EncodeName(fileName).constData());
}

void SyncFolder(const QString& directory)
{
    const UniqueFd folder(::open(EncodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid())
        ::fsync(folder.Get());
}

}  // namespace Staged

QString FinalFileName(const QString& fileName)
{
    QString name = fileName;
    // As many steps as the kernel follows before it gives up (ELOOP).
    for (int step = 0; step < 40; ++step) {
        const QByteArray encoded = EncodeName(name);
        struct stat st {};
        if (::lstat(encoded.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return name;
        QByteArray target(std::max<qsizetype>(st.st_size, 255) + 1, '\0');
        const ssize_t length = ::readlink(encoded.constData(), target.data(), std::size_t(target.size()));
        if (length <= 0 || length >= target.size())
            return name;
        target.truncate(length);
        const QString next = QFile::decodeName(target);
        name = next.startsWith(u'/') ? next : DirectoryOf(name) + u'/' + next;
    }
    return name;
}

namespace {

struct RefusedLink {
    QString link;
    QString folder;
};

// The first link on the way to name that the kernel's protected_symlinks rule
// would not follow: one in a sticky folder that everybody may write, owned by
// neither the user who runs the program nor the folder's owner. Another user
// could have planted it there, to have this program write where he may not
// (a root-owned file, say). The path is walked the way the kernel walks it,
// every link of it followed, those of its folders too.
std::optional<RefusedLink> UnfollowableLink(const QString& name)
{
    const uid_t self = ::geteuid();
    std::vector<QByteArray> pending;  // the components still to walk, the next one last
    const auto push = [&pending](const QByteArray& path) {
        QList<QByteArray> parts = path.split('/');
        for (auto it = parts.rbegin(); it != parts.rend(); ++it)
            pending.push_back(*it);
    };
    const QByteArray absolute = EncodeName(QDir::isAbsolutePath(name) ? name : QDir::current().absoluteFilePath(name));
    push(absolute);
    QByteArray current;  // the walk so far, free of links; empty for "/"
    int links = 0;
    while (!pending.empty()) {
        const QByteArray part = pending.back();
        pending.pop_back();
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            current.truncate(std::max<qsizetype>(current.lastIndexOf('/'), 0));
            continue;
        }
        const QByteArray next = current + '/' + part;
        struct stat st {};
        if (::lstat(next.constData(), &st) != 0)
            return std::nullopt;  // nothing there to follow
        if (!S_ISLNK(st.st_mode)) {
            current = next;
            continue;
        }
        struct stat folder {};
        const QByteArray folderName = current.isEmpty() ? QByteArray("/") : current;
        if (::stat(folderName.constData(), &folder) == 0 && (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH)
            && st.st_uid != self && st.st_uid != folder.st_uid)
            return RefusedLink{QFile::decodeName(next), QFile::decodeName(folderName)};
        if (++links > 40)
            return std::nullopt;  // the kernel gives up too (ELOOP)
        QByteArray target(std::max<qsizetype>(st.st_size, 255) + 1, '\0');
        const ssize_t length = ::readlink(next.constData(), target.data(), std::size_t(target.size()));
        if (length <= 0 || length >= target.size())
            return std::nullopt;
        target.truncate(length);
        if (target.startsWith('/'))
            current.clear();
        push(target);
    }
    return std::nullopt;
}

}  // namespace

// Whether the rename over the final file can succeed, asked before any work
// is done: links in shared folders, the kind of file, the folder's
// permissions and the sticky rule, and the immutable and append-only flags.
std::uint32_t TStagedFile::CheckReplaceable()
{
    if (const auto refused = UnfollowableLink(FTarget))
        return Refuse(5, SafeFormat(QStringLiteral("Die Verknüpfung \"%s\" liegt im Verzeichnis \"%s\", in das alle "
                                                   "schreiben dürfen (Sticky-Bit), und gehört weder Ihnen noch dem "
                                                   "Besitzer des Verzeichnisses; ihr wird nicht gefolgt."),
                                    {refused->link, refused->folder}));
    const QString directory = DirectoryOf(FFinalName);
    const qsizetype nameMax = NameMax(directory);
    if (EncodeName(FFinalName.mid(FFinalName.lastIndexOf(u'/') + 1)).size() > nameMax)
        return Refuse(206, SafeFormat(QStringLiteral("Der Dateiname \"%s\" ist zu lang: erlaubt sind höchstens %u Bytes."),
                                      {FFinalName, std::uint32_t(nameMax)}));
    struct stat old {};
    FReplaces = ::stat(EncodeName(FFinalName).constData(), &old) == 0;
    if (FReplaces && !S_ISREG(old.st_mode))
        return Refuse(5, SafeFormat(QStringLiteral("\"%s\" ist keine gewöhnliche Datei (sondern %s) und wird nicht ersetzt."),
                                    {FTarget, PathKindText(KindOfPath(FFinalName))}));

    const QByteArray encodedDirectory = EncodeName(directory);
    struct stat folder {};
    if (::stat(encodedDirectory.constData(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return Refuse(3, SafeFormat(QStringLiteral("Das Verzeichnis \"%s\" gibt es nicht."), {directory}));
    const auto flagsOf = [](const QByteArray& name, int openFlags) {
        int flags = 0;
        const UniqueFd fd(::open(name.constData(), openFlags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!fd.Valid() || ::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) != 0)
            return 0;
        return flags;
    };
    const auto flagText = [](int flags) {
        return (flags & FS_IMMUTABLE_FL) ? QStringLiteral("unveränderlich (Attribut i)")
                                         : QStringLiteral("nur erweiterbar (Attribut a)");
    };
    constexpr int kFixed = FS_IMMUTABLE_FL | FS_APPEND_FL;
    if (const int flags = flagsOf(encodedDirectory, O_RDONLY | O_DIRECTORY); flags & kFixed)
        return Refuse(5, SafeFormat(QStringLiteral("Das Verzeichnis \"%s\" ist %s; dort kann keine Datei ersetzt werden."),
                                    {directory, flagText(flags)}));
    if (const int flags = FReplaces ? flagsOf(EncodeName(FFinalName), O_RDONLY) : 0; flags & kFixed)
        return Refuse(5, SafeFormat(QStringLiteral("Die Datei \"%s\" ist %s und kann nicht ersetzt werden."),
                                    {FFinalName, flagText(flags)}));
    if (::faccessat(AT_FDCWD, encodedDirectory.constData(), W_OK | X_OK, AT_EACCESS) != 0) {
        const int error = errno;
        if (error == EROFS)
            return Refuse(5, SafeFormat(QStringLiteral("Das Verzeichnis \"%s\" liegt auf einem schreibgeschützten "
                                                       "Datenträger; dort kann keine Datei angelegt werden."),
                                        {directory}));
        return Refuse(ErrnoToWinError(error),
                      SafeFormat(QStringLiteral("Im Verzeichnis \"%s\" dürfen Sie keine Dateien anlegen oder ersetzen (%s)."),
                                 {directory, SystemErrorText(ErrnoToWinError(error))}));
    }
    const uid_t self = ::geteuid();
    if (FReplaces && (folder.st_mode & S_ISVTX) && self != 0 && old.st_uid != self && folder.st_uid != self)
        return Refuse(5, SafeFormat(QStringLiteral("Die Datei \"%s\" gehört einem anderen Benutzer, und im Verzeichnis "
                                                   "\"%s\" (Sticky-Bit) darf nur er sie ersetzen."),
                                    {FFinalName, directory}));

    return 0;
}

// Group and owner of the old file where the system allows (root: both; the
// owner of the new file: a group he belongs to), so that the people who
// could use the old file can use the new one; then the permission bits, the
// ACL and the user.* attributes. Until the commit the owner may also read and
// write, nobody else more than the old file allowed. Rights meant for the old
// group are not handed to another one: where the new file cannot have the
// old group, its group gets none.
std::uint32_t TStagedFile::GiveOldOwnership(bool final)
{
    struct stat old {};
    const QByteArray oldName = EncodeName(FFinalName);
    if (::stat(oldName.constData(), &old) != 0 || !S_ISREG(old.st_mode))
        return 0;
    if (::geteuid() == 0)
        (void)!::fchown(FHeld, old.st_uid, old.st_gid);
    else
        (void)!::fchown(FHeld, uid_t(-1), old.st_gid);
    mode_t mode = old.st_mode & 07777;
    struct stat now {};
    const bool sameGroup = ::fstat(FHeld, &now) == 0 && now.st_gid == old.st_gid;
    if (!sameGroup)
        mode &= ~mode_t(S_IRWXG | S_ISGID);
    mode_t ownerBits = 0;
    if (!final || FRule == ModeRule::KeepWritable)
        ownerBits |= S_IWUSR;
    if (!final)
        ownerBits |= S_IRUSR;
    ::fchmod(FHeld, mode | ownerBits);
    const Posix::AttributeCopy copy = Posix::CopyAclAndAttributes(oldName, FHeld, ownerBits, sameGroup);
    if (copy.error == 0)
        return 0;
    const std::uint32_t code = ErrnoToWinError(copy.error);
    const QString what = copy.name == "system.posix_acl_access" ? QStringLiteral("Die Zugriffsliste (ACL)")
                         : copy.name.isEmpty() ? QStringLiteral("Die erweiterten Attribute")
                                               : SafeFormat(QStringLiteral("Das erweiterte Attribut \"%s\""),
                                                            {QString::fromUtf8(copy.name)});
    return Refuse(code, SafeFormat(QStringLiteral("%s von \"%s\" kann nicht auf die neue Datei übertragen werden: %s. "
                                                  "Die Datei wird nicht ersetzt."),
                                   {what, FFinalName, SystemErrorText(code)}));
}

std::uint32_t TStagedFile::CreateTempFile()
{
    const QString prefix = TempNamePrefix(FFinalName);
    if (prefix.isEmpty())
        return Refuse(206, SafeFormat(QStringLiteral("Der Pfad \"%s\" ist zu lang: SQLite öffnet keine Datei, deren "
                                                     "Pfad mit \"-journal\" länger als 512 Bytes wäre."),
                                      {FFinalName}));
    const QString directory = DirectoryOf(FFinalName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = directory + u'/' + prefix + RandomSuffix();
        const QByteArray encoded = EncodeName(candidate);
        // Entered for the clean-up before it exists: a signal right after the
        // open would otherwise leave the new file behind. Between the two, the
        // clean-up would at worst remove a file of the same random name, which
        // only a staging like this one makes.
        int slot = StagedCleanup::Claim(encoded);
        // Owner only at first: the old file's group and bits follow at once.
        const int fd = ::open(encoded.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC,
                              FReplaces ? 0600 : 0666);
        const int openError = errno;
        if (fd < 0)
            StagedCleanup::Release(slot);
        if (fd < 0 && openError == EEXIST)
            continue;
        if (fd < 0) {
            const std::uint32_t error = ErrnoToWinError(openError);
            return Refuse(error, SafeFormat(QStringLiteral("Im Verzeichnis \"%s\" kann keine neue Datei angelegt werden: %s."),
                                            {directory, SystemErrorText(error)}));
        }
        FHeld = fd;
        FTempName = candidate;
        FSlot = slot;
        if (const std::uint32_t code = GiveOldOwnership(false)) {
            Discard();
            return code;
        }
        return 0;
    }
    return 80;
}

std::uint32_t TStagedFile::FlushTemp()
{
    return ::fsync(FHeld) == 0 ? 0 : ErrnoToWinError(errno);
}

std::uint32_t TStagedFile::PutInPlace()
{
    // SQLite's side files of the temporary file would be taken for the new
    // file's once it bears the final name.
    for (const char* suffix : kSideSuffixes)
        ::unlink((EncodeName(FTempName) + suffix).constData());
    if (::rename(EncodeName(FTempName).constData(), EncodeName(FFinalName).constData()) != 0)
        return ErrnoToWinError(errno, FFinalName);
    ::close(FHeld);
    FHeld = -1;
    // The rename itself lasts only once the directory is on the disk.
    SyncFolder(DirectoryOf(FFinalName));
    return 0;
}

void TStagedFile::Discard()
{
    StagedCleanup::Release(FSlot);
    if (!FTempName.isEmpty())
        RemoveWithSideFiles(FTempName);
    FTempName.clear();
    if (FHeld >= 0)
        ::close(FHeld);
    FHeld = -1;
}

}  // namespace FileUtils
