// The COM server: class objects, the factory, the object's identity and
// reference counting, and when the module may unload.
#include <gtest/gtest.h>

#include "asio/AsioDriver.h"
#include "asio/AsioProduct.h"
#include "asio/AsioServer.h"
#include "asio/AsioText.h"
#include "asio/CClassFactory.h"
#include "asio/IASIO.h"

namespace {

constexpr WnGuid kOtherGuid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

WnIClassFactory* getFactory() {
  void* itf = nullptr;
  EXPECT_EQ(asioDllGetClassObject(kTovix8AsioClsid, WN_IID_ICLASSFACTORY, &itf), WN_S_OK);
  return static_cast<WnIClassFactory*>(itf);
}

TEST(AsioComServer, ClassObjectsOnlyForTheDriverClassAndTheFactoryInterfaces) {
  struct Case {
    const WnGuid* clsid;
    const WnGuid* iid;
    WnHResult expected;
  };
  const Case cases[] = {
      {&kTovix8AsioClsid, &WN_IID_ICLASSFACTORY, WN_S_OK},
      {&kTovix8AsioClsid, &WN_IID_IUNKNOWN, WN_S_OK},
      {&kTovix8AsioClsid, &kTovix8AsioClsid, WN_E_NOINTERFACE},
      {&kOtherGuid, &WN_IID_ICLASSFACTORY, WN_CLASS_E_CLASSNOTAVAILABLE},
      // The interface is checked before the class.
      {&kOtherGuid, &kOtherGuid, WN_E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    void* itf = reinterpret_cast<void*>(1);
    EXPECT_EQ(asioDllGetClassObject(*c.clsid, *c.iid, &itf), c.expected);
    if (c.expected == WN_S_OK) {
      ASSERT_NE(itf, nullptr);
      // The one reference DllGetClassObject gave is the only one.
      EXPECT_EQ(static_cast<WnIClassFactory*>(itf)->Release(), 0u);
    }
  }
}

TEST(AsioComServer, FactoryInterfacesAndReferenceCount) {
  WnIClassFactory* factory = getFactory();
  ASSERT_NE(factory, nullptr);
  void* itf = nullptr;
  EXPECT_EQ(factory->QueryInterface(WN_IID_IUNKNOWN, &itf), WN_S_OK);
  EXPECT_EQ(itf, static_cast<void*>(factory));
  EXPECT_EQ(factory->QueryInterface(WN_IID_ICLASSFACTORY, &itf), WN_S_OK);
  itf = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->QueryInterface(kTovix8AsioClsid, &itf), WN_E_NOINTERFACE);
  EXPECT_EQ(itf, nullptr);
  EXPECT_EQ(factory->QueryInterface(WN_IID_IUNKNOWN, nullptr), WN_E_POINTER);
  EXPECT_EQ(factory->AddRef(), 4u);
  EXPECT_EQ(factory->Release(), 3u);
  EXPECT_EQ(factory->Release(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  EXPECT_EQ(factory->Release(), 0u);
}

TEST(AsioComServer, CreateInstanceHandsOutIasioForTheClassIdAndTheInnerUnknownForIUnknown) {
  WnIClassFactory* factory = getFactory();
  ASSERT_NE(factory, nullptr);

  void* itf = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, kTovix8AsioClsid, &itf), WN_S_OK);
  IASIO* asio = static_cast<IASIO*>(itf);
  AsioDriver* driver = static_cast<AsioDriver*>(asio);
  EXPECT_EQ(CBaseObject::objectsActive(), 1);
  EXPECT_EQ(driver->state(), AsioDriver::Loaded);
  EXPECT_EQ(asio->getDriverVersion(), 292);
  char name[32];
  asio->getDriverName(name);
  EXPECT_STREQ(name, "Tovix8 ASIO Driver");

  // Through IASIO's own IUnknown: the class id again, IUnknown, anything else.
  void* again = nullptr;
  EXPECT_EQ(asio->QueryInterface(kTovix8AsioClsid, &again), WN_S_OK);
  EXPECT_EQ(again, itf);
  void* unknown = nullptr;
  EXPECT_EQ(asio->QueryInterface(WN_IID_IUNKNOWN, &unknown), WN_S_OK);
  INonDelegatingUnknown* inner = driver->nonDelegatingUnknown();
  EXPECT_EQ(unknown, static_cast<void*>(inner));
  EXPECT_NE(unknown, itf);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(asio->QueryInterface(WN_IID_ICLASSFACTORY, &none), WN_E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(asio->QueryInterface(kTovix8AsioClsid, nullptr), WN_E_POINTER);

  // Three references now; the object lives until the last goes.
  EXPECT_EQ(inner->InnerRelease(), 2u);
  EXPECT_EQ(asio->Release(), 1u);
  EXPECT_EQ(asioDllCanUnloadNow(), WN_S_FALSE);
  EXPECT_EQ(asio->Release(), 0u);
  EXPECT_EQ(CBaseObject::objectsActive(), 0);

  // Asked for IUnknown, the factory gives the non-delegating unknown.
  ASSERT_EQ(factory->CreateInstance(nullptr, WN_IID_IUNKNOWN, &itf), WN_S_OK);
  EXPECT_EQ(static_cast<INonDelegatingUnknown*>(itf)->InnerRelease(), 0u);
  EXPECT_EQ(CBaseObject::objectsActive(), 0);
  factory->Release();
}

TEST(AsioComServer, CreateInstanceFailures) {
  WnIClassFactory* factory = getFactory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, kTovix8AsioClsid, nullptr), WN_E_POINTER);

