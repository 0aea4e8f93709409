// AsioCustom: the product-specific parts of the ASIO driver object: the
// display name it reports, the name of the kernel driver's control device it
// opens, and how its control panel is started ("dravikcpl.exe" in the DLL's
// folder with the argument "-asio", not waited for).
//
// Lifetime: one per AsioDriver, created by its constructor and deleted by its
// destructor. Threading: called from the host's threads; keeps no state.
//
//   AsioCustom custom;
//   driver.openDriver(custom.deviceName(), true, true);
//   custom.openControlPanel(instance, u"c:\\program files\\tovix8\\");
#pragma once

#include <cstdint>

#include "platform/WnTypes.h"

class AsioCustom {
public:
  virtual ~AsioCustom() = default;
  virtual const char16_t* driverName();
  virtual const char16_t* deviceName();
  // folder ends with a separator. Builds "\"<folder>dravikcpl.exe\" -asio"
  // (at most 259 characters) and starts it through the module services.
  // Returns 0 whether or not the program started.
  virtual int32_t openControlPanel(WnInstance instance, const char16_t* folder);
};

// Characters of the control panel's command line, terminator included.
constexpr uint32_t kAsioCommandLineChars = 260;
// The command line openControlPanel starts.
void asioControlPanelCommandLine(const char16_t* folder, char16_t* out, uint32_t capacity);
