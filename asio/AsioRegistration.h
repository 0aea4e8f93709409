// Self-registration of the ASIO driver's COM class: the keys under
// HKEY_CLASSES_ROOT\CLSID that let COM load the DLL, and the key under
// HKEY_LOCAL_MACHINE\SOFTWARE\ASIO through which hosts find the driver.
// All steps go through WnRegistryKey, so they run against the Win32 registry
// and the POSIX hive alike.
//
// Threading: called by the registration exports, one call at a time.
//
//   AsioRegistrationInfo info = asioDriverRegistrationInfo();
//   if (int32_t r = asioRegisterServer(info, path)) report(r);
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WnTypes.h"

struct AsioRegistrationInfo {
  const WnGuid* clsid;
  const char16_t* keyName;         // subkey of SOFTWARE\ASIO
  const char16_t* description;     // default value of CLSID\{clsid} and "Description"
  const char16_t* threadingModel;  // "ThreadingModel" of InprocServer32
};

// The driver's own class, key name, description and threading model.
AsioRegistrationInfo asioDriverRegistrationInfo();

// Registers the class for the module at modulePath (stored in lower case).
// The COM keys are written only when InprocServer32 is missing or names
// another file; the SOFTWARE\ASIO key is always written anew. Returns 0, or
// the failure of creating the SOFTWARE\ASIO key.
int32_t asioRegisterServer(const AsioRegistrationInfo& info, const char16_t* modulePath);
// Removes both registrations; what is not there is not missed. Returns 0.
int32_t asioUnregisterServer(const AsioRegistrationInfo& info);

// The registration exports' logic over the installed module services: the
// module's own path (360 characters; an empty path gives the services'
// error code), then the steps above. 0 or the failure code.
int32_t asioRegisterThisModule();
int32_t asioUnregisterThisModule();

// "<text> (<code>)" in at most 127 characters, for the failure message box.
constexpr size_t kAsioFailureTextChars = 128;
void asioFormatRegistrationFailure(const char16_t* text, int32_t code, char16_t* out, size_t capacity);

inline constexpr char16_t kAsioRegisterFailedText[] = u"Register server failed !";
inline constexpr char16_t kAsioUnregisterFailedText[] = u"Unregister server failed !";
