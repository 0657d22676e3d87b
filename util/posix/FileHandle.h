// The handle of an open file on POSIX systems: a file descriptor (-1 for none).
// The build puts this folder on the include path of Linux builds only.
#pragma once

namespace FileUtils {

using FileHandle = int;

}  // namespace FileUtils
