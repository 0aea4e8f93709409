// Win32ServiceRuntime: the service main's view of the system while the
// service control manager runs tovix8svc: RegisterServiceCtrlHandlerExW
// with a handler that passes every control to the service's forwarder,
// SetServiceStatus, the event-log writer and the module path.
//
// Lifetime: one per run of the service main, on its stack. Threading: the
// service main thread; the registered handler runs on the dispatcher's
// thread and only calls the forwarder.
//
//   Win32ServiceRuntime runtime;
//   dravikServiceInstance().serviceMain(runtime);
#pragma once

#include "WnEventLog.h"
#include "service/ServiceRuntime.h"

class Win32ServiceRuntime : public ServiceRuntime {
public:
  uint32_t registerControlHandler(const char16_t* serviceName, WnServiceCallbackInterface* context,
                                  WnServiceStatusHandle& statusHandle) override;
  void reportStatus(WnServiceStatusHandle statusHandle, const WnServiceStatus& status) override;
  uint32_t openEventLog(const char16_t* source) override;
  void reportInformation(const char16_t* text) override;
  void reportError(const char16_t* text) override;
  void closeEventLog() override;
  uint32_t moduleFileName(char16_t (&path)[WN_MODULE_PATH_CHARS]) override;

private:
  WnEventLogWriter log_;
};
