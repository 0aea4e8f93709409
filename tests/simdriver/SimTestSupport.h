// Helpers of the simulator's tests: a bench that owns a SimDriver and opens
// handles on it with an in-process peer, typed request calls, the events a
// client hands over, and status assertions that print the status's name.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessage.h"
#include "driverapi/DravikStatus.h"
#include "platform/WnHandle.h"
#include "platform/WnWait.h"
#include "simdriver/SimDriver.h"
#include "simdriver/SimInProcessPeer.h"
#include "simdriver/SimScenario.h"

// Generous: the machine may be loaded; nothing waits this long when it works.
constexpr uint32_t kEventTimeoutMs = 20000;

inline ::testing::AssertionResult statusIs(const char* expectedText, const char* actualText, DravikStatus expected,
                                           DravikStatus actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "0x%08X (%s)", static_cast<unsigned>(actual), DravikStatusName(actual));
  char want[160];
  std::snprintf(want, sizeof want, "0x%08X (%s)", static_cast<unsigned>(expected), DravikStatusName(expected));
  return ::testing::AssertionFailure() << actualText << " is " << buffer << ", expected " << expectedText << " = "
                                       << want;
}
#define EXPECT_STATUS(expected, actual) EXPECT_PRED_FORMAT2(statusIs, DravikStatus(expected), DravikStatus(actual))
#define ASSERT_STATUS(expected, actual) ASSERT_PRED_FORMAT2(statusIs, DravikStatus(expected), DravikStatus(actual))

inline SimDriverConfig manualClockConfig() {
  SimDriverConfig c;
  c.clockMode = SimClockMode::Manual;
  return c;
}

// The two auto-reset events a client hands to the driver.
struct ClientEvents {
  WnEvent message;
  WnEvent notification;
  ClientEvents() {
    EXPECT_EQ(0u, message.create(false, false));
    EXPECT_EQ(0u, notification.create(false, false));
  }
  DravikMessageEvents record() const {
    return DravikMessageEvents{reinterpret_cast<uintptr_t>(message.get()),
                               reinterpret_cast<uintptr_t>(notification.get())};
  }
};

// True when the event is (or becomes, within timeoutMs) signalled; consumes
// an auto-reset event's signal.
inline bool signalled(const WnEvent& e, uint32_t timeoutMs = 0) {
  return wnWaitForSingle(e.get(), timeoutMs) == WN_WAIT_OBJECT_0;
}

inline DravikMessage makeMessage(uint32_t type, uint32_t code, const void* payload = nullptr, uint32_t length = 0) {
  DravikMessage m;
  std::memset(&m, 0, sizeof m);
  m.headerSize = DRAVIK_MSG_HEADER_SIZE;
  m.type = type;
  m.code = code;
  m.payloadLength = length;
  if (payload && length) std::memcpy(m.payload, payload, length);
  return m;
}

class SimBench {
public:
  explicit SimBench(const SimDriverConfig& config = manualClockConfig()) : driver(config) {}

  SimDriver driver;
  SimScenario& scenario() { return driver.scenario(); }

  SimHandleId open() { return driver.openHandle(std::make_unique<SimInProcessPeer>()); }

  DravikStatus call(SimHandleId h, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                    uint32_t* bytes = nullptr) {
    return driver.ioControl(h, code, in, inSize, out, outSize, bytes);
  }
  template <class In>
  DravikStatus send(SimHandleId h, uint32_t code, const In& in) {
    return call(h, code, &in, sizeof in, nullptr, 0);
  }
  DravikStatus send(SimHandleId h, uint32_t code) { return call(h, code, nullptr, 0, nullptr, 0); }
  template <class Out>
  DravikStatus get(SimHandleId h, uint32_t code, Out& out, uint32_t* bytes = nullptr) {
    std::memset(&out, 0, sizeof out);
    return call(h, code, nullptr, 0, &out, sizeof out, bytes);
  }

  // A handle registered as the initiator type, with events when given.
  SimHandleId openRegistered(uint32_t type, const ClientEvents* events = nullptr) {
    const SimHandleId h = open();
    if (events) {
      EXPECT_STATUS(0, send(h, IOCTL_DRAVIK_SET_MESSAGE_EVENTS, events->record()));
    }
    EXPECT_STATUS(0, send(h, IOCTL_DRAVIK_REGISTER_INITIATOR, type));
    return h;
  }
  // A handle bound to the present device with this serial.
  SimHandleId openDevice(const std::u16string& serial = u"T8-0001") {
    DravikDeviceId ids{};
    EXPECT_STATUS(0, scenario().deviceIds(serial, ids));
    const SimHandleId h = open();
    EXPECT_STATUS(0, send(h, IOCTL_DRAVIK_OPEN_DEVICE, ids));
    return h;
  }
  DravikStatus post(SimHandleId h, const DravikMessage& m) {
    return call(h, IOCTL_DRAVIK_POST_MESSAGE, &m, m.wireSize(), nullptr, 0);
  }
  DravikStatus read(SimHandleId h, bool notification, DravikMessage& m, uint32_t* bytes = nullptr) {
    std::memset(&m, 0, sizeof m);
    return call(h, notification ? IOCTL_DRAVIK_READ_NOTIFICATION : IOCTL_DRAVIK_READ_MESSAGE, nullptr, 0, &m,
                sizeof m, bytes);
  }
  // Every notification code queued for the handle, oldest first.
  std::vector<uint32_t> drainNotifications(SimHandleId h) {
    std::vector<uint32_t> codes;
    DravikMessage m;
    while (read(h, true, m) == DRAVIK_STATUS_SUCCESS) codes.push_back(m.code);
    return codes;
  }
  uint32_t streamState(SimHandleId h) {
    DravikStreamState s{};
    EXPECT_STATUS(0, get(h, IOCTL_DRAVIK_GET_STREAM_STATE, s));
    return s.streamState;
  }
  DravikStatus command(SimHandleId h, uint32_t command, uint32_t argument = 0) {
    return send(h, IOCTL_DRAVIK_STREAM_COMMAND, DravikStreamCommand{command, argument});
  }
  // Drives the stream Down -> Ready -> Prepared -> Running.
  void runStream(SimHandleId h) {
    ASSERT_STATUS(0, command(h, DRAVIK_CMD_DOWN_TO_READY));
    ASSERT_STATUS(0, command(h, DRAVIK_CMD_READY_TO_PREPARED));
    ASSERT_STATUS(0, command(h, DRAVIK_CMD_PREPARED_TO_RUNNING));
  }
};
