#include "asio/AsioServer.h"

#include <new>

#include "asio/AsioClassTable.h"
#include "asio/CClassFactory.h"
#include "asio/CUnknown.h"

namespace {

WnInstance g_instance = nullptr;
int32_t g_serverLocks = 0;

}  // namespace

void asioServerProcessAttach(WnInstance instance) {
  g_instance = instance;
  for (int i = 0; i < g_asioClassCount; ++i)
    if (g_asioClassTable[i].init) g_asioClassTable[i].init(true, g_asioClassTable[i].clsid);
}

void asioServerProcessDetach() {
  for (int i = 0; i < g_asioClassCount; ++i)
    if (g_asioClassTable[i].init) g_asioClassTable[i].init(false, g_asioClassTable[i].clsid);
}

WnInstance asioModuleInstance() { return g_instance; }

WnHResult asioDllGetClassObject(const WnGuid& rclsid, const WnGuid& riid, void** ppv) {
  if (!(riid == WN_IID_IUNKNOWN) && !(riid == WN_IID_ICLASSFACTORY)) return WN_E_NOINTERFACE;
  if (!ppv) return WN_E_POINTER;
  *ppv = nullptr;
  for (int i = 0; i < g_asioClassCount; ++i) {
    if (!(*g_asioClassTable[i].clsid == rclsid)) continue;
    CClassFactory* factory = new (std::nothrow) CClassFactory(&g_asioClassTable[i]);
    if (!factory) return WN_E_OUTOFMEMORY;
    WnIClassFactory* itf = factory;
    *ppv = itf;
    factory->AddRef();
    return WN_S_OK;
  }
  return WN_CLASS_E_CLASSNOTAVAILABLE;
}

WnHResult asioDllCanUnloadNow() {
  return (g_serverLocks > 0 || CBaseObject::objectsActive() != 0) ? WN_S_FALSE : WN_S_OK;
}

int32_t asioServerLockCount() { return g_serverLocks; }

void asioServerLock(bool lock) {
  if (lock)
    ++g_serverLocks;
  else
    --g_serverLocks;
}
