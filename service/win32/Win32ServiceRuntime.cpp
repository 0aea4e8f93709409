#include "Win32ServiceRuntime.h"

#include <windows.h>

#include "WnModulePath.h"
#include "WnServiceCtrl.h"
#include "platform/WnSimulatedDriver.h"
#include "service/WideFormat.h"

namespace {

// The handler registered for the service: the context is the service's
// control forwarder.
DWORD WINAPI serviceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context) {
  auto* forwarder = static_cast<WnServiceCallbackInterface*>(context);
  return forwarder ? forwarder->onServiceControl(control, eventType, eventData) : NO_ERROR;
}

}  // namespace

uint32_t Win32ServiceRuntime::registerControlHandler(const char16_t* serviceName,
                                                     WnServiceCallbackInterface* context,
                                                     WnServiceStatusHandle& statusHandle) {
  // RegisterServiceCtrlHandlerExW through the platform layer, which also
  // delivers the simulated driver's device events to the handler when an
  // administrator opted in to it (platform/WnSimulatedDriver.h).
  WnServiceStatusHandle h = nullptr;
  if (uint32_t error = wnRegisterServiceCtrlHandlerEx(
          serviceName, reinterpret_cast<WnServiceHandlerProc>(serviceControlHandler), context, h))
    return error;
  statusHandle = h;
  return 0;
}

void Win32ServiceRuntime::reportStatus(WnServiceStatusHandle statusHandle, const WnServiceStatus& status) {
  SERVICE_STATUS s{};
  s.dwServiceType = status.serviceType;
  s.dwCurrentState = status.currentState;
  s.dwControlsAccepted = status.controlsAccepted;
  s.dwWin32ExitCode = status.win32ExitCode;
  s.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
  s.dwCheckPoint = status.checkPoint;
  s.dwWaitHint = status.waitHint;
  SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(statusHandle), &s);
}

uint32_t Win32ServiceRuntime::openEventLog(const char16_t* source) { return log_.open(source); }

void Win32ServiceRuntime::reportInformation(const char16_t* text) {
  log_.reportInformation(L"%ls", wnWide(text));
}

void Win32ServiceRuntime::reportError(const char16_t* text) { log_.reportError(text); }

void Win32ServiceRuntime::closeEventLog() { log_.close(); }

uint32_t Win32ServiceRuntime::moduleFileName(char16_t (&path)[WN_MODULE_PATH_CHARS]) {
  WnModulePath module;
  if (uint32_t error = module.read()) return error;
  wideCopy(path, WN_MODULE_PATH_CHARS, module.full());
  return 0;
}
