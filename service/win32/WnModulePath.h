// WnModulePath: the program's own full path (GetModuleFileNameW, at most
// 260 characters) and its parts: drive, directory, file name, extension.
//
// Lifetime: a plain value filled by read(). Threading: none.
//
//   WnModulePath path;
//   if (uint32_t e = path.read()) return e;
//   key.writeString(u"EventMessageFile", path.full(), WN_REG_EXPAND_SZ);
#pragma once

#include <cstdint>

#include "service/ServiceRuntime.h"

class WnModulePath {
public:
  // 0, or the error (ERROR_INSUFFICIENT_BUFFER for a longer path).
  uint32_t read();
  const char16_t* full() const { return full_; }
  const char16_t* drive() const { return drive_; }
  const char16_t* directory() const { return directory_; }
  const char16_t* fileName() const { return fileName_; }
  const char16_t* extension() const { return extension_; }

private:
  char16_t full_[WN_MODULE_PATH_CHARS] = {};
  char16_t drive_[WN_MODULE_PATH_CHARS] = {};
  char16_t directory_[WN_MODULE_PATH_CHARS] = {};
  char16_t fileName_[WN_MODULE_PATH_CHARS] = {};
  char16_t extension_[WN_MODULE_PATH_CHARS] = {};
};
