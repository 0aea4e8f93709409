// DravikService: the device control service object. It owns the device
// server (CustomServer), holds the single-instance mutex while it runs and
// the arrival event that a device-interface arrival sets. Its service main
// registers with the service control manager, writes its start to the event
// log, takes the mutex, registers for device-interface arrivals and runs the
// server's loop until the stop control; console mode does the same with the
// PnP notificator instead of the service control manager.
//
// Lifetime: the program has one, with static storage duration
// (dravikServiceInstance); tests make their own. The constructor creates the
// server and both events; the destructor deletes the server, which closes
// its driver channels.
// Threading: serviceMain and runConsole run the server on the calling
// thread; onDeviceEvent (any thread) only sets the arrival event; the stop
// request (ServiceBase) only sets the stop event.
//
//   DravikService& service = dravikServiceInstance();
//   service.setOutput(&console);
//   uint32_t exitCode = service.runConsole();   // until Ctrl+C
#pragma once

#include <cstdint>

#include "platform/WnHandle.h"
#include "service/CustomServer.h"
#include "service/ServiceBase.h"
#include "service/ServiceOutput.h"
#include "service/ServiceRuntime.h"

// Wide characters of the single-instance mutex name, terminator included.
constexpr size_t TOVIX8_MUTEX_NAME_CHARS = 500;

inline constexpr char16_t TOVIX8_TEXT_ANOTHER_INSTANCE_CONSOLE[] =
    u"Cannot start, another instance is already running.\n";
inline constexpr char16_t TOVIX8_TEXT_PNP_FAILED_CONSOLE[] = u"Failed to register PnP notifications.\n";
inline constexpr char16_t TOVIX8_TEXT_MODULE_NAME_FAILED[] = u"Failed to get module name.";
inline constexpr char16_t TOVIX8_TEXT_ANOTHER_INSTANCE_EVENT[] =
    u"Unable to start because another instance is already running.";
inline constexpr char16_t TOVIX8_TEXT_PNP_FAILED_EVENT[] = u"Unable to register for PnP notifications.";
inline constexpr char16_t TOVIX8_TEXT_STARTED_EVENT[] =
    u"%s started\r\nExePath: %s\r\nVersion %u.%u.%u\r\nInterface Version %u.%u";
inline constexpr char16_t TOVIX8_TEXT_TERMINATING_EVENT[] = u"%s terminating.";

// Wait hint of the start-pending report.
constexpr uint32_t TOVIX8_START_WAIT_HINT_MS = 3000;

class DravikService : public ServiceBase {
public:
  DravikService();
  ~DravikService() override;

  const char16_t* serviceName() const override;
  const char16_t* displayName() const override;
  const char16_t* description() const override;
  WnServiceMainEntry serviceMainEntry() const override { return serviceMainEntry_; }
  uint32_t runConsole() override;
  // Sets the arrival event for an arrival (0x8000); ignores everything else.
  void onDeviceEvent(uint32_t eventType, const WnDeviceInterfaceBroadcast* eventData) override;

  // The body of the program's service main (its arguments are ignored).
  void serviceMain(ServiceRuntime& runtime);

  // The program tells which of its functions is the service main.
  void setServiceMainEntry(WnServiceMainEntry entry) { serviceMainEntry_ = entry; }
  // Where console mode prints (nothing is printed without one).
  void setOutput(ServiceOutput* output) { output_ = output; }

  // Creates the single-instance mutex owned by the caller. 0, or the last
  // error after the creation (183 when another instance holds it; no handle
  // is kept then).
  uint32_t createInstanceMutex();
  // "<service name>-<interface GUID>", built by the constructor. Tests that
  // run in parallel processes give each process a name of its own.
  const char16_t* instanceMutexName() const { return mutexName_; }
  void setInstanceMutexName(const char16_t* name);
  void closeInstanceMutex() { instanceMutex_.close(); }
  bool holdsInstanceMutex() const { return instanceMutex_.isValid(); }

  CustomServer* server() const { return server_; }
  WnRawHandle arrivalEvent() const { return arrivalEvent_.get(); }

private:
  void print(const char16_t* text);
  // Runs the server's loop on the calling thread.
  void runServer();

  CustomServer* server_ = nullptr;
  WnMutex instanceMutex_;
  WnEvent arrivalEvent_;
  WnServiceMainEntry serviceMainEntry_ = nullptr;
  ServiceOutput* output_ = nullptr;
  char16_t mutexName_[TOVIX8_MUTEX_NAME_CHARS] = {};
};
