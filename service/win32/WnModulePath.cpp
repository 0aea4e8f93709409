#include "WnModulePath.h"

#include <windows.h>

#include <cstdlib>

#include "WnServiceCtrl.h"

uint32_t WnModulePath::read() {
  const DWORD n = GetModuleFileNameW(nullptr, wnWide(full_), WN_MODULE_PATH_CHARS);
  if (n == 0) return GetLastError();
  if (n >= WN_MODULE_PATH_CHARS) {
    full_[0] = 0;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  const errno_t e = _wsplitpath_s(wnWide(full_), wnWide(drive_), WN_MODULE_PATH_CHARS, wnWide(directory_),
                                  WN_MODULE_PATH_CHARS, wnWide(fileName_), WN_MODULE_PATH_CHARS,
                                  wnWide(extension_), WN_MODULE_PATH_CHARS);
  return e == 0 ? 0 : ERROR_BAD_PATHNAME;
}
