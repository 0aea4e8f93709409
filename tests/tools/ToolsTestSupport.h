// Helpers of the tools tests: unique pipe names, a stand-in for the device
// control service (registered as the server, answering requests on a thread
// of its own), the administrator's opt-in value, and waiting for a
// condition with a generous overall time-out.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "driverapi/DravikDriver.h"
#include "platform/WnHandle.h"

namespace tooltest {

constexpr uint32_t kLongWaitMs = 60000;

// "h6-<what>-<process id>-<counter>": unique to this process and call.
std::u16string uniquePipe(const char* what);

// Polls condition every few milliseconds until it holds (true) or timeoutMs
// passed (false).
bool waitUntil(const std::function<bool()>& condition, uint32_t timeoutMs = kLongWaitMs);

// The service's part in the relay: connects as initiator 0 and answers on
// its own thread. 1001 (sample rate): 0 for a rate of the default list,
// then posts 3010 and 3011; DRAVIK_STATUS_INVALID_SAMPLE_RATE otherwise.
// Every other request: DRAVIK_STATUS_INVALID_COMMAND.
class StandInService {
public:
  StandInService() { stop_.create(true, false); }
  ~StandInService() { stop(); }
  DravikStatus start();
  void stop();
  std::atomic<uint32_t> lastRate{0};
  std::atomic<uint32_t> requests{0};
  DravikDriver& driver() { return driver_; }

private:
  void run();
  DravikStatus onRequest(const DravikMessage& request, DravikMessage& reply);
  DravikDriver driver_;
  WnEvent stop_;
  std::thread thread_;
};

// Sets the opt-in value to the pipe for the scope (restoring "absent"
// afterwards); with null, removes it for the scope.
class OptIn {
public:
  explicit OptIn(const char16_t* pipe);
  ~OptIn();
  uint32_t result() const { return result_; }

private:
  uint32_t result_ = 0;
};

}  // namespace tooltest
