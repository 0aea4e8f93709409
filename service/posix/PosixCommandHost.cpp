#include "service/posix/PosixCommandHost.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "driverapi/DravikTransport.h"
#include "platform/WnTypes.h"
#include "service/ServiceProcess.h"
#include "simdriver/SimDriver.h"
#include "simdriver/SimInProcessTransport.h"

namespace {

// The simulated driver that console mode serves. Constructed before the
// service object (so destroyed after it: the server's channels close first).
struct SimulatedDriver {
  SimDriver driver;
  SimInProcessTransportFactory factory{driver};
  SimulatedDriver() { dravikSetTransportFactory(&factory); }
  ~SimulatedDriver() { dravikSetTransportFactory(nullptr); }
};

// Waits for SIGINT and SIGTERM (blocked in every thread) and makes the stop
// request of every service; SIGUSR1 only ends the wait.
class StopSignalThread {
public:
  bool start() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);
    // Blocked before any other thread exists, so every thread inherits it.
    if (pthread_sigmask(SIG_BLOCK, &set_, nullptr) != 0) return false;
    thread_ = std::thread([this] {
      for (;;) {
        int signal = 0;
        if (sigwait(&set_, &signal) != 0) return;
        if (signal == SIGUSR1 && finished_.load()) return;
        if (signal == SIGINT || signal == SIGTERM) ServiceProcess::stopAll();
      }
    });
    return true;
  }
  void finish() {
    if (!thread_.joinable()) return;
    finished_.store(true);
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }

private:
  sigset_t set_{};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace

uint32_t PosixCommandHost::install() { return WN_ERROR_CALL_NOT_IMPLEMENTED; }
uint32_t PosixCommandHost::uninstall() { return WN_ERROR_CALL_NOT_IMPLEMENTED; }
uint32_t PosixCommandHost::start() { return WN_ERROR_CALL_NOT_IMPLEMENTED; }
uint32_t PosixCommandHost::stop() { return WN_ERROR_CALL_NOT_IMPLEMENTED; }

bool PosixCommandHost::runConsole() {
  StopSignalThread signals;
  if (!signals.start()) return false;
  static SimulatedDriver simulated;
  DravikService& service = dravikServiceInstance();
  service.setOutput(&out_);
  ServiceProcess::add(&service);
  ServiceProcess::setConsoleMode(true);
  const bool ok = ServiceProcess::runConsoleThreads();
  signals.finish();
  return ok;
}
