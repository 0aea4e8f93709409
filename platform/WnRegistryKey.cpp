// WnRegistryKey: the checks on types and sizes, shared by both backends; the
// raw operations come from the backend (the Win32 registry or the POSIX hive).
#include "platform/WnRegistryKey.h"

#include <string>

#include "platform/detail/WnBackend.h"

namespace detail = wn::detail;

WnRegistryKey::~WnRegistryKey() { close(); }

uint32_t WnRegistryKey::create(WnRegKey parent, const char16_t* subKey, uint32_t access) {
  close();
  WnRegKey k = nullptr;
  uint32_t err = detail::regCreateKey(parent, subKey, access, &k);
  if (err) return err;
  key_ = k;
  return 0;
}

uint32_t WnRegistryKey::openExisting(WnRegKey parent, const char16_t* subKey, uint32_t access) {
  close();
  WnRegKey k = nullptr;
  uint32_t err = detail::regOpenKey(parent, subKey, access, &k);
  if (err) return err;
  key_ = k;
  return 0;
}

uint32_t WnRegistryKey::readDword(const char16_t* valueName, uint32_t& value) const {
  if (!key_) return WN_ERROR_INVALID_HANDLE;
  // Type and size first, so that a value of another type (of any length)
  // answers 11 rather than "more data".
  uint32_t type = 0, size = 0;
  if (uint32_t err = detail::regQueryValue(key_, valueName, &type, nullptr, &size)) return err;
  if (type != WN_REG_DWORD || size != 4) return WN_ERROR_BAD_FORMAT;
  uint32_t v = 0;
  size = sizeof v;
  if (uint32_t err = detail::regQueryValue(key_, valueName, &type, &v, &size)) return err;
  if (type != WN_REG_DWORD || size != 4) return WN_ERROR_BAD_FORMAT;  // changed in between
  value = v;
  return 0;
}

uint32_t WnRegistryKey::writeDword(const char16_t* valueName, uint32_t value) {
  if (!key_) return WN_ERROR_INVALID_HANDLE;
  return detail::regSetValue(key_, valueName, WN_REG_DWORD, &value, sizeof value);
}

uint32_t WnRegistryKey::writeString(const char16_t* valueName, const char16_t* text, uint32_t type) {
  if (type != WN_REG_SZ && type != WN_REG_EXPAND_SZ) return WN_ERROR_BAD_FORMAT;
  if (!key_) return WN_ERROR_INVALID_HANDLE;
  if (!text) text = u"";
  const size_t chars = std::char_traits<char16_t>::length(text) + 1;  // with the terminating zero
  return detail::regSetValue(key_, valueName, type, text, static_cast<uint32_t>(chars * sizeof(char16_t)));
}

uint32_t WnRegistryKey::readRaw(const char16_t* valueName, void* buffer, uint32_t& inOutSize, uint32_t* type) const {
  if (!key_) return WN_ERROR_INVALID_HANDLE;
  uint32_t t = 0;
  uint32_t err = detail::regQueryValue(key_, valueName, &t, buffer, &inOutSize);
  if (type) *type = t;
  return err;
}

uint32_t WnRegistryKey::writeBinary(const char16_t* valueName, const void* bytes, uint32_t size) {
  return writeRaw(valueName, WN_REG_BINARY, bytes, size);
}

uint32_t WnRegistryKey::writeRaw(const char16_t* valueName, uint32_t type, const void* bytes, uint32_t size) {
  if (!key_) return WN_ERROR_INVALID_HANDLE;
  if (!bytes && size) return WN_ERROR_INVALID_PARAMETER;
  return detail::regSetValue(key_, valueName, type, bytes, size);
}

uint32_t WnRegistryKey::deleteValue(const char16_t* valueName) {
  if (!key_) return WN_ERROR_INVALID_HANDLE;
  return detail::regDeleteValue(key_, valueName);
}

uint32_t WnRegistryKey::deleteSubKey(const char16_t* name) {
  if (!key_) return WN_ERROR_INVALID_HANDLE;
  return detail::regDeleteKey(key_, name);
}

uint32_t WnRegistryKey::close() {
  if (!key_) return 0;
  WnRegKey k = key_;
  key_ = nullptr;
  return detail::regCloseKey(k);
}
