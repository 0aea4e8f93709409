#include "ToolsTestSupport.h"

#include <cstdio>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessageHandlers.h"
#include "platform/WnRegistryKey.h"
#include "platform/WnSimulatedDriver.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"

namespace tooltest {

std::u16string uniquePipe(const char* what) {
  static std::atomic<uint32_t> counter{0};
  char buf[96];
  std::snprintf(buf, sizeof buf, "h6-%s-%u-%u", what, static_cast<unsigned>(wnCurrentProcessId()),
                static_cast<unsigned>(++counter));
  std::u16string out;
  for (const char* p = buf; *p; ++p) out += static_cast<char16_t>(*p);
  return out;
}

bool waitUntil(const std::function<bool()>& condition, uint32_t timeoutMs) {
  const uint64_t deadline = wnMonotonicNanos() + uint64_t{timeoutMs} * 1000000u;
  for (;;) {
    if (condition()) return true;
    if (wnMonotonicNanos() >= deadline) return false;
    wnSleep(5);
  }
}

DravikStatus StandInService::start() {
  if (DravikStatus s = driver_.openDriver(DRAVIK_DEVICE_NAME, true, true)) return s;
  if (DravikStatus s = driver_.registerInitiator(DRAVIK_INITIATOR_SERVICE)) {
    driver_.disconnect();
    return s;
  }
  stop_.reset();
  thread_ = std::thread([this] { run(); });
  return 0;
}

void StandInService::stop() {
  stop_.set();
  if (thread_.joinable()) thread_.join();
  driver_.disconnect();
}

void StandInService::run() {
  DravikRequestHandlerForwarderT<StandInService> handler(this, &StandInService::onRequest);
  const WnRawHandle handles[2] = {stop_.get(), driver_.messageEventHandle()};
  for (;;) {
    if (wnWaitForMultiple(2, handles, WN_INFINITE, false) != WN_WAIT_OBJECT_0 + 1) return;
    driver_.processRequests(handler);
  }
}

DravikStatus StandInService::onRequest(const DravikMessage& request, DravikMessage&) {
  ++requests;
  if (request.code != DRAVIK_MSG_SET_SAMPLE_RATE) return DRAVIK_STATUS_INVALID_COMMAND;
  uint32_t rate = 0;
  if (DravikStatus s = request.readExact(&rate, sizeof rate)) return s;
  lastRate = rate;
  static const uint32_t kRates[] = {44100, 48000, 88200, 96000, 176400, 192000, 2822400, 5644800};
  bool known = false;
  for (uint32_t r : kRates) known = known || r == rate;
  if (!known) return DRAVIK_STATUS_INVALID_SAMPLE_RATE;
  driver_.postNotification(DRAVIK_NOTIFY_STREAM_RESTARTED);
  driver_.postNotification(DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED);
  return 0;
}

OptIn::OptIn(const char16_t* pipe) {
  WnRegistryKey key;
  if ((result_ = key.create(wnHkeyLocalMachine(), WN_SIMULATED_DRIVER_KEY, WN_KEY_READ | WN_KEY_WRITE)) != 0) return;
  if (pipe)
    result_ = key.writeString(WN_SIMULATED_DRIVER_VALUE, pipe, WN_REG_SZ);
  else
    key.deleteValue(WN_SIMULATED_DRIVER_VALUE);
}

OptIn::~OptIn() {
  WnRegistryKey key;
  if (key.openExisting(wnHkeyLocalMachine(), WN_SIMULATED_DRIVER_KEY, WN_KEY_READ | WN_KEY_WRITE) == 0)
    key.deleteValue(WN_SIMULATED_DRIVER_VALUE);
}

}  // namespace tooltest
