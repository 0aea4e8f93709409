#include "service/ServiceBase.h"

ServiceBase::ServiceBase()
    : controlForwarder_(this, &ServiceBase::onControl), pnpForwarder_(this, &ServiceBase::onDeviceEvent) {
  stopEvent_.create(false, false);
}

ServiceBase::~ServiceBase() = default;

void ServiceBase::onDeviceEvent(uint32_t, const WnDeviceInterfaceBroadcast*) {}

uint32_t ServiceBase::onControl(uint32_t control, uint32_t eventType, void* eventData) {
  switch (control) {
    case WN_SERVICE_CONTROL_STOP:
    case WN_SERVICE_CONTROL_SHUTDOWN:
      // No stop-pending report: the service main reports stopped once the
      // work has ended.
      stopRequest();
      break;
    case WN_SERVICE_CONTROL_DEVICEEVENT:
      onDeviceEvent(eventType, static_cast<const WnDeviceInterfaceBroadcast*>(eventData));
      break;
    default:
      break;
  }
  return 0;
}

void ServiceBase::stopRequest() {
  notifications_.removeAll();
  pnp_.stop(WN_INFINITE);
  stopEvent_.set();
}

void ServiceBase::reportStatus(ServiceRuntime& runtime, uint32_t state, uint32_t waitHint, uint32_t win32ExitCode,
                               uint32_t serviceSpecificExitCode) {
  if (!statusHandle_) return;
  WnServiceStatus status;
  status.serviceType = serviceType_;
  status.currentState = state;
  status.controlsAccepted = acceptedControls_;
  status.win32ExitCode = win32ExitCode;
  status.serviceSpecificExitCode = serviceSpecificExitCode;
  status.checkPoint = 0;
  status.waitHint = waitHint;
  runtime.reportStatus(statusHandle_, status);
}
