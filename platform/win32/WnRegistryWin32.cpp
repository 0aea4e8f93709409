// The registry on Win32: the Reg* functions one to one.
#include <windows.h>

#include "platform/WnRegistryKey.h"
#include "platform/detail/WnBackend.h"

namespace {
const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
HKEY hkey(WnRegKey k) { return static_cast<HKEY>(k); }
}  // namespace

WnRegKey wnHkeyLocalMachine() { return HKEY_LOCAL_MACHINE; }
WnRegKey wnHkeyCurrentUser() { return HKEY_CURRENT_USER; }
WnRegKey wnHkeyClassesRoot() { return HKEY_CLASSES_ROOT; }

// The system keeps the registry itself.
uint32_t wnRegistrySetBackingFile(const char*) { return 0; }
void wnRegistryClear() {}

namespace wn::detail {

uint32_t regCreateKey(WnRegKey parent, const char16_t* subKey, uint32_t access, WnRegKey* out) {
  HKEY k = nullptr;
  LSTATUS r = RegCreateKeyExW(hkey(parent), subKey ? wide(subKey) : L"", 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                              nullptr, &k, nullptr);
  *out = r == ERROR_SUCCESS ? k : nullptr;
  return static_cast<uint32_t>(r);
}

uint32_t regOpenKey(WnRegKey parent, const char16_t* subKey, uint32_t access, WnRegKey* out) {
  HKEY k = nullptr;
  LSTATUS r = RegOpenKeyExW(hkey(parent), wide(subKey), 0, access, &k);
  *out = r == ERROR_SUCCESS ? k : nullptr;
  return static_cast<uint32_t>(r);
}

uint32_t regQueryValue(WnRegKey key, const char16_t* name, uint32_t* type, void* data, uint32_t* size) {
  DWORD t = 0;
  DWORD sz = size ? *size : 0;
  LSTATUS r = RegQueryValueExW(hkey(key), wide(name), nullptr, &t, static_cast<LPBYTE>(data), size ? &sz : nullptr);
  if (type) *type = t;
  if (size) *size = sz;
  return static_cast<uint32_t>(r);
}

uint32_t regSetValue(WnRegKey key, const char16_t* name, uint32_t type, const void* data, uint32_t size) {
  return static_cast<uint32_t>(RegSetValueExW(hkey(key), wide(name), 0, type, static_cast<const BYTE*>(data), size));
}

uint32_t regDeleteValue(WnRegKey key, const char16_t* name) {
  return static_cast<uint32_t>(RegDeleteValueW(hkey(key), wide(name)));
}

uint32_t regDeleteKey(WnRegKey key, const char16_t* subKey) {
  return static_cast<uint32_t>(RegDeleteKeyW(hkey(key), wide(subKey)));
}

uint32_t regCloseKey(WnRegKey key) { return static_cast<uint32_t>(RegCloseKey(hkey(key))); }

}  // namespace wn::detail
