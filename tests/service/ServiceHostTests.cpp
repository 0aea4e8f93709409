// The service frame and the service object: the control handler, the
// service main against a recording runtime (status reports, event-log
// texts, failures), device events through the control handler, console
// mode with its single-instance mutex and PnP notificator, and the
// process-wide console threads.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "ServerFixture.h"
#include "platform/WnMessageTarget.h"
#include "platform/WnWait.h"
#include "service/DravikService.h"
#include "service/ServiceIdentity.h"
#include "service/ServiceProcess.h"
#include "service/WideFormat.h"

namespace {

class CaptureOutput : public ServiceOutput {
public:
  void print(const char16_t* text) override {
    std::lock_guard<std::mutex> guard(lock_);
    printed += text;
  }
  std::u16string text() {
    std::lock_guard<std::mutex> guard(lock_);
    return printed;
  }

private:
  std::mutex lock_;
  std::u16string printed;
};

struct ServiceMainBody {
  DravikService* service;
  ServiceRuntime* runtime;
  uint32_t run() {
    service->serviceMain(*runtime);
    return 0;
  }
};

// Plays the service control manager and the event log. Its status handle
// is a message target, so that device-interface events registered for the
// service arrive here and go to the control handler, as the system's
// service control dispatcher would pass them.
class RecordingRuntime : public ServiceRuntime, public WnMessageTarget {
public:
  uint32_t registerControlHandler(const char16_t* serviceName, WnServiceCallbackInterface* context,
                                  WnServiceStatusHandle& statusHandle) override {
    name = wideToUtf8(serviceName);
    handler = context;
    if (registerError) return registerError;
    statusHandle = nullStatusHandle ? nullptr : static_cast<WnMessageTarget*>(this);
    return 0;
  }
  void reportStatus(WnServiceStatusHandle statusHandle, const WnServiceStatus& status) override {
    EXPECT_EQ(static_cast<WnMessageTarget*>(this), statusHandle);
    std::lock_guard<std::mutex> guard(lock);
    reports.push_back(status);
    if (status.currentState == WN_SERVICE_RUNNING && running) running->set();
  }
  uint32_t openEventLog(const char16_t* source) override {
    events.push_back("open " + wideToUtf8(source));
    return openError;
  }
  void reportInformation(const char16_t* text) override { events.push_back("info " + wideToUtf8(text)); }
  void reportError(const char16_t* text) override { events.push_back("error " + wideToUtf8(text)); }
  void closeEventLog() override { events.push_back("close"); }
  uint32_t moduleFileName(char16_t (&path)[WN_MODULE_PATH_CHARS]) override {
    if (moduleError) return moduleError;
    wideCopy(path, WN_MODULE_PATH_CHARS, u"C:\\Program Files\\Tovix8\\tovix8svc.exe");
    return 0;
  }
  void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    if (message == WN_WM_DEVICECHANGE && handler)
      handler->onServiceControl(WN_SERVICE_CONTROL_DEVICEEVENT, static_cast<uint32_t>(wParam),
                                reinterpret_cast<void*>(lParam));
  }

  std::vector<uint32_t> states() {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<uint32_t> out;
    for (const WnServiceStatus& s : reports) out.push_back(s.currentState);
    return out;
  }

  uint32_t registerError = 0, openError = 0, moduleError = 0;
  bool nullStatusHandle = false;
  WnEvent* running = nullptr;
  std::string name;
  WnServiceCallbackInterface* handler = nullptr;
  std::mutex lock;
  std::vector<WnServiceStatus> reports;
  std::vector<std::string> events;
};

const std::string kStarted =
    "info tovix8svc started\r\nExePath: C:\\Program Files\\Tovix8\\tovix8svc.exe\r\nVersion 1.36.1\r\n"
    "Interface Version 2.0";

// The test processes run in parallel and named mutexes are seen across
// processes: each process uses a mutex name of its own.
std::u16string mutexName() {
  return u"tovix8svc-test-" + utf8ToWide(std::to_string(wnCurrentProcessId()).c_str());
}

// A service object with this process's mutex name.
struct TestService : DravikService {
  TestService() { setInstanceMutexName(mutexName().c_str()); }
};

class ServiceHost : public ServerFixture {
protected:
  // Runs the service main on a thread until it reports running.
  void startServiceMain(DravikService& service, RecordingRuntime& runtime) {
    ASSERT_EQ(0u, running_.create(true, false));
    runtime.running = &running_;
    body_ = {&service, &runtime};
    forwarder_.bind(&body_, &ServiceMainBody::run);
    ASSERT_EQ(0u, thread_.start(&forwarder_, 0, 0));
    ASSERT_EQ(uint32_t{WN_WAIT_OBJECT_0}, wnWaitForSingle(running_.get(), kWaitMs));
  }
  void joinServiceMain() { ASSERT_EQ(0u, thread_.wait(60000)); }

  WnEvent running_;
  ServiceMainBody body_{};
  WnThreadCallbackForwarderT<ServiceMainBody> forwarder_;
  WnThread thread_;
};

struct ControlCase {
  uint32_t control;
  uint32_t eventType;
  bool stops;
  bool arrives;
};

