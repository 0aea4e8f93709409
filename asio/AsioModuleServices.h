// AsioModuleServices: what the in-process server needs from the operating
// system's module and process machinery: the full path of the server's own
// module file and starting a program. The Win32 DLL installs an
// implementation over GetModuleFileNameW and CreateProcessW at process
// attach; tests install their own. Without one, the path is empty and no
// program starts.
//
// Lifetime: the installed object must outlive every driver object.
// Threading: installed before objects are created (process attach); the
// operations may be called from any host thread.
//
//   char16_t path[360];
//   if (asioModuleServices().modulePath(path, 360) == 0) return asioLastError();
#pragma once

#include <cstdint>

#include "platform/WnTypes.h"

class AsioModuleServices {
public:
  virtual ~AsioModuleServices() = default;
  // The module's full path, cut to capacity - 1 characters and terminated.
  // Returns the characters stored, 0 on failure (then *error holds the
  // operating-system code when error is given).
  virtual uint32_t modulePath(WnInstance instance, char16_t* out, uint32_t capacity, uint32_t* error) = 0;
  // Starts commandLine as a new process without waiting for it; 0 or the
  // operating-system error code.
  virtual uint32_t startProcess(const char16_t* commandLine) = 0;
};

// The installed services (a null implementation when none is installed).
AsioModuleServices& asioModuleServices();
// Installs services; null restores the null implementation.
void asioSetModuleServices(AsioModuleServices* services);
