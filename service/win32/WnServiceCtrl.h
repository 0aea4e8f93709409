// Owning wrappers of service control manager handles: WnServiceCtrlHandle
// (any SC_HANDLE, closed with CloseServiceHandle), WnServiceCtrlMgr (the
// manager's database) and WnServiceCtrl (one service).
//
// Lifetime: each owns its handle and closes it on destruction; an open or
// create first closes a held handle. Threading: one owner thread. Errors:
// every operation returns the Win32 error code, 0 on success.
//
//   WnServiceCtrlMgr mgr;
//   WnServiceCtrl svc;
//   if (uint32_t e = mgr.open()) return e;
//   if (uint32_t e = svc.open(mgr, u"tovix8svc", SERVICE_START)) return e;
//   if (!StartServiceW(svc.get(), 0, nullptr)) return GetLastError();
#pragma once

#include <windows.h>

#include <cstdint>

class WnServiceCtrlHandle {
public:
  WnServiceCtrlHandle() = default;
  virtual ~WnServiceCtrlHandle();
  WnServiceCtrlHandle(const WnServiceCtrlHandle&) = delete;
  WnServiceCtrlHandle& operator=(const WnServiceCtrlHandle&) = delete;

  void close();
  SC_HANDLE get() const { return handle_; }
  bool isValid() const { return handle_ != nullptr; }

protected:
  // Keeps h (closing a held handle first); GetLastError's code when h is null.
  uint32_t attach(SC_HANDLE h);

private:
  SC_HANDLE handle_ = nullptr;
};

class WnServiceCtrlMgr : public WnServiceCtrlHandle {
public:
  // OpenSCManagerW on this machine, database "ServicesActive", all access.
  uint32_t open();
};

class WnServiceCtrl : public WnServiceCtrlHandle {
public:
  // CreateServiceW with every argument passed through.
  uint32_t create(const WnServiceCtrlMgr& manager, const char16_t* name, const char16_t* displayName,
                  uint32_t desiredAccess, uint32_t serviceType, uint32_t startType, uint32_t errorControl,
                  const char16_t* binaryPath, const char16_t* loadOrderGroup, DWORD* tagId,
                  const char16_t* dependencies, const char16_t* account, const char16_t* password);
  // OpenServiceW.
  uint32_t open(const WnServiceCtrlMgr& manager, const char16_t* name, uint32_t desiredAccess);
};

// char16_t and wchar_t are both UTF-16 code units on Windows.
inline const wchar_t* wnWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* wnWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
