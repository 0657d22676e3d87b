// Internal to util/ (POSIX only): what a file's replacement must take over beyond owner, group
// and permission bits: its access ACL and its user.* extended attributes.
#pragma once

#include <QByteArray>

#include <sys/types.h>

namespace FileUtils::Posix {

// Why a copy failed: the errno value and the attribute concerned; error 0 when it did not.
struct AttributeCopy {
    int error = 0;
    QByteArray name;
};

// Gives the open file TO the access ACL (system.posix_acl_access) and every user.* attribute of
// the file FROM (links followed). When FROM has no access ACL, TO keeps none either (one it got
// from its folder's default ACL goes). In the ACL copied, the owner's entry gains OWNERBITS
// (S_IRUSR, S_IWUSR as the caller needs them), and when TO could not be given FROM's group
// (SAMEGROUP false), the owning group's entry loses its rights: they were meant for the old
// group, not for the one TO has. Named users and groups and the mask stay as they were. A file
// system that keeps no attributes has none to copy.
AttributeCopy CopyAclAndAttributes(const QByteArray& from, int to, mode_t ownerBits, bool sameGroup);

}  // namespace FileUtils::Posix
