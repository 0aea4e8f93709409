#include "asio/CUnknown.h"

std::atomic<int32_t> CBaseObject::activeObjects_{0};

CBaseObject::CBaseObject(const char16_t* name) : name_(name) { activeObjects_.fetch_add(1); }

CBaseObject::~CBaseObject() { activeObjects_.fetch_sub(1); }

int32_t CBaseObject::objectsActive() { return activeObjects_.load(); }

CUnknown::CUnknown(const char16_t* name, WnIUnknown* outer, WnHResult* /*hr*/) : CBaseObject(name), outer_(outer) {}

CUnknown::~CUnknown() = default;

WnHResult WN_STDCALL CUnknown::InnerQueryInterface(const WnGuid& riid, void** ppv) {
  if (!ppv) return WN_E_POINTER;
  if (riid == WN_IID_IUNKNOWN) {
    INonDelegatingUnknown* self = this;
    *ppv = self;
    InnerAddRef();
    return WN_S_OK;
  }
  *ppv = nullptr;
  return WN_E_NOINTERFACE;
}

uint32_t WN_STDCALL CUnknown::InnerAddRef() {
  const int32_t count = refCount_.fetch_add(1) + 1;
  return count > 1 ? static_cast<uint32_t>(count) : 1u;
}

uint32_t WN_STDCALL CUnknown::InnerRelease() {
  const int32_t count = refCount_.fetch_sub(1) - 1;
  if (count == 0) {
    // A destructor that hands out and releases a reference again must not
    // come back here with the count at 0.
    refCount_.store(1);
    delete this;
    return 0;
  }
  return count > 1 ? static_cast<uint32_t>(count) : 1u;
}

WnHResult CUnknown::ownerQueryInterface(const WnGuid& riid, void** ppv) {
  return outer_ ? outer_->QueryInterface(riid, ppv) : InnerQueryInterface(riid, ppv);
}

uint32_t CUnknown::ownerAddRef() { return outer_ ? outer_->AddRef() : InnerAddRef(); }

uint32_t CUnknown::ownerRelease() { return outer_ ? outer_->Release() : InnerRelease(); }

WnHResult CUnknown::getInterface(void* itf, void** ppv) {
  if (!ppv) return WN_E_POINTER;
  *ppv = itf;
  ownerAddRef();
  return WN_S_OK;
}