  // An interface the object does not have: refused, and the new object is gone.
  void* itf = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, kOtherGuid, &itf), WN_E_NOINTERFACE);
  EXPECT_EQ(itf, nullptr);
  EXPECT_EQ(CBaseObject::objectsActive(), 0);

  // Aggregation only for IUnknown.
  WnIClassFactory* outer = getFactory();  // any IUnknown will do as outer object
  EXPECT_EQ(factory->CreateInstance(outer, kTovix8AsioClsid, &itf), WN_E_NOINTERFACE);
  EXPECT_EQ(CBaseObject::objectsActive(), 0);
  ASSERT_EQ(factory->CreateInstance(outer, WN_IID_IUNKNOWN, &itf), WN_S_OK);
  INonDelegatingUnknown* inner = static_cast<INonDelegatingUnknown*>(itf);
  // The inner object hands IASIO out; its AddRef and Release go to the outer object.
  void* asioItf = nullptr;
  EXPECT_EQ(inner->InnerQueryInterface(kTovix8AsioClsid, &asioItf), WN_S_OK);
  EXPECT_EQ(outer->Release(), 1u);  // the reference the inner object took for the outer one
  IASIO* asio = static_cast<IASIO*>(asioItf);
  EXPECT_EQ(asio->AddRef(), 2u);    // counted on the outer object
  EXPECT_EQ(asio->Release(), 1u);
  EXPECT_EQ(inner->InnerRelease(), 0u);
  EXPECT_EQ(CBaseObject::objectsActive(), 0);
  EXPECT_EQ(outer->Release(), 0u);
  factory->Release();
}

TEST(AsioComServer, TheModuleStaysWhileLockedOrWhileAnObjectLives) {
  EXPECT_EQ(asioDllCanUnloadNow(), WN_S_OK);
  WnIClassFactory* factory = getFactory();
  ASSERT_NE(factory, nullptr);
  // A factory alone does not keep the module.
  EXPECT_EQ(asioDllCanUnloadNow(), WN_S_OK);

  EXPECT_EQ(factory->LockServer(1), WN_S_OK);
  EXPECT_EQ(asioDllCanUnloadNow(), WN_S_FALSE);
  EXPECT_EQ(factory->LockServer(1), WN_S_OK);
  EXPECT_EQ(factory->LockServer(0), WN_S_OK);
  EXPECT_EQ(asioDllCanUnloadNow(), WN_S_FALSE);
  EXPECT_EQ(factory->LockServer(0), WN_S_OK);
  EXPECT_EQ(asioDllCanUnloadNow(), WN_S_OK);

  void* itf = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, kTovix8AsioClsid, &itf), WN_S_OK);
  factory->Release();
  EXPECT_EQ(asioDllCanUnloadNow(), WN_S_FALSE);
  EXPECT_EQ(static_cast<IASIO*>(itf)->Release(), 0u);
  EXPECT_EQ(asioDllCanUnloadNow(), WN_S_OK);
}

TEST(AsioComServer, ClassIdText) {
  char16_t text[100];
  asioGuidToString(kTovix8AsioClsid, text, 100);
  EXPECT_EQ(std::u16string(text), u"{B7EB75B1-04CA-450D-AA26-BFD500FE0C05}");
}

}  // namespace
