// CClassFactory: the COM class factory of one ClassEntry. DllGetClassObject
// makes one per request; its reference count is a plain integer starting at
// 0 and the last Release deletes it. The factory is not counted among the
// module's live objects.
//
// Threading: the host's apartment (threading model "Apartment").
//
//   CClassFactory* f = new (std::nothrow) CClassFactory(&g_asioClassTable[0]);
//   f->AddRef();
//   f->CreateInstance(nullptr, kTovix8AsioClsid, &itf);
#pragma once

#include "asio/AsioClassTable.h"
#include "platform/WnCom.h"

class CClassFactory : public WnIClassFactory {
public:
  explicit CClassFactory(const ClassEntry* entry) : entry_(entry) {}
  virtual ~CClassFactory() = default;
  CClassFactory(const CClassFactory&) = delete;
  CClassFactory& operator=(const CClassFactory&) = delete;

  // IID_IUnknown and IID_IClassFactory: the factory, AddRef'd.
  WnHResult WN_STDCALL QueryInterface(const WnGuid& riid, void** ppv) override;
  uint32_t WN_STDCALL AddRef() override;
  uint32_t WN_STDCALL Release() override;
  // Null ppv: E_POINTER. Aggregation with riid other than IID_IUnknown:
  // E_NOINTERFACE. The object's creation failure (null: E_OUTOFMEMORY, or
  // the HRESULT it reported) destroys it; otherwise the object's
  // InnerQueryInterface for riid decides, between an InnerAddRef and an
  // InnerRelease (an unknown riid thus destroys the new object).
  WnHResult WN_STDCALL CreateInstance(WnIUnknown* outer, const WnGuid& riid, void** ppv) override;
  WnHResult WN_STDCALL LockServer(int32_t lock) override;

private:
  const ClassEntry* entry_;
  int32_t refCount_ = 0;
};
