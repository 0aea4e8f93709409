// WnRegistryKey: an owned registry key handle (not polymorphic).
//
// On Win32 it is the real registry. On POSIX it is a hive of our own: in
// memory, optionally persisted to a file (wnRegistrySetBackingFile), with the
// same value types, sizes and error codes, so that service and control panel
// logic runs unchanged.
// Threading: one key object is used by one thread at a time; the POSIX hive
// itself is safe to use from several threads. The POSIX hive checks access
// for value operations only (query: KEY_QUERY_VALUE, set and delete:
// KEY_SET_VALUE, else 5); a handle to a deleted key answers 1018.
//
//   WnRegistryKey key;
//   if (key.create(wnHkeyLocalMachine(), u"Software\\HALVENOR\\tovix8", WN_KEY_READ | WN_KEY_WRITE) == 0)
//     key.readDword(u"WdmRenderSoundDeviceConfiguration", value);
#pragma once

#include "platform/WnTypes.h"

enum : uint32_t {
  WN_REG_NONE = 0,
  WN_REG_SZ = 1,
  WN_REG_EXPAND_SZ = 2,
  WN_REG_BINARY = 3,
  WN_REG_DWORD = 4,
  WN_REG_MULTI_SZ = 7,
  WN_REG_QWORD = 11,
};
enum : uint32_t {
  WN_KEY_READ = 0x20019,
  WN_KEY_WRITE = 0x20006,
  WN_KEY_ALL_ACCESS = 0xF003F,
  WN_KEY_DELETE = 0x10000,
};

WnRegKey wnHkeyLocalMachine();
WnRegKey wnHkeyCurrentUser();
WnRegKey wnHkeyClassesRoot();

class WnRegistryKey {
public:
  WnRegistryKey() = default;
  ~WnRegistryKey();
  WnRegistryKey(const WnRegistryKey&) = delete;
  WnRegistryKey& operator=(const WnRegistryKey&) = delete;

  // Closes a held key, then creates or opens the subkey; 0 or the error.
  uint32_t create(WnRegKey parent, const char16_t* subKey, uint32_t access);
  // Closes a held key, then opens an existing subkey; 0 or the error (2).
  uint32_t openExisting(WnRegKey parent, const char16_t* subKey, uint32_t access);
  // Query failure: its code. Type not REG_DWORD or size not 4: 11, value untouched.
  uint32_t readDword(const char16_t* valueName, uint32_t& value) const;
  uint32_t writeDword(const char16_t* valueName, uint32_t value);
  // Only REG_SZ and REG_EXPAND_SZ, else 11. Stores the text with its
  // terminating zero (2 bytes per character).
  uint32_t writeString(const char16_t* valueName, const char16_t* text, uint32_t type);
  // Reads the value's bytes without checking its type. inOutSize: capacity
  // in, bytes stored out (WN_ERROR_MORE_DATA when too small, size set).
  uint32_t readRaw(const char16_t* valueName, void* buffer, uint32_t& inOutSize, uint32_t* type = nullptr) const;
  uint32_t writeBinary(const char16_t* valueName, const void* bytes, uint32_t size);
  // Stores bytes with any type (tests use it to plant malformed values).
  uint32_t writeRaw(const char16_t* valueName, uint32_t type, const void* bytes, uint32_t size);
  uint32_t deleteValue(const char16_t* valueName);
  // Deletes a subkey of the held key (it must have no subkeys of its own).
  uint32_t deleteSubKey(const char16_t* name);
  // 0 when none is held, else the close's result.
  uint32_t close();
  WnRegKey get() const { return key_; }
  bool isOpen() const { return key_ != nullptr; }

private:
  WnRegKey key_ = nullptr;
};

// POSIX hive control (no-ops on Win32). The file, when set, is loaded at once
// and rewritten after every change. wnRegistryClear empties the hive (tests).
uint32_t wnRegistrySetBackingFile(const char* path);
void wnRegistryClear();
