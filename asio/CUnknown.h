// The COM object base of the in-process server.
//
// INonDelegatingUnknown: the object's own unknown. Its first three slots have
// the shape of IUnknown's, so its address is handed out as the object's
// IUnknown; an aggregating outer object keeps it to reach the inner object.
//
// CBaseObject: counts the live objects of the module (interlocked; the
// server may unload only when the count is 0) and keeps the object's name.
//
// CUnknown: reference counting (interlocked, starting at 0) and the owner
// unknown to which the IUnknown operations of the object's interfaces
// forward: the outer unknown when aggregated, else the object's own
// non-delegating unknown. The last InnerRelease deletes the object.
//
// Threading: reference counts may change on any thread; everything else is
// the derived object's.
//
//   class Driver : public IASIO, public CUnknown {
//     WnHResult WN_STDCALL QueryInterface(const WnGuid& iid, void** ppv) override {
//       return ownerQueryInterface(iid, ppv);
//     }
//   };
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/WnCom.h"

class INonDelegatingUnknown {
public:
  virtual WnHResult WN_STDCALL InnerQueryInterface(const WnGuid& riid, void** ppv) = 0;
  virtual uint32_t WN_STDCALL InnerAddRef() = 0;
  virtual uint32_t WN_STDCALL InnerRelease() = 0;

protected:
  ~INonDelegatingUnknown() = default;
};

class CBaseObject {
public:
  explicit CBaseObject(const char16_t* name);
  virtual ~CBaseObject();
  CBaseObject(const CBaseObject&) = delete;
  CBaseObject& operator=(const CBaseObject&) = delete;

  const char16_t* objectName() const { return name_; }
  // Objects of the module alive now.
  static int32_t objectsActive();

private:
  const char16_t* name_;
  static std::atomic<int32_t> activeObjects_;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
  // outer: the aggregating object's unknown or null. hr is not changed by
  // the base (a derived constructor may report a failure through it).
  CUnknown(const char16_t* name, WnIUnknown* outer, WnHResult* hr);
  ~CUnknown() override;

  // IID_IUnknown: the non-delegating unknown, AddRef'd. Else E_NOINTERFACE.
  WnHResult WN_STDCALL InnerQueryInterface(const WnGuid& riid, void** ppv) override;
  // The new count, at least 1.
  uint32_t WN_STDCALL InnerAddRef() override;
  // The new count, at least 1; the release that reaches 0 sets the count
  // back to 1, deletes the object and returns 0.
  uint32_t WN_STDCALL InnerRelease() override;

  // The outer unknown, or null when not aggregated.
  WnIUnknown* outerUnknown() const { return outer_; }
  INonDelegatingUnknown* nonDelegatingUnknown() { return this; }

protected:
  // The IUnknown operations of the object's interfaces: to the owner.
  WnHResult ownerQueryInterface(const WnGuid& riid, void** ppv);
  uint32_t ownerAddRef();
  uint32_t ownerRelease();
  // Hands out an interface of this object: stores it, AddRefs through the
  // owner and returns S_OK (E_POINTER for a null ppv).
  WnHResult getInterface(void* itf, void** ppv);

private:
  // The owner unknown: outer_ when set, else this object's own
  // non-delegating unknown (called directly).
  WnIUnknown* outer_;
  std::atomic<int32_t> refCount_{0};
};
