// Stand-ins for the C library's sync and rename functions: calls from anywhere in this
// executable (the code under test is linked in statically) reach these first.
#include "SyncTrace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <climits>
#include <mutex>

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

std::atomic<bool> recording{false};
std::mutex callsLock;
std::vector<SyncCall> calls;
std::function<void(const SyncCall&)> afterCall;

// The C library's own function of that name.
template <class Function>
Function Real(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

QString LinkTarget(const QByteArray& link)
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), buffer, sizeof buffer);
    return length > 0 ? QFile::decodeName(QByteArray(buffer, int(length))) : QString();
}

QString PathOfDescriptor(int fd)
{
    return LinkTarget("/proc/self/fd/" + QByteArray::number(fd));
}

// A name as a call relative to a folder descriptor gives it, made absolute with its folder's
// links followed (the file itself may be gone by now).
QString PathAt(int dirFd, const char* name)
{
    QString path = QFile::decodeName(name);
    if (!path.startsWith(u'/'))
        path = (dirFd == AT_FDCWD ? LinkTarget("/proc/self/cwd") : PathOfDescriptor(dirFd)) + u'/' + path;
    const QFileInfo file(path);
    const QString folder = file.dir().canonicalPath();
    return folder.isEmpty() ? path : folder + u'/' + file.fileName();
}

void Record(SyncCall call)
{
    std::function<void(const SyncCall&)> after;
    {
        const std::lock_guard<std::mutex> lock(callsLock);
        calls.push_back(call);
        after = afterCall;
    }
    if (after)
        after(call);
}

void RecordAt(SyncCall::Kind kind, int fd)
{
    if (recording)
        Record({kind, PathOfDescriptor(fd), {}});
}

void RecordSync(int fd)
{
    RecordAt(SyncCall::Kind::Sync, fd);
}

void RecordRename(int oldDir, const char* oldName, int newDir, const char* newName, int result)
{
    if (recording && result == 0)
        Record({SyncCall::Kind::Rename, PathAt(oldDir, oldName), PathAt(newDir, newName)});
}

}  // namespace

SyncTrace::SyncTrace(std::function<void(const SyncCall&)> after)
{
    const std::lock_guard<std::mutex> lock(callsLock);
    calls.clear();
    afterCall = std::move(after);
    recording = true;
}

SyncTrace::~SyncTrace()
{
    recording = false;
    const std::lock_guard<std::mutex> lock(callsLock);
    afterCall = nullptr;
}

std::string CallsText(const std::vector<SyncCall>& calls)
{
    static const char* const kinds[] = {"sync", "rename", "remove", "write", "truncate"};
    std::string text;
    for (const SyncCall& call : calls)
        text += std::string(kinds[int(call.kind)]) + " " + call.path.toStdString()
                + (call.to.isEmpty() ? "" : " " + call.to.toStdString()) + "\n";
    return text;
}

std::vector<SyncCall> SyncTrace::Calls() const
{
    const std::lock_guard<std::mutex> lock(callsLock);
    return calls;
}

extern "C" {

int fsync(int fd)
{
    RecordSync(fd);
    return Real<int (*)(int)>("fsync")(fd);
}

int fdatasync(int fd)
{
    RecordSync(fd);
    return Real<int (*)(int)>("fdatasync")(fd);
}

int unlink(const char* name) noexcept
{
    // The name first: the file is gone afterwards.
    const QString path = recording ? PathAt(AT_FDCWD, name) : QString();
    const int result = Real<int (*)(const char*)>("unlink")(name);
    if (recording && result == 0)
        Record({SyncCall::Kind::Remove, path, {}});
    return result;
}

int unlinkat(int dir, const char* name, int flags) noexcept
{
    const QString path = recording ? PathAt(dir, name) : QString();
    const int result = Real<int (*)(int, const char*, int)>("unlinkat")(dir, name, flags);
    if (recording && result == 0)
        Record({SyncCall::Kind::Remove, path, {}});
    return result;
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset)
{
    const ssize_t result = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, data, size, offset);
    if (result >= 0)
        RecordAt(SyncCall::Kind::Write, fd);
    return result;
}

int ftruncate(int fd, off_t length) noexcept
{
    const int result = Real<int (*)(int, off_t)>("ftruncate")(fd, length);
    if (result == 0)
        RecordAt(SyncCall::Kind::Truncate, fd);
    return result;
}

int rename(const char* oldName, const char* newName) noexcept
{
    const int result = Real<int (*)(const char*, const char*)>("rename")(oldName, newName);
    RecordRename(AT_FDCWD, oldName, AT_FDCWD, newName, result);
    return result;
}

int renameat(int oldDir, const char* oldName, int newDir, const char* newName) noexcept
{
    const int result = Real<int (*)(int, const char*, int, const char*)>("renameat")(oldDir, oldName, newDir, newName);
    RecordRename(oldDir, oldName, newDir, newName, result);
    return result;
}

int renameat2(int oldDir, const char* oldName, int newDir, const char* newName, unsigned flags) noexcept
{
    const int result = Real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(oldDir, oldName, newDir,
                                                                                                newName, flags);
    RecordRename(oldDir, oldName, newDir, newName, result);
    return result;
}

}  // extern "C"
