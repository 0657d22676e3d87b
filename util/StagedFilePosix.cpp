// A new version of a file built under a temporary name and renamed over it.
#include "FileReplace.h"
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

#include <dirent.h>
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

// What a name that is no regular file stands for, in German.
QString KindText(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("ein Verzeichnis");
    if (S_ISFIFO(mode))
        return QStringLiteral("eine FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("ein Socket");
    return QStringLiteral("ein Gerät");
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

// Whether the rename over the final file can succeed, asked before any work
// is done: the kind of file, the folder's permissions and the sticky rule,
// and the immutable and append-only flags.
std::uint32_t TStagedFile::CheckReplaceable()
{
    const QString directory = DirectoryOf(FFinalName);
    const qsizetype nameMax = NameMax(directory);
    if (EncodeName(FFinalName.mid(FFinalName.lastIndexOf(u'/') + 1)).size() > nameMax)
        return Refuse(206, SafeFormat(QStringLiteral("Der Dateiname \"%s\" ist zu lang: erlaubt sind höchstens %u Bytes."),
                                      {FFinalName, std::uint32_t(nameMax)}));
    struct stat old {};
    FReplaces = ::stat(EncodeName(FFinalName).constData(), &old) == 0;
    if (FReplaces && !S_ISREG(old.st_mode))
        return Refuse(5, SafeFormat(QStringLiteral("\"%s\" ist keine gewöhnliche Datei (sondern %s) und wird nicht ersetzt."),
                                    {FTarget, KindText(old.st_mode)}));

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
// could use the old file can use the new one; then the permission bits.
// Until the commit the owner may also read and write, nobody else more than
// the old file allowed.
void TStagedFile::GiveOldOwnership(bool final)
{
    struct stat old {};
    if (::stat(EncodeName(FFinalName).constData(), &old) != 0 || !S_ISREG(old.st_mode))
        return;
    if (::geteuid() == 0)
        (void)!::fchown(FHeld, old.st_uid, old.st_gid);
    else
        (void)!::fchown(FHeld, uid_t(-1), old.st_gid);
    mode_t mode = old.st_mode & 07777;
    // The old group's rights are not handed to another group.
    struct stat now {};
    if (::fstat(FHeld, &now) != 0 || now.st_gid != old.st_gid)
        mode &= ~mode_t(S_IRWXG | S_ISGID);
    if (!final || FRule == ModeRule::KeepWritable)
        mode |= S_IWUSR;
    if (!final)
        mode |= S_IRUSR;
    ::fchmod(FHeld, mode);
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
        GiveOldOwnership(false);
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
    GiveOldOwnership(true);
    // Nothing in the old side files is needed any more (see SettleSideFiles),
    // and SQLite would apply a journal or WAL to whatever file bears the
    // database's name.
    const QByteArray finalName = EncodeName(FFinalName);
    for (const char* suffix : kSideSuffixes) {
        ::unlink((finalName + suffix).constData());
        ::unlink((EncodeName(FTempName) + suffix).constData());
    }
    if (::rename(EncodeName(FTempName).constData(), finalName.constData()) != 0)
        return ErrnoToWinError(errno, FFinalName);
    ::close(FHeld);
    FHeld = -1;

    // The rename itself lasts only once the directory is on the disk.
    const UniqueFd directory(
        ::open(EncodeName(DirectoryOf(FFinalName)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Valid())
        ::fsync(directory.Get());
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

// A side file whose content a reader of the database would still need: a
// journal with a header (SQLite empties or zeroes it once it is done) or a
// WAL with frames in it.
bool Platform::SideFileHoldsChanges(const QString& sideFile, bool journal)
{
    const UniqueFd fd(::open(EncodeName(sideFile).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0)
        return ::access(EncodeName(sideFile).constData(), F_OK) == 0;  // there, but unreadable
    if (!S_ISREG(st.st_mode) || st.st_size == 0)
        return !S_ISREG(st.st_mode);
    if (!journal)
        return true;
    char header[8] = {};
    const ssize_t got = ::pread(fd.Get(), header, sizeof header, 0);
    return got != ssize_t(sizeof header) || std::any_of(header, header + sizeof header, [](char c) { return c != 0; });
}

}  // namespace FileUtils
