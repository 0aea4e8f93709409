// The platform-neutral part of a service: WnService (the empty platform
// object a service frame holds), the control callback interface through
// which the service control manager's handler reaches the service object,
// its member-function forwarder, the opaque address of a service main
// function, and the service control and state codes (Win32 values).
//
// Lifetime: a forwarder holds a plain pointer to its object and must not
// outlive it. Threading: the callback runs on the service control
// dispatcher's thread.
//
//   WnServiceCallbackForwarderT<ServiceBase> forwarder(this, &ServiceBase::onControl);
//   RegisterServiceCtrlHandlerExW(name, handler, &forwarder);   // context
#pragma once

#include <cstdint>

class WnService {
public:
  virtual ~WnService() = default;
};

class WnServiceCallbackInterface {
public:
  virtual ~WnServiceCallbackInterface() = default;
  // One control from the service control manager; the result is the
  // handler's return value (0 = NO_ERROR).
  virtual uint32_t onServiceControl(uint32_t control, uint32_t eventType, void* eventData) = 0;
};

template <class T>
class WnServiceCallbackForwarderT : public WnServiceCallbackInterface {
public:
  using Function = uint32_t (T::*)(uint32_t, uint32_t, void*);
  WnServiceCallbackForwarderT() = default;
  WnServiceCallbackForwarderT(T* object, Function function) : object_(object), function_(function) {}
  void bind(T* object, Function function) {
    object_ = object;
    function_ = function;
  }
  uint32_t onServiceControl(uint32_t control, uint32_t eventType, void* eventData) override {
    return (object_->*function_)(control, eventType, eventData);
  }

private:
  T* object_ = nullptr;
  Function function_ = nullptr;
};

// The address of a service main function, kept opaque so that portable code
// can hand it on; the Win32 host casts it back to its real type.
using WnServiceMainEntry = void (*)();

enum : uint32_t {
  WN_SERVICE_WIN32_OWN_PROCESS = 0x10,
  WN_SERVICE_ACCEPT_STOP = 0x1,
  WN_SERVICE_ACCEPT_SHUTDOWN = 0x4,

  WN_SERVICE_CONTROL_STOP = 1,
  WN_SERVICE_CONTROL_SHUTDOWN = 5,
  WN_SERVICE_CONTROL_DEVICEEVENT = 11,

  WN_SERVICE_STOPPED = 1,
  WN_SERVICE_START_PENDING = 2,
  WN_SERVICE_RUNNING = 4,
};

// The fields of one status report (SERVICE_STATUS).
struct WnServiceStatus {
  uint32_t serviceType = 0;
  uint32_t currentState = 0;
  uint32_t controlsAccepted = 0;
  uint32_t win32ExitCode = 0;
  uint32_t serviceSpecificExitCode = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHint = 0;
};
