// FakeDriver: a scripted stand-in for the kernel driver behind the transport
// seam, for the driver interface tests. Constructing one installs it as the
// process-wide transport factory; destroying it restores the default.
//
// Every handle opened through it gets a number (1, 2, ... in open order) and
// its own message and notification queues. It answers the requests the
// library relies on (driver information, device list, device binding,
// message events, initiator registration, message post and reads) and
// records every request. Tests script it with:
//   - failOpen / failCode / failOpenDevice: fixed failures;
//   - setResponder: answer chosen requests themselves;
//   - setPostHook: see each posted message (runs on the posting thread,
//     outside the fake's lock) and deliver replies with deliverMessage,
//     which signals the handle's message event like the driver does.
//
// Threading: all members may be called from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "driverapi/DravikMessage.h"
#include "driverapi/DravikRecords.h"
#include "driverapi/DravikTransport.h"

struct FakeHandle {
  int id = 0;
  std::u16string path;
  WnRawHandle ioEvent = nullptr;
  uint64_t messageEvent = 0;
  uint64_t notificationEvent = 0;
  uint32_t initiator = 0xFFFFFFFF;
  bool bound = false;
  uint32_t deviceId0 = 0;
  uint32_t deviceId1 = 0;
  bool closed = false;
  std::deque<DravikMessage> messages;
  std::deque<DravikMessage> notifications;
};

struct FakeCall {
  int handle = 0;
  uint32_t code = 0;
  std::vector<uint8_t> in;
  uint32_t outSize = 0;
  DravikStatus status = 0;
};

class FakeDriver : public DravikTransportFactory {
public:
  // Answers a request itself: return true after setting status and bytes
  // (out is the caller's buffer as the library passed it). Runs under the
  // fake's lock; it may call the fake's members.
  using Responder = std::function<bool(FakeHandle& handle, uint32_t code, const uint8_t* in, uint32_t inSize,
                                       uint8_t* out, uint32_t outSize, uint32_t& bytes, DravikStatus& status)>;
  using PostHook = std::function<void(int handle, const DravikMessage& message)>;

  FakeDriver();
  ~FakeDriver() override;

  DravikStatus open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) override;

  // --- Script.
  void setInterfaceMajor(uint32_t major);
  // Every following open fails with status (0: opens succeed again).
  void failOpen(DravikStatus status);
  // Every request with this code fails with status (0 clears); the count of
  // bytes it reports then is failureBytes.
  void failCode(uint32_t code, DravikStatus status, uint32_t failureBytes = 0);
  void setDevices(const std::vector<DravikDeviceRecord>& devices);
  // IOCTL_DRAVIK_OPEN_DEVICE for this pair fails with status (0 clears).
  void failOpenDevice(uint32_t deviceId0, uint32_t deviceId1, DravikStatus status);
  void setResponder(Responder responder);
  void setPostHook(PostHook hook);

  // Queue a message for a handle; signal its message (notification) event
  // when it has one and signal is true.
  void deliverMessage(int handle, const DravikMessage& message, bool signal = true);
  void deliverNotification(int handle, const DravikMessage& message, bool signal = true);

  // --- Inspection.
  std::vector<FakeCall> calls() const;
  std::vector<FakeCall> callsOf(uint32_t code) const;
  void clearCalls();
  int openCount() const;
  FakeHandle handle(int id) const;  // a copy; default-constructed when unknown
  int lastHandle() const;
  // Messages posted with IOCTL_DRAVIK_POST_MESSAGE, in order.
  std::vector<DravikMessage> posted() const;
  // Waits until at least count messages were posted; false after timeoutMs.
  bool waitForPosts(size_t count, uint32_t timeoutMs) const;

  // Used by the fake's transports.
  DravikStatus request(int handle, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* bytesReturned);
  void closeHandle(int handle);

private:
  DravikStatus answer(FakeHandle& h, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                      uint32_t outSize, uint32_t& bytes);
  static void signal(uint64_t event);

  mutable std::recursive_mutex mutex_;
  mutable std::condition_variable_any posted_cv_;
  std::map<int, FakeHandle> handles_;
  int nextHandle_ = 1;
  int openCount_ = 0;
  uint32_t interfaceMajor_ = 2;
  DravikStatus openFailure_ = 0;
  std::map<uint32_t, std::pair<DravikStatus, uint32_t>> codeFailures_;
  std::map<std::pair<uint32_t, uint32_t>, DravikStatus> openDeviceFailures_;
  std::vector<DravikDeviceRecord> devices_;
  Responder responder_;
  PostHook postHook_;
  std::vector<FakeCall> calls_;
  std::vector<DravikMessage> posted_;
};

// Builders for the records the tests use.
DravikDeviceRecord fakeDeviceRecord(uint32_t deviceId0, uint32_t deviceId1, const char16_t* serial,
                                    uint16_t vendorId = 0x1A2B, uint16_t productId = 0x0008);
DravikMessage fakeReply(uint32_t sequence, uint32_t code = DRAVIK_MSG_REPLY, DravikStatus status = 0,
                        const void* payload = nullptr, uint32_t length = 0);
DravikMessage fakeNotification(uint32_t code, uint32_t type = DRAVIK_MSG_TYPE_NOTIFICATION);
