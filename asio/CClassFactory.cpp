#include "asio/CClassFactory.h"

#include "asio/AsioServer.h"
#include "asio/CUnknown.h"

WnHResult WN_STDCALL CClassFactory::QueryInterface(const WnGuid& riid, void** ppv) {
  if (!ppv) return WN_E_POINTER;
  *ppv = nullptr;
  if (riid == WN_IID_IUNKNOWN || riid == WN_IID_ICLASSFACTORY) {
    WnIClassFactory* self = this;
    *ppv = self;
    AddRef();
    return WN_S_OK;
  }
  return WN_E_NOINTERFACE;
}

uint32_t WN_STDCALL CClassFactory::AddRef() { return static_cast<uint32_t>(++refCount_); }

uint32_t WN_STDCALL CClassFactory::Release() {
  if (--refCount_ == 0) {
    delete this;
    return 0;
  }
  return static_cast<uint32_t>(refCount_);
}

WnHResult WN_STDCALL CClassFactory::CreateInstance(WnIUnknown* outer, const WnGuid& riid, void** ppv) {
  if (!ppv) return WN_E_POINTER;
  *ppv = nullptr;
  if (outer && !(riid == WN_IID_IUNKNOWN)) return WN_E_NOINTERFACE;

  WnHResult hr = WN_S_OK;
  CUnknown* object = entry_->create(outer, &hr);
  if (!object) return WN_E_OUTOFMEMORY;
  if (wnFailed(hr)) {
    delete object;
    return hr;
  }
  object->InnerAddRef();
  hr = object->InnerQueryInterface(riid, ppv);
  object->InnerRelease();
  return hr;
}

WnHResult WN_STDCALL CClassFactory::LockServer(int32_t lock) {
  asioServerLock(lock != 0);
  return WN_S_OK;
}
