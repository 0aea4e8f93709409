// The constants that identify the ASIO driver of this package: its COM class,
// the names under which it is registered and shown, and the program its
// control-panel operation starts. Constant data, safe on any thread.
//
//   if (riid == kTovix8AsioClsid) ...   // the host asks for IASIO
#pragma once

#include <cstdint>

#include "platform/WnTypes.h"

// {B7EB75B1-04CA-450D-AA26-BFD500FE0C05}: class identifier of the driver
// object, also the interface identifier through which hosts obtain IASIO.
inline constexpr WnGuid kTovix8AsioClsid = {
    0xB7EB75B1, 0x04CA, 0x450D, {0xAA, 0x26, 0xBF, 0xD5, 0x00, 0xFE, 0x0C, 0x05}};

// Name given to the object base and to the class entry.
inline constexpr char16_t kAsioObjectName[] = u"ASIODRV";
// Subkey of SOFTWARE\ASIO under HKEY_LOCAL_MACHINE.
inline constexpr char16_t kAsioRegistryKeyName[] = u"Tovix8 ASIO";
// Registry description and message box caption.
inline constexpr char16_t kAsioDescription[] = u"Tovix8 ASIO Driver";
inline constexpr char16_t kAsioThreadingModel[] = u"Apartment";
// The display name the driver reports to hosts.
inline constexpr char16_t kAsioDriverDisplayName[] = u"Tovix8 ASIO Driver";

// The control panel program, looked for in the DLL's own folder.
inline constexpr char16_t kAsioControlPanelProgram[] = u"dravikcpl.exe";
inline constexpr char16_t kAsioControlPanelArgument[] = u"-asio";

// getDriverVersion.
constexpr int32_t kAsioDriverVersion = 292;
