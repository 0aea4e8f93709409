#include "FakeDriver.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "driverapi/DravikIoctl.h"
#include "platform/WnWait.h"

namespace {

class FakeTransport : public DravikTransport {
public:
  FakeTransport(FakeDriver& driver, int handle) : driver_(driver), handle_(handle) {}
  ~FakeTransport() override { driver_.closeHandle(handle_); }
  DravikStatus ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* bytesReturned) override {
    return driver_.request(handle_, code, in, inSize, out, outSize, bytesReturned);
  }

private:
  FakeDriver& driver_;
  int handle_;
};

uint32_t copyOut(const void* data, uint32_t size, uint8_t* out, uint32_t outSize) {
  const uint32_t n = std::min(size, outSize);
  if (n > 0) std::memcpy(out, data, n);
  return n;
}

}  // namespace

FakeDriver::FakeDriver() { dravikSetTransportFactory(this); }

FakeDriver::~FakeDriver() { dravikSetTransportFactory(nullptr); }

DravikStatus FakeDriver::open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out.reset();
  if (openFailure_) return openFailure_;
  FakeHandle h;
  h.id = nextHandle_++;
  h.path = path;
  h.ioEvent = ioEvent;
  handles_[h.id] = h;
  ++openCount_;
  out.reset(new FakeTransport(*this, h.id));
  return 0;
}

void FakeDriver::setInterfaceMajor(uint32_t major) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  interfaceMajor_ = major;
}

void FakeDriver::failOpen(DravikStatus status) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  openFailure_ = status;
}

void FakeDriver::failCode(uint32_t code, DravikStatus status, uint32_t failureBytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (status)
    codeFailures_[code] = {status, failureBytes};
  else
    codeFailures_.erase(code);
}

void FakeDriver::setDevices(const std::vector<DravikDeviceRecord>& devices) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  devices_ = devices;
}

void FakeDriver::failOpenDevice(uint32_t deviceId0, uint32_t deviceId1, DravikStatus status) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (status)
    openDeviceFailures_[{deviceId0, deviceId1}] = status;
  else
    openDeviceFailures_.erase({deviceId0, deviceId1});
}

void FakeDriver::setResponder(Responder responder) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  responder_ = std::move(responder);
}

void FakeDriver::setPostHook(PostHook hook) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  postHook_ = std::move(hook);
}

void FakeDriver::signal(uint64_t event) {
  if (event) wnSetEvent(reinterpret_cast<WnRawHandle>(static_cast<uintptr_t>(event)));
}

void FakeDriver::deliverMessage(int handle, const DravikMessage& message, bool doSignal) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end() || it->second.closed) return;
  it->second.messages.push_back(message);
  if (doSignal) signal(it->second.messageEvent);
}

void FakeDriver::deliverNotification(int handle, const DravikMessage& message, bool doSignal) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end() || it->second.closed) return;
  it->second.notifications.push_back(message);
  if (doSignal) signal(it->second.notificationEvent);
}

std::vector<FakeCall> FakeDriver::calls() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return calls_;
}

std::vector<FakeCall> FakeDriver::callsOf(uint32_t code) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<FakeCall> result;
  for (const FakeCall& c : calls_)
    if (c.code == code) result.push_back(c);
  return result;
}

void FakeDriver::clearCalls() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  calls_.clear();
}

int FakeDriver::openCount() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return openCount_;
}

FakeHandle FakeDriver::handle(int id) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = handles_.find(id);
  return it == handles_.end() ? FakeHandle{} : it->second;
}

int FakeDriver::lastHandle() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return nextHandle_ - 1;
}

std::vector<DravikMessage> FakeDriver::posted() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return posted_;
}

bool FakeDriver::waitForPosts(size_t count, uint32_t timeoutMs) const {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  return posted_cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return posted_.size() >= count; });
}

void FakeDriver::closeHandle(int id) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = handles_.find(id);
  if (it == handles_.end()) return;
  // The driver drops what the handle registered.
  it->second.closed = true;
  it->second.messageEvent = 0;
  it->second.notificationEvent = 0;
  it->second.messages.clear();
  it->second.notifications.clear();
}

