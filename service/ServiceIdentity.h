// The fixed identity of the device control service: its service names, the
// driver's device-interface class (also the name of the driver's control
// device and the suffix of the single-instance mutex), the registry root of
// its per-device values, and the program and interface versions it reports.
//
// Constants only; DravikServer returns them from its identity operations.
#pragma once

#include <cstdint>

#include "platform/WnTypes.h"

inline constexpr char16_t TOVIX8_SERVICE_NAME[] = u"tovix8svc";
inline constexpr char16_t TOVIX8_SERVICE_DISPLAY_NAME[] = u"Tovix8 control";
inline constexpr char16_t TOVIX8_SERVICE_DESCRIPTION[] = u"Tovix8 control service";
inline constexpr char16_t TOVIX8_INTERFACE_GUID_STRING[] = u"{4033B9FA-A338-489F-8F9D-10A89289268B}";
inline constexpr WnGuid TOVIX8_INTERFACE_GUID = {0x4033B9FA, 0xA338, 0x489F,
                                                 {0x8F, 0x9D, 0x10, 0xA8, 0x92, 0x89, 0x26, 0x8B}};
// Below HKEY_LOCAL_MACHINE; the device controllers keep "Devices\<serial>" here.
inline constexpr char16_t TOVIX8_REGISTRY_ROOT[] = u"Software\\HALVENOR\\tovix8";
inline constexpr char16_t TOVIX8_DEVICES_SUBKEY[] = u"Devices";

// Program version 1.36.1 and the driver interface version it speaks.
constexpr uint32_t TOVIX8_VERSION_MAJOR = 1;
constexpr uint32_t TOVIX8_VERSION_MINOR = 36;
constexpr uint32_t TOVIX8_VERSION_BUILD = 1;
constexpr uint32_t TOVIX8_INTERFACE_VERSION_MAJOR = 2;
constexpr uint32_t TOVIX8_INTERFACE_VERSION_MINOR = 0;
