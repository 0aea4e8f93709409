// The DLL as a host loads it: the four exports by name, DllMain, the COM
// path to IASIO across the module boundary (the driver object lives in the
// DLL's own copy of the core), self-registration with the module's real path
// and the control panel start. Windows only: it loads tovix8asio.dll, which
// the build copies beside this test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "asio/AsioProduct.h"
#include "asio/IASIO.h"
#include "platform/WnCom.h"
#include "platform/WnRegistryKey.h"

namespace {

using GetClassObjectFn = LONG(WINAPI*)(const WnGuid*, const WnGuid*, void**);
using NoArgumentFn = LONG(WINAPI*)();

// An export as the function type it has (through the generic function
// pointer type, which converts to any other).
template <class Function>
Function exported(HMODULE module, const char* name) {
  using Generic = void (*)();
  return reinterpret_cast<Function>(reinterpret_cast<Generic>(GetProcAddress(module, name)));
}

class AsioDll : public ::testing::Test {
protected:
  void SetUp() override {
    module = LoadLibraryW(L"tovix8asio.dll");
    ASSERT_NE(module, nullptr) << GetLastError();
    getClassObject = exported<GetClassObjectFn>(module, "DllGetClassObject");
    canUnloadNow = exported<NoArgumentFn>(module, "DllCanUnloadNow");
    registerServer = exported<NoArgumentFn>(module, "DllRegisterServer");
    unregisterServer = exported<NoArgumentFn>(module, "DllUnregisterServer");
    ASSERT_TRUE(getClassObject && canUnloadNow && registerServer && unregisterServer);
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }

  IASIO* create() {
    void* itf = nullptr;
    EXPECT_EQ(getClassObject(&kTovix8AsioClsid, &WN_IID_ICLASSFACTORY, &itf), WN_S_OK);
    if (!itf) return nullptr;
    auto* factory = static_cast<WnIClassFactory*>(itf);
    void* asio = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, kTovix8AsioClsid, &asio), WN_S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    return static_cast<IASIO*>(asio);
  }

  std::u16string modulePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return reinterpret_cast<const char16_t*>(path);
  }

  HMODULE module = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  NoArgumentFn canUnloadNow = nullptr;
  NoArgumentFn registerServer = nullptr;
  NoArgumentFn unregisterServer = nullptr;
};

TEST_F(AsioDll, HostsReachIasioThroughTheExports) {
  void* itf = reinterpret_cast<void*>(1);
  const WnGuid other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(getClassObject(&other, &WN_IID_ICLASSFACTORY, &itf), WN_CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(getClassObject(&kTovix8AsioClsid, &other, &itf), WN_E_NOINTERFACE);

  EXPECT_EQ(canUnloadNow(), WN_S_OK);
  IASIO* asio = create();
  ASSERT_NE(asio, nullptr);
  EXPECT_EQ(canUnloadNow(), WN_S_FALSE);

  char name[32] = {};
  asio->getDriverName(name);
  EXPECT_STREQ(name, "Tovix8 ASIO Driver");
  EXPECT_EQ(asio->getDriverVersion(), 292);
  EXPECT_EQ(asio->future(kAsioCanTimeInfo, nullptr), ASE_SUCCESS);
  EXPECT_EQ(asio->outputReady(), ASE_NotPresent);

  // No kernel driver here: init fails and says so.
  EXPECT_EQ(asio->init(nullptr), ASIOFalse);
  char text[124] = {};
  asio->getErrorMessage(text);
  EXPECT_STREQ(text, "No device is connected to the PC.");
  AsioLong in = -1, out = -1;
  EXPECT_EQ(asio->getChannels(&in, &out), ASE_NotPresent);
  // The control panel program is not installed beside the test: still ASE_OK.
  EXPECT_EQ(asio->controlPanel(), ASE_OK);
  EXPECT_EQ(asio->disposeBuffers(), ASE_OK);

  void* unknown = nullptr;
  EXPECT_EQ(asio->QueryInterface(WN_IID_IUNKNOWN, &unknown), WN_S_OK);
  EXPECT_EQ(static_cast<WnIUnknown*>(unknown)->Release(), 1u);
  EXPECT_EQ(asio->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), WN_S_OK);
}

TEST_F(AsioDll, RegistersItsOwnPathInLowerCase) {
  ASSERT_EQ(registerServer(), 0);
  std::u16string expected = modulePath();
  for (char16_t& c : expected) c = static_cast<char16_t>(towlower(c));

  WnRegistryKey server;
  ASSERT_EQ(server.openExisting(wnHkeyClassesRoot(), u"CLSID\\{B7EB75B1-04CA-450D-AA26-BFD500FE0C05}\\InprocServer32",
                                WN_KEY_READ),
            0u);
  char16_t value[400] = {};
  uint32_t size = sizeof value - 2;
  ASSERT_EQ(server.readRaw(nullptr, value, size), 0u);
  EXPECT_EQ(std::u16string(value), expected);
  server.close();

  WnRegistryKey asioKey;
  EXPECT_EQ(asioKey.openExisting(wnHkeyLocalMachine(), u"SOFTWARE\\ASIO\\Tovix8 ASIO", WN_KEY_READ), 0u);
  asioKey.close();

  ASSERT_EQ(unregisterServer(), 0);
  EXPECT_NE(asioKey.openExisting(wnHkeyLocalMachine(), u"SOFTWARE\\ASIO\\Tovix8 ASIO", WN_KEY_READ), 0u);
  EXPECT_NE(server.openExisting(wnHkeyClassesRoot(), u"CLSID\\{B7EB75B1-04CA-450D-AA26-BFD500FE0C05}", WN_KEY_READ),
            0u);
}

}  // namespace
