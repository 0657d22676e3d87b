// A new version of a file built under a temporary name and renamed over it.
#include "FileReplace.h"
#include "FileUtils.h"
#include "Platform.h"
#include "PosixIo.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileUtils {

using Posix::EncodeName;
using Posix::UniqueFd;

namespace {

// The side files SQLite keeps beside a database, named after it.
const char* const kSideSuffixes[] = {"-journal", "-wal", "-shm"};

// Temporary files are hidden and carry the name of the file they replace:
// ".Jazz-Music.sqlite.kk-Ab3xYz".
QString TempPrefix(const QString& finalName)
{
    const qsizetype slash = finalName.lastIndexOf(u'/');
    return finalName.left(slash + 1) + u'.' + finalName.mid(slash + 1) + QStringLiteral(".kk-");
}

QString DirectoryOf(const QString& fileName)
{
    const qsizetype slash = fileName.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : fileName.left(slash);
}

QString RandomSuffix()
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters) - 1)]);
    return suffix;
}

void RemoveWithSideFiles(const QString& fileName)
{
    const QByteArray name = EncodeName(fileName);
    ::unlink(name.constData());
    for (const char* suffix : kSideSuffixes)
        ::unlink((name + suffix).constData());
}

// ---------------------------------------------------------------------------
// Staged files still to be removed should the process be told to end. The
// signal handler reads this list, so it is a fixed array written with atomics.
// ---------------------------------------------------------------------------

constexpr int kSlots = 8;
constexpr std::size_t kPathBytes = 4096;

enum SlotState : int { kFree = 0, kWriting = 1, kLive = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathBytes];
};

Slot g_slots[kSlots];

int ClaimSlot(const QByteArray& path)
{
    if (std::size_t(path.size()) + 16 > kPathBytes)
        return -1;  // too long to clean up on a signal; the next staging removes it
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kWriting)) {
            std::memcpy(g_slots[i].path, path.constData(), std::size_t(path.size()) + 1);
            g_slots[i].state.store(kLive, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void ReleaseSlot(int& slot)
{
    if (slot >= 0)
        g_slots[slot].state.store(kFree, std::memory_order_release);
    slot = -1;
}

// Appends suffix to base in out; no allocation, for the signal handler.
void JoinInto(char* out, const char* base, const char* suffix)
{
    std::size_t n = 0;
    for (; base[n] != '\0'; ++n)
        out[n] = base[n];
    for (std::size_t i = 0; suffix[i] != '\0'; ++i)
        out[n++] = suffix[i];
    out[n] = '\0';
}

void OnTerminatingSignal(int signal)
{
    RemoveStagedFilesNow();
    ::_exit(128 + signal);
}

}  // namespace

bool SameFile(const QString& first, const QString& second)
{
    return SamePathSpelling(first, second) || Platform::SameFileObject(first, second);
}

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

void RemoveStagedFilesNow() noexcept
{
    char name[kPathBytes];
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) != kLive)
            continue;
        ::unlink(slot.path);
        for (const char* suffix : kSideSuffixes) {
            JoinInto(name, slot.path, suffix);
            ::unlink(name);
        }
    }
}

