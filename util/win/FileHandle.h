// The handle of an open file on Windows: a HANDLE (INVALID_HANDLE_VALUE for
// none), spelt without <windows.h>. The build puts this folder on the include
// path of Windows builds only.
#pragma once

namespace FileUtils {

using FileHandle = void*;

}  // namespace FileUtils
