// The access ACL and user.* attributes of a file copied to its replacement, through the
// attributes themselves: the kernel keeps an access ACL as system.posix_acl_access, a version
// word and one entry per user, group, mask and other.
#include "AclCopy.h"

#include <QByteArrayList>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace FileUtils::Posix {

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";
// The entry tags of an ACL as the kernel stores it.
constexpr std::uint16_t kUserObj = 0x01;
constexpr std::uint16_t kGroupObj = 0x04;
constexpr int kHeaderSize = 4;
constexpr int kEntrySize = 8;  // tag (16 bits), permissions (16 bits), id (32 bits)

bool NoAttributesHere(int error)
{
    return error == ENOTSUP || error == ENODATA;
}

// The value of one attribute of a path; empty with ERROR set when it cannot be read.
QByteArray ValueOf(const QByteArray& path, const char* name, int& error)
{
    error = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::getxattr(path.constData(), name, nullptr, 0);
        if (size < 0) {
            error = errno;
            return {};
        }
        QByteArray value(qsizetype(size), '\0');
        const ssize_t got = ::getxattr(path.constData(), name, value.data(), std::size_t(value.size()));
        if (got >= 0) {
            value.truncate(got);
            return value;
        }
        if (errno != ERANGE) {
            error = errno;
            return {};
        }
    }
    error = ERANGE;
    return {};
}

// The ACL with the owner's and the owning group's entries changed as CopyAclAndAttributes says.
QByteArray Adjusted(QByteArray acl, mode_t ownerBits, bool sameGroup)
{
    for (qsizetype at = kHeaderSize; at + kEntrySize <= acl.size(); at += kEntrySize) {
        std::uint16_t tag = 0;
        std::uint16_t permissions = 0;
        std::memcpy(&tag, acl.constData() + at, 2);
        std::memcpy(&permissions, acl.constData() + at + 2, 2);
        if (tag == kUserObj)
            permissions |= std::uint16_t((ownerBits >> 6) & 07);
        else if (tag == kGroupObj && !sameGroup)
            permissions = 0;
        else
            continue;
        std::memcpy(acl.data() + at + 2, &permissions, 2);
    }
    return acl;
}

}  // namespace

AttributeCopy CopyAclAndAttributes(const QByteArray& from, int to, mode_t ownerBits, bool sameGroup)
{
    AttributeCopy result;
    const auto failed = [&](int error, const QByteArray& name) {
        result.error = error;
        result.name = name;
        return result;
    };
    QByteArray names;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::listxattr(from.constData(), nullptr, 0);
        if (size < 0)
            return NoAttributesHere(errno) ? result : failed(errno, QByteArray());
        names.resize(qsizetype(size));
        const ssize_t got = ::listxattr(from.constData(), names.data(), std::size_t(names.size()));
        if (got >= 0) {
            names.truncate(got);
            break;
        }
        if (errno != ERANGE)
            return failed(errno, QByteArray());
    }
    bool hasAcl = false;
    for (const QByteArray& name : names.split('\0')) {
        const bool acl = name == kAccessAcl;
        if (!acl && !name.startsWith("user."))
            continue;
        int error = 0;
        QByteArray value = ValueOf(from, name.constData(), error);
        if (error == ENODATA)
            continue;  // gone meanwhile
        if (error != 0)
            return failed(error, name);
        if (acl) {
            hasAcl = true;
            value = Adjusted(value, ownerBits, sameGroup);
        }
        if (::fsetxattr(to, name.constData(), value.constData(), std::size_t(value.size()), 0) != 0)
            return failed(errno, name);
    }
    if (!hasAcl && ::fremovexattr(to, kAccessAcl) != 0 && !NoAttributesHere(errno))
        return failed(errno, kAccessAcl);
    return result;
}

}  // namespace FileUtils::Posix
