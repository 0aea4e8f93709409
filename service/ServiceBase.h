// ServiceBase: the generic frame of a program that runs as a Windows service
// or in a console. It holds the service status handle, the forwarder that
// the service control handler calls, the device-notification registrations
// of service mode, the stop event that ends the service's work, and the
// PnP notificator (with its forwarder) that console mode uses instead of the
// service control manager's device events.
//
// Lifetime: one object per service, living for the whole process (the
// control handler and the notificator hold pointers into it). The
// constructor creates the stop event (auto-reset, not signalled).
// Threading: onControl runs on the control dispatcher's thread (service
// mode) or the console handler's thread (through stopRequest); the PnP
// notificator calls onDeviceEvent on its own thread. They only touch the
// notification list (locked), the notificator and events; the service's own
// work runs on the service main or console thread.
//
//   class MyService : public ServiceBase { ... };
//   service.onControl(WN_SERVICE_CONTROL_STOP, 0, nullptr);   // ends the work
#pragma once

#include <cstdint>

#include "platform/WnDeviceNotification.h"
#include "platform/WnHandle.h"
#include "service/ServiceRuntime.h"
#include "service/WnService.h"

class ServiceBase {
public:
  ServiceBase();
  virtual ~ServiceBase();
  ServiceBase(const ServiceBase&) = delete;
  ServiceBase& operator=(const ServiceBase&) = delete;

  virtual const char16_t* serviceName() const = 0;
  virtual const char16_t* displayName() const = 0;
  virtual const char16_t* description() const = 0;
  // The function the service control manager calls as the service's main.
  virtual WnServiceMainEntry serviceMainEntry() const = 0;
  // Runs the service in the calling thread in console mode; the exit code.
  virtual uint32_t runConsole() = 0;
  // A device event (type and data as the system delivers them). Does nothing.
  virtual void onDeviceEvent(uint32_t eventType, const WnDeviceInterfaceBroadcast* eventData);
  // The service control handler: stop and shutdown make the stop request,
  // device events go to onDeviceEvent, everything else is ignored. Always 0.
  virtual uint32_t onControl(uint32_t control, uint32_t eventType, void* eventData);

  // Withdraws the device-notification registrations, stops the PnP
  // notificator (waiting for its thread) and sets the stop event.
  void stopRequest();

  WnServiceStatusHandle statusHandle() const { return statusHandle_; }
  WnServiceCallbackInterface* controlForwarder() { return &controlForwarder_; }
  WnDeviceNotificationList& notificationList() { return notifications_; }
  WnPnPNotificator& pnpNotificator() { return pnp_; }
  WnRawHandle stopEvent() const { return stopEvent_.get(); }
  uint32_t serviceType() const { return serviceType_; }
  uint32_t acceptedControls() const { return acceptedControls_; }

protected:
  // Reports the state through the runtime; skipped without a status handle.
  void reportStatus(ServiceRuntime& runtime, uint32_t state, uint32_t waitHint, uint32_t win32ExitCode,
                    uint32_t serviceSpecificExitCode);

  WnService service_;
  WnServiceStatusHandle statusHandle_ = nullptr;
  WnServiceCallbackForwarderT<ServiceBase> controlForwarder_;
  WnDeviceNotificationList notifications_;
  uint32_t serviceType_ = WN_SERVICE_WIN32_OWN_PROCESS;
  uint32_t acceptedControls_ = WN_SERVICE_ACCEPT_STOP | WN_SERVICE_ACCEPT_SHUTDOWN;
  WnEvent stopEvent_;
  WnPnPNotificator pnp_;
  WnPnPNotificatorCallbackForwarderT<ServiceBase> pnpForwarder_;
};
