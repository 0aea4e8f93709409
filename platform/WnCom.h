// The few COM declarations that the in-process servers of this package need,
// written for both toolchains: the calling conventions of COM methods and of
// plain C callbacks, the HRESULT type and codes, the interface identifiers of
// IUnknown and IClassFactory, and the two interfaces themselves.
//
// On 32-bit Windows COM methods are __stdcall (the callee pops its
// arguments) and C callbacks __cdecl; everywhere else both are the ordinary
// convention, so native builds of the portable code run the same logic.
// The interfaces have no virtual destructor: their table holds exactly the
// slots listed, in that order, which is what a COM client calls.
//
// Threading: plain declarations; the objects say what they guarantee.
//
//   class Factory : public WnIClassFactory {
//     WnHResult WN_STDCALL QueryInterface(const WnGuid& riid, void** ppv) override;
//     ...
//   };
#pragma once

#include <cstdint>

#include "platform/WnTypes.h"

// The compiler decides the convention; this is a property of the target's
// ABI rather than an operating-system service.
#if defined(__i386__) && defined(_WIN32)
#define WN_STDCALL __attribute__((stdcall))
#define WN_CDECL __attribute__((cdecl))
#else
#define WN_STDCALL
#define WN_CDECL
#endif

using WnHResult = int32_t;

constexpr WnHResult WN_S_OK = 0;
constexpr WnHResult WN_S_FALSE = 1;
constexpr WnHResult WN_E_NOINTERFACE = static_cast<WnHResult>(0x80004002u);
constexpr WnHResult WN_E_POINTER = static_cast<WnHResult>(0x80004003u);
constexpr WnHResult WN_E_FAIL = static_cast<WnHResult>(0x80004005u);
constexpr WnHResult WN_E_OUTOFMEMORY = static_cast<WnHResult>(0x8007000Eu);
constexpr WnHResult WN_E_INVALIDARG = static_cast<WnHResult>(0x80070057u);
constexpr WnHResult WN_CLASS_E_CLASSNOTAVAILABLE = static_cast<WnHResult>(0x80040111u);
constexpr WnHResult WN_CLASS_E_NOAGGREGATION = static_cast<WnHResult>(0x80040110u);

constexpr bool wnSucceeded(WnHResult hr) { return hr >= 0; }
constexpr bool wnFailed(WnHResult hr) { return hr < 0; }

// {00000000-0000-0000-C000-000000000046}
inline constexpr WnGuid WN_IID_IUNKNOWN = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr WnGuid WN_IID_ICLASSFACTORY = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class WnIUnknown {
public:
  virtual WnHResult WN_STDCALL QueryInterface(const WnGuid& riid, void** ppv) = 0;
  virtual uint32_t WN_STDCALL AddRef() = 0;
  virtual uint32_t WN_STDCALL Release() = 0;

protected:
  ~WnIUnknown() = default;
};

class WnIClassFactory : public WnIUnknown {
public:
  // lock is a BOOL: non-zero locks the server, zero unlocks it.
  virtual WnHResult WN_STDCALL CreateInstance(WnIUnknown* outer, const WnGuid& riid, void** ppv) = 0;
  virtual WnHResult WN_STDCALL LockServer(int32_t lock) = 0;

protected:
  ~WnIClassFactory() = default;
};