TEST(ServiceControl, HandlerActions) {
  const ControlCase cases[] = {
      {WN_SERVICE_CONTROL_STOP, 0, true, false},
      {WN_SERVICE_CONTROL_SHUTDOWN, 0, true, false},
      {WN_SERVICE_CONTROL_DEVICEEVENT, WN_DBT_DEVICEARRIVAL, false, true},
      {WN_SERVICE_CONTROL_DEVICEEVENT, WN_DBT_DEVICEREMOVECOMPLETE, false, false},
      {WN_SERVICE_CONTROL_DEVICEEVENT, 0x0007, false, false},
      {2, 0, false, false},   // pause: not accepted
      {4, 0, false, false},   // interrogate
      {15, 0, false, false},  // pre-shutdown
  };
  for (const ControlCase& c : cases) {
    TestService service;
    EXPECT_EQ(0u, service.controlForwarder()->onServiceControl(c.control, c.eventType, nullptr)) << c.control;
    EXPECT_EQ(c.stops ? WN_WAIT_OBJECT_0 : WN_WAIT_TIMEOUT, wnWaitForSingle(service.stopEvent(), 0))
        << c.control << "/" << c.eventType;
    EXPECT_EQ(c.arrives ? WN_WAIT_OBJECT_0 : WN_WAIT_TIMEOUT, wnWaitForSingle(service.arrivalEvent(), 0))
        << c.control << "/" << c.eventType;
  }
}

TEST(ServiceControl, Identity) {
  DravikService service;
  EXPECT_EQ(u"tovix8svc", std::u16string(service.serviceName()));
  EXPECT_EQ(u"Tovix8 control", std::u16string(service.displayName()));
  EXPECT_EQ(u"Tovix8 control service", std::u16string(service.description()));
  EXPECT_EQ(u"tovix8svc-{4033B9FA-A338-489F-8F9D-10A89289268B}", std::u16string(service.instanceMutexName()));
  EXPECT_EQ(16u, service.serviceType());
  EXPECT_EQ(5u, service.acceptedControls());
  ASSERT_NE(nullptr, service.server());
  EXPECT_EQ(u"Software\\HALVENOR\\tovix8", std::u16string(service.server()->registryRoot()));
  WnGuid guid{};
  service.server()->interfaceGuid(guid);
  EXPECT_EQ(0x4033B9FAu, guid.data1);
  EXPECT_EQ(0xA338u, guid.data2);
  EXPECT_EQ(0x489Fu, guid.data3);
  EXPECT_EQ(0x8Bu, guid.data4[7]);
}

TEST_F(ServiceHost, ServiceMainRunsUntilStopped) {
  startSim();
  ASSERT_EQ(0u, client_.connect(DRAVIK_DEVICE_NAME));
  TestService service;
  RecordingRuntime runtime;
  startServiceMain(service, runtime);
  EXPECT_EQ("tovix8svc", runtime.name);
  EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "the server is not serving";
  EXPECT_TRUE(service.holdsInstanceMutex());
  EXPECT_EQ(1u, service.notificationList().count());

  runtime.handler->onServiceControl(WN_SERVICE_CONTROL_STOP, 0, nullptr);
  joinServiceMain();
  EXPECT_EQ(0u, service.notificationList().count());
  EXPECT_FALSE(service.holdsInstanceMutex());
  const std::vector<uint32_t> states = runtime.states();
  ASSERT_EQ((std::vector<uint32_t>{WN_SERVICE_START_PENDING, WN_SERVICE_RUNNING, WN_SERVICE_STOPPED}), states);
  EXPECT_EQ(3000u, runtime.reports[0].waitHint);
  for (const WnServiceStatus& s : runtime.reports) {
    EXPECT_EQ(16u, s.serviceType);
    EXPECT_EQ(5u, s.controlsAccepted);
    EXPECT_EQ(0u, s.checkPoint);
    EXPECT_EQ(0u, s.win32ExitCode);
    EXPECT_EQ(0u, s.serviceSpecificExitCode);
  }
  EXPECT_EQ((std::vector<std::string>{"open tovix8svc", kStarted, "info tovix8svc terminating.", "close"}),
            runtime.events);
}

// Device-interface arrivals in service mode come through the control
// handler and reconnect the server.
TEST_F(ServiceHost, ServiceModeArrivalThroughControlHandler) {
  if (!platformRaisesInterfaceEvents()) {
    GTEST_SKIP() << "the simulator cannot raise system device events here";
  }
  SimDriverConfig config;
  config.devices.clear();
  startSim(config);
  ASSERT_EQ(0u, client_.connect(DRAVIK_DEVICE_NAME));
  TestService service;
  RecordingRuntime runtime;
  startServiceMain(service, runtime);
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED));
  ASSERT_TRUE(sc().waitForRequest(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, 3, kWaitMs));  // the server closed
  forgetNotifications();
  ASSERT_EQ(0u, sc().plugDevice(SimDeviceConfig()));
  EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "the arrival did not reach the server";
  EXPECT_TRUE(snapshot().endpointsSet);
  runtime.handler->onServiceControl(WN_SERVICE_CONTROL_SHUTDOWN, 0, nullptr);
  joinServiceMain();
}