void RemoveStagedFilesOnSignals()
{
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

QString StagingFailureText(const TStagedFile& staged, std::uint32_t code, const QString& busyPattern)
{
    const FileUse& use = staged.Use();
    if (code == 32 && staged.StagedElsewhere()) {
        QString text = SafeFormat(busyPattern, {staged.FinalName()});
        if (!use.Holder.isEmpty())
            text += QStringLiteral(": ") + use.Holder;
        return text + u'.';
    }
    if (code == 32 && !use.FileName.isEmpty())
        return FileUseText(use);
    return SafeFormat(QStringLiteral("Fehler beim Erstellen von \"%s\": %s."),
                      {staged.TempName().isEmpty() ? staged.FinalName() : staged.TempName(), SystemErrorText(code)});
}

TStagedFile::TStagedFile(const QString& target) : FTarget(target), FFinalName(FinalFileName(target)) {}

TStagedFile::~TStagedFile()
{
    Discard();
}

std::uint32_t TStagedFile::Create()
{
    if (FHeld >= 0)
        return 0;
    FUse = CheckDatabaseNotInUse(FFinalName);
    if (FUse.ErrorCode == 0 && !SamePathSpelling(FTarget, FFinalName))
        FUse = CheckDatabaseNotInUse(FTarget);
    if (FUse.ErrorCode != 0)
        return FUse.ErrorCode;

    // Temporary files of earlier stagings: a live one means another process is
    // making this file right now; the rest are left from a crash or a kill.
    const QString prefix = TempPrefix(FFinalName);
    const QString directory = DirectoryOf(FFinalName);
    const QString namePrefix = prefix.mid(prefix.lastIndexOf(u'/') + 1);
    QStringList paths;
    for (const QString& entry : QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.startsWith(namePrefix))
            paths << directory + u'/' + entry;
    }
    FUse = CheckFilesNotInUse(paths);
    FStagedElsewhere = FUse.ErrorCode != 0;
    if (FStagedElsewhere)
        return FUse.ErrorCode;
    for (const QString& path : paths)
        ::unlink(EncodeName(path).constData());

    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = prefix + RandomSuffix();
        const QByteArray encoded = EncodeName(candidate);
        const int fd = ::open(encoded.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return ErrnoToWinError(errno, candidate);
        FHeld = fd;
        FTempName = candidate;
        FSlot = ClaimSlot(encoded);
        return 0;
    }
    return 80;
}

std::uint32_t TStagedFile::Commit()
{
    if (FHeld < 0)
        return 2;
    // The data first, so that the rename never publishes a file whose blocks
    // are still in the cache only.
    if (::fsync(FHeld) != 0) {
        const std::uint32_t error = ErrnoToWinError(errno);
        Discard();
        return error;
    }
    FUse = CheckDatabaseNotInUse(FFinalName);
    if (FUse.ErrorCode == 0 && !SamePathSpelling(FTarget, FFinalName))
        FUse = CheckDatabaseNotInUse(FTarget);
    if (FUse.ErrorCode != 0) {
        Discard();
        return FUse.ErrorCode;
    }

    const QByteArray finalName = EncodeName(FFinalName);
    struct stat old {};
    if (::stat(finalName.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(FHeld, (old.st_mode & 07777) | S_IWUSR);
        if (::geteuid() == 0)
            (void)!::fchown(FHeld, old.st_uid, old.st_gid);
    }
    // A journal or WAL of the old file would be applied to the new one.
    for (const char* suffix : kSideSuffixes) {
        ::unlink((finalName + suffix).constData());
        if (!SamePathSpelling(FTarget, FFinalName))
            ::unlink((EncodeName(FTarget) + suffix).constData());
        ::unlink((EncodeName(FTempName) + suffix).constData());
    }
    if (::rename(EncodeName(FTempName).constData(), finalName.constData()) != 0) {
        const std::uint32_t error = ErrnoToWinError(errno, FFinalName);
        Discard();
        return error;
    }
    ReleaseSlot(FSlot);
    ::close(FHeld);
    FHeld = -1;
    FTempName.clear();

    // The rename itself lasts only once the directory is on the disk.
    const UniqueFd directory(
        ::open(EncodeName(DirectoryOf(FFinalName)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Valid())
        ::fsync(directory.Get());
    return 0;
}

void TStagedFile::Discard()
{
    ReleaseSlot(FSlot);
    if (!FTempName.isEmpty())
        RemoveWithSideFiles(FTempName);
    FTempName.clear();
    if (FHeld >= 0)
        ::close(FHeld);
    FHeld = -1;
}

}  // namespace FileUtils
