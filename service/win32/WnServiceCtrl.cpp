#include "WnServiceCtrl.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t));

WnServiceCtrlHandle::~WnServiceCtrlHandle() { close(); }

void WnServiceCtrlHandle::close() {
  if (handle_) CloseServiceHandle(handle_);
  handle_ = nullptr;
}

uint32_t WnServiceCtrlHandle::attach(SC_HANDLE h) {
  const DWORD error = h ? 0 : GetLastError();
  close();
  handle_ = h;
  return h ? 0 : (error ? error : ERROR_INVALID_HANDLE);
}

uint32_t WnServiceCtrlMgr::open() {
  close();
  return attach(OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS));
}

uint32_t WnServiceCtrl::create(const WnServiceCtrlMgr& manager, const char16_t* name, const char16_t* displayName,
                               uint32_t desiredAccess, uint32_t serviceType, uint32_t startType,
                               uint32_t errorControl, const char16_t* binaryPath, const char16_t* loadOrderGroup,
                               DWORD* tagId, const char16_t* dependencies, const char16_t* account,
                               const char16_t* password) {
  close();
  return attach(CreateServiceW(manager.get(), wnWide(name), wnWide(displayName), desiredAccess, serviceType,
                               startType, errorControl, wnWide(binaryPath), wnWide(loadOrderGroup), tagId,
                               wnWide(dependencies), wnWide(account), wnWide(password)));
}

uint32_t WnServiceCtrl::open(const WnServiceCtrlMgr& manager, const char16_t* name, uint32_t desiredAccess) {
  close();
  return attach(OpenServiceW(manager.get(), wnWide(name), desiredAccess));
}