struct MainFailureCase {
  const char* what;
  uint32_t registerError, openError, moduleError;
  bool holdMutex;
  bool nullStatusHandle;
  std::vector<uint32_t> states;
  uint32_t exitCode;
  std::vector<std::string> events;
};

TEST(ServiceMainFailures, EachStep) {
  const MainFailureCase cases[] = {
      {"control handler", 1063, 0, 0, false, false, {}, 0, {}},
      {"event log", 0, 1722, 0, false, false, {WN_SERVICE_START_PENDING, WN_SERVICE_STOPPED}, 1722,
       {"open tovix8svc"}},
      {"module path", 0, 0, 122, false, false, {WN_SERVICE_START_PENDING, WN_SERVICE_STOPPED}, 122,
       {"open tovix8svc", "error Failed to get module name.", "close"}},
      {"instance mutex", 0, 0, 0, true, false, {WN_SERVICE_START_PENDING, WN_SERVICE_STOPPED}, 183,
       {"open tovix8svc", kStarted, "error Unable to start because another instance is already running.", "close"}},
      {"notifications", 0, 0, 0, false, true, {}, 0,
       {"open tovix8svc", kStarted, "error Unable to register for PnP notifications.", "close"}},
  };
  for (const MainFailureCase& c : cases) {
    WnMutex other;
    if (c.holdMutex) {
      ASSERT_EQ(0u, other.create(true, mutexName().c_str()));
    }
    TestService service;
    RecordingRuntime runtime;
    runtime.registerError = c.registerError;
    runtime.openError = c.openError;
    runtime.moduleError = c.moduleError;
    runtime.nullStatusHandle = c.nullStatusHandle;
    service.serviceMain(runtime);  // returns at once: nothing runs
    EXPECT_EQ(c.states, runtime.states()) << c.what;
    if (!runtime.reports.empty()) {
      EXPECT_EQ(c.exitCode, runtime.reports.back().win32ExitCode) << c.what;
      EXPECT_EQ(c.exitCode, runtime.reports.back().serviceSpecificExitCode) << c.what;
    }
    EXPECT_EQ(c.events, runtime.events) << c.what;
    EXPECT_FALSE(service.holdsInstanceMutex()) << c.what;
  }
}

// Console mode: the PnP notificator brings arrivals; a second instance is
// refused by the mutex.
TEST_F(ServiceHost, ConsoleModeWithArrivalsAndSecondInstance) {
  SimDriverConfig config;
  config.devices.clear();
  startSim(config);
  ASSERT_EQ(0u, client_.connect(DRAVIK_DEVICE_NAME));
  TestService service;
  CaptureOutput out;
  service.setOutput(&out);
  WnThreadCallbackForwarderT<DravikService> body(&service, &DravikService::runConsole);
  WnThread console;
  ASSERT_EQ(0u, console.start(&body, 0, 0));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED));

  TestService second;
  CaptureOutput secondOut;
  second.setOutput(&secondOut);
  EXPECT_EQ(1u, second.runConsole());
  EXPECT_EQ(u"Cannot start, another instance is already running.\n", secondOut.text());

  if (platformRaisesInterfaceEvents()) {
    ASSERT_TRUE(sc().waitForRequest(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, 3, kWaitMs));
    forgetNotifications();
    ASSERT_EQ(0u, sc().plugDevice(SimDeviceConfig()));
    EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "no arrival in console mode";
    EXPECT_TRUE(snapshot().endpointsSet);
  }

  service.stopRequest();
  ASSERT_EQ(0u, console.wait(60000));
  EXPECT_FALSE(service.pnpNotificator().isRunning());
  EXPECT_EQ(u"", out.text());
  // Once the first has ended, the mutex is free again.
  WnMutex probe;
  EXPECT_EQ(0u, probe.create(true, mutexName().c_str()));
}

// The process's console threads run every listed service until Ctrl+C
// (stopAll).
TEST_F(ServiceHost, ConsoleThreadsUntilStopAll) {
  startSim();
  ASSERT_EQ(0u, client_.connect(DRAVIK_DEVICE_NAME));
  TestService service;
  ServiceProcess::clear();
  ASSERT_TRUE(ServiceProcess::add(&service));
  ServiceProcess::setConsoleMode(true);
  struct Runner {
    bool ok = false;
    uint32_t run() {
      ok = ServiceProcess::runConsoleThreads();
      return 0;
    }
  } runner;
  WnThreadCallbackForwarderT<Runner> body(&runner, &Runner::run);
  WnThread main;
  ASSERT_EQ(0u, main.start(&body, 0, 0));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED));
  ServiceProcess::stopAll();
  ASSERT_EQ(0u, main.wait(60000));
  EXPECT_TRUE(runner.ok);
  EXPECT_TRUE(ServiceProcess::consoleMode());
  ServiceProcess::clear();
  ServiceProcess::setConsoleMode(false);
  EXPECT_EQ(0u, ServiceProcess::count());
}

}  // namespace
