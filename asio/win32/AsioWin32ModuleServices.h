// AsioWin32ModuleServices: the module services of the Win32 DLL: the module
// path from GetModuleFileNameW and program starts with CreateProcessW
// (NORMAL_PRIORITY_CLASS, no inheritance, the caller's environment and
// directory; the handles are closed at once, nothing waits for the program).
//
// Lifetime: one static instance, installed at process attach.
// Threading: stateless; any thread.
#pragma once

#include "asio/AsioModuleServices.h"

class AsioWin32ModuleServices : public AsioModuleServices {
public:
  uint32_t modulePath(WnInstance instance, char16_t* out, uint32_t capacity, uint32_t* error) override;
  uint32_t startProcess(const char16_t* commandLine) override;
};
