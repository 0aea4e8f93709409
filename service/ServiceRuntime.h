// ServiceRuntime: what the service main needs from the system while the
// service control manager runs the service: registering the control
// handler, reporting the service status, the event log and the program's
// own path. The Win32 host implements it with RegisterServiceCtrlHandlerExW,
// SetServiceStatus, WnEventLogWriter and GetModuleFileNameW; tests with a
// recording fake.
//
// Lifetime: lives for one run of the service main. Threading: called by the
// service main thread only.
//
//   WnServiceStatusHandle status = nullptr;
//   if (runtime.registerControlHandler(name, &forwarder, status) != 0) return;
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WnTypes.h"
#include "service/WnService.h"

// Wide characters of the program path, terminator included.
constexpr size_t WN_MODULE_PATH_CHARS = 260;

class ServiceRuntime {
public:
  virtual ~ServiceRuntime() = default;
  // Registers the handler that passes every control to context; 0 and the
  // status handle, or the error code.
  virtual uint32_t registerControlHandler(const char16_t* serviceName, WnServiceCallbackInterface* context,
                                          WnServiceStatusHandle& statusHandle) = 0;
  // A failing report is ignored by the caller.
  virtual void reportStatus(WnServiceStatusHandle statusHandle, const WnServiceStatus& status) = 0;
  // The event source named source; 0 or the error code.
  virtual uint32_t openEventLog(const char16_t* source) = 0;
  // One information event (id 0x60070001) or error event (id 0xE0070003)
  // with the text as its one insertion string.
  virtual void reportInformation(const char16_t* text) = 0;
  virtual void reportError(const char16_t* text) = 0;
  virtual void closeEventLog() = 0;
  // The program's full path; 0 or the error code.
  virtual uint32_t moduleFileName(char16_t (&path)[WN_MODULE_PATH_CHARS]) = 0;
};
