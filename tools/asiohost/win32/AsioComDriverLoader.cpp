// AsioComDriverLoader on Windows: the registry under SOFTWARE\ASIO and COM.
#include "tools/asiohost/AsioComDriverLoader.h"

#include <objbase.h>
#include <windows.h>

#include <cwctype>

namespace {

std::string narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
  return out;
}

bool sameName(const wchar_t* a, const char16_t* b) {
  for (; *a && *b; ++a, ++b)
    if (std::towlower(*a) != std::towlower(static_cast<wchar_t>(*b))) return false;
  return *a == 0 && *b == 0;
}

std::string hex(long value) {
  char text[16];
  wsprintfA(text, "0x%08lX", value);
  return text;
}

}  // namespace

IASIO* AsioComDriverLoader::load(const char16_t* keyName, std::string& error) {
  release();
  HKEY asioKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ASIO", 0, KEY_READ, &asioKey) != ERROR_SUCCESS) {
    error = "no ASIO driver is registered (HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO is missing)";
    return nullptr;
  }
  // Hosts list the drivers by enumerating the subkeys.
  wchar_t found[256] = {};
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(asioKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (sameName(name, keyName)) {
      lstrcpynW(found, name, 256);
      break;
    }
  }
  if (!found[0]) {
    RegCloseKey(asioKey);
    error = "\"" + narrow(reinterpret_cast<const wchar_t*>(keyName)) + "\" is not registered under SOFTWARE\\ASIO";
    return nullptr;
  }
  wchar_t clsidText[128] = {};
  DWORD bytes = sizeof clsidText - sizeof(wchar_t);
  DWORD type = 0;
  HKEY driverKey = nullptr;
  LONG result = RegOpenKeyExW(asioKey, found, 0, KEY_READ, &driverKey);
  if (result == ERROR_SUCCESS) {
    result = RegQueryValueExW(driverKey, L"CLSID", nullptr, &type, reinterpret_cast<BYTE*>(clsidText), &bytes);
    RegCloseKey(driverKey);
  }
  RegCloseKey(asioKey);
  if (result != ERROR_SUCCESS || type != REG_SZ) {
    error = "the driver's key has no CLSID string";
    return nullptr;
  }
  CLSID clsid;
  if (FAILED(CLSIDFromString(clsidText, &clsid))) {
    error = "the driver's CLSID \"" + narrow(clsidText) + "\" is malformed";
    return nullptr;
  }

  const HRESULT init = CoInitialize(nullptr);
  if (FAILED(init)) {
    error = "CoInitialize failed: " + hex(init);
    return nullptr;
  }
  comInitialised_ = true;
  void* object = nullptr;
  // The class identifier doubles as the interface identifier.
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, clsid, &object);
  if (FAILED(hr) || !object) {
    error = "CoCreateInstance of " + narrow(clsidText) + " failed: " + hex(hr);
    release();
    return nullptr;
  }
  asio_ = static_cast<IASIO*>(object);
  return asio_;
}

void AsioComDriverLoader::release() {
  if (asio_) {
    asio_->Release();
    asio_ = nullptr;
  }
  if (comInitialised_) {
    CoUninitialize();
    comInitialised_ = false;
  }
}