DravikStatus FakeDriver::request(int id, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                                 uint32_t* bytesReturned) {
  PostHook hook;
  DravikMessage postedMessage;
  DravikStatus status = 0;
  uint32_t bytes = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    FakeCall call;
    call.handle = id;
    call.code = code;
    if (in && inSize) call.in.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inSize);
    call.outSize = outSize;

    FakeHandle& h = handles_[id];
    auto failure = codeFailures_.find(code);
    if (failure != codeFailures_.end()) {
      status = failure->second.first;
      bytes = failure->second.second;
    } else if (!(responder_ && responder_(h, code, static_cast<const uint8_t*>(in), inSize,
                                          static_cast<uint8_t*>(out), outSize, bytes, status))) {
      status = answer(h, code, static_cast<const uint8_t*>(in), inSize, static_cast<uint8_t*>(out), outSize, bytes);
      if (code == IOCTL_DRAVIK_POST_MESSAGE && status == 0) {
        std::memset(&postedMessage, 0, sizeof postedMessage);
        std::memcpy(&postedMessage, in, std::min<uint32_t>(inSize, sizeof postedMessage));
        posted_.push_back(postedMessage);
        hook = postHook_;
        posted_cv_.notify_all();
      }
    }
    call.status = status;
    calls_.push_back(std::move(call));
  }
  if (bytesReturned) *bytesReturned = bytes;
  if (hook) hook(id, postedMessage);
  return status;
}

DravikStatus FakeDriver::answer(FakeHandle& h, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                                uint32_t outSize, uint32_t& bytes) {
  switch (code) {
    case IOCTL_DRAVIK_GET_DRIVER_INFO: {
      DravikDriverInfo info{interfaceMajor_, 1, 1, 36, 7, 0};
      bytes = copyOut(&info, sizeof info, out, outSize);
      return 0;
    }
    case IOCTL_DRAVIK_SET_MESSAGE_EVENTS: {
      if (inSize != sizeof(DravikMessageEvents)) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      DravikMessageEvents events;
      std::memcpy(&events, in, sizeof events);
      h.messageEvent = events.messageEvent;
      h.notificationEvent = events.notificationEvent;
      return 0;
    }
    case IOCTL_DRAVIK_REGISTER_INITIATOR:
      if (inSize != 4) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      std::memcpy(&h.initiator, in, 4);
      return 0;
    case IOCTL_DRAVIK_POST_MESSAGE:
      if (inSize < DRAVIK_MSG_HEADER_SIZE || inSize > DRAVIK_MSG_MAX_SIZE) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      return 0;
    case IOCTL_DRAVIK_READ_MESSAGE:
    case IOCTL_DRAVIK_READ_NOTIFICATION: {
      std::deque<DravikMessage>& queue = code == IOCTL_DRAVIK_READ_MESSAGE ? h.messages : h.notifications;
      if (outSize != DRAVIK_MSG_MAX_SIZE) return DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE;
      if (queue.empty()) return DRAVIK_STATUS_NO_MORE_ITEMS;
      DravikMessage m = queue.front();
      queue.pop_front();
      bytes = copyOut(&m, m.wireSize(), out, outSize);
      return 0;
    }
    case IOCTL_DRAVIK_GET_DEVICE_LIST: {
      DravikDeviceList list;
      std::memset(&list, 0, sizeof list);
      list.count = static_cast<uint32_t>(std::min<size_t>(devices_.size(), DRAVIK_MAX_DEVICES));
      for (uint32_t i = 0; i < list.count; ++i) list.devices[i] = devices_[i];
      bytes = copyOut(&list, sizeof list, out, outSize);
      return 0;
    }
    case IOCTL_DRAVIK_OPEN_DEVICE: {
      if (inSize != sizeof(DravikDeviceId)) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      DravikDeviceId id;
      std::memcpy(&id, in, sizeof id);
      auto failure = openDeviceFailures_.find({id.deviceId0, id.deviceId1});
      if (failure != openDeviceFailures_.end()) return failure->second;
      h.bound = true;
      h.deviceId0 = id.deviceId0;
      h.deviceId1 = id.deviceId1;
      return 0;
    }
    default:
      return 0;
  }
}

DravikDeviceRecord fakeDeviceRecord(uint32_t deviceId0, uint32_t deviceId1, const char16_t* serial, uint16_t vendorId,
                                    uint16_t productId) {
  DravikDeviceRecord r;
  std::memset(&r, 0, sizeof r);
  r.deviceId0 = deviceId0;
  r.deviceId1 = deviceId1;
  r.vendorId = vendorId;
  r.productId = productId;
  for (size_t i = 0; serial[i] && i + 1 < DRAVIK_SERIAL_CHARS; ++i) r.serialNumber[i] = serial[i];
  const char16_t name[] = u"Tovix8";
  for (size_t i = 0; name[i]; ++i) r.deviceName[i] = name[i];
  r.speedFlags = 1;
  return r;
}

DravikMessage fakeReply(uint32_t sequence, uint32_t code, DravikStatus status, const void* payload, uint32_t length) {
  DravikMessage m;
  m.init(DRAVIK_MSG_TYPE_REPLY, code);
  m.sequence = sequence;
  m.status = status;
  if (length) m.setPayload(payload, length);
  return m;
}

DravikMessage fakeNotification(uint32_t code, uint32_t type) {
  DravikMessage m;
  m.init(type, code);
  return m;
}
