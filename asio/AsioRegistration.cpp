#include "asio/AsioRegistration.h"

#include "asio/AsioModuleServices.h"
#include "asio/AsioProduct.h"
#include "asio/AsioServer.h"
#include "asio/AsioText.h"
#include "platform/WnRegistryKey.h"

namespace {

constexpr size_t kPathChars = 360;
constexpr size_t kClsidChars = 100;
constexpr size_t kKeyPathChars = 512;
constexpr uint32_t kReadWrite = WN_KEY_READ | WN_KEY_WRITE;  // 0x2001F

constexpr char16_t kClsidRoot[] = u"CLSID";
constexpr char16_t kInprocServer[] = u"InprocServer32";
constexpr char16_t kAsioRoot[] = u"SOFTWARE\\ASIO";

// Joins the parts with backslashes.
void joinPath(char16_t* out, size_t capacity, const char16_t* a, const char16_t* b, const char16_t* c = nullptr) {
  asioCopy(out, capacity, a);
  asioAppend(out, capacity, u"\\");
  asioAppend(out, capacity, b);
  if (c) {
    asioAppend(out, capacity, u"\\");
    asioAppend(out, capacity, c);
  }
}

// Removes CLSID\{clsid}. A registry key with subkeys cannot be deleted, so
// InprocServer32 goes first; without that the class would stay registered.
void deleteClassKey(const char16_t* clsidText) {
  char16_t path[kKeyPathChars];
  joinPath(path, kKeyPathChars, kClsidRoot, clsidText);
  WnRegistryKey classKey;
  if (classKey.openExisting(wnHkeyClassesRoot(), path, kReadWrite) == 0) {
    classKey.deleteSubKey(kInprocServer);
    classKey.close();
  }
  WnRegistryKey root;
  if (root.openExisting(wnHkeyClassesRoot(), kClsidRoot, kReadWrite) == 0) root.deleteSubKey(clsidText);
}

void deleteAsioKey(const char16_t* keyName) {
  WnRegistryKey asio;
  if (asio.openExisting(wnHkeyLocalMachine(), kAsioRoot, kReadWrite) == 0) asio.deleteSubKey(keyName);
}

// Whether InprocServer32 must be (re)written for lowerPath; removes a
// registration that names another file.
bool comKeysNeedRewrite(const char16_t* clsidText, const char16_t* lowerPath) {
  char16_t path[kKeyPathChars];
  joinPath(path, kKeyPathChars, kClsidRoot, clsidText, kInprocServer);
  WnRegistryKey server;
  if (server.openExisting(wnHkeyClassesRoot(), path, WN_KEY_READ) != 0) return true;

  char16_t value[kPathChars + 1] = {};
  uint32_t size = kPathChars * sizeof(char16_t);
  if (server.readRaw(nullptr, value, size) != 0) return false;
  value[kPathChars] = 0;
  if (size / sizeof(char16_t) < kPathChars) value[size / sizeof(char16_t)] = 0;
  asioLowerInPlace(value);
  if (asioEqual(value, lowerPath)) return false;

  server.close();
  deleteClassKey(clsidText);
  return true;
}

void writeComKeys(const AsioRegistrationInfo& info, const char16_t* clsidText, const char16_t* lowerPath) {
  char16_t path[kKeyPathChars];
  joinPath(path, kKeyPathChars, kClsidRoot, clsidText);
  WnRegistryKey classKey;
  if (classKey.create(wnHkeyClassesRoot(), path, kReadWrite) == 0)
    classKey.writeString(nullptr, info.description, WN_REG_SZ);

  joinPath(path, kKeyPathChars, kClsidRoot, clsidText, kInprocServer);
  WnRegistryKey server;
  if (server.create(wnHkeyClassesRoot(), path, kReadWrite) == 0) {
    server.writeString(nullptr, lowerPath, WN_REG_SZ);
    server.writeString(u"ThreadingModel", info.threadingModel, WN_REG_SZ);
  }
}

}  // namespace

AsioRegistrationInfo asioDriverRegistrationInfo() {
  return AsioRegistrationInfo{&kTovix8AsioClsid, kAsioRegistryKeyName, kAsioDescription, kAsioThreadingModel};
}

int32_t asioRegisterServer(const AsioRegistrationInfo& info, const char16_t* modulePath) {
  char16_t lowerPath[kPathChars];
  asioCopy(lowerPath, kPathChars, modulePath);
  asioLowerInPlace(lowerPath);

  char16_t clsidText[kClsidChars];
  asioGuidToString(*info.clsid, clsidText, kClsidChars);

  if (comKeysNeedRewrite(clsidText, lowerPath)) writeComKeys(info, clsidText, lowerPath);

  deleteAsioKey(info.keyName);

  char16_t path[kKeyPathChars];
  joinPath(path, kKeyPathChars, u"SOFTWARE", u"ASIO", info.keyName);
  WnRegistryKey asio;
  const uint32_t created = asio.create(wnHkeyLocalMachine(), path, kReadWrite);
  if (created == 0) {
    asio.writeString(u"CLSID", clsidText, WN_REG_SZ);
    asio.writeString(u"Description", info.description, WN_REG_SZ);
  }
  return static_cast<int32_t>(created);
}

int32_t asioUnregisterServer(const AsioRegistrationInfo& info) {
  char16_t clsidText[kClsidChars];
  asioGuidToString(*info.clsid, clsidText, kClsidChars);
  deleteClassKey(clsidText);
  deleteAsioKey(info.keyName);
  return 0;
}

int32_t asioRegisterThisModule() {
  char16_t path[kPathChars];
  uint32_t error = 0;
  if (asioModuleServices().modulePath(asioModuleInstance(), path, kPathChars, &error) == 0)
    return static_cast<int32_t>(error ? error : WN_ERROR_FILE_NOT_FOUND);
  return asioRegisterServer(asioDriverRegistrationInfo(), path);
}

int32_t asioUnregisterThisModule() { return asioUnregisterServer(asioDriverRegistrationInfo()); }

void asioFormatRegistrationFailure(const char16_t* text, int32_t code, char16_t* out, size_t capacity) {
  char16_t number[24];
  asioFormatDecimal(code, number, 24);
  asioCopy(out, capacity, text);
  asioAppend(out, capacity, u" (");
  asioAppend(out, capacity, number);
  asioAppend(out, capacity, u")");
}
