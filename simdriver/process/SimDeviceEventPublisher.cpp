#include "simdriver/process/SimDeviceEventPublisher.h"

#include <cstdio>
#include <new>

#include "platform/WnDeviceNotification.h"

namespace {

// How long a subscriber may leave a record untaken before it is dropped.
constexpr uint32_t kSubscriberWriteTimeoutMs = 3000;

}  // namespace

const WnGuid kSimInterfaceClass = {0x4033B9FA, 0xA338, 0x489F, {0x8F, 0x9D, 0x10, 0xA8, 0x92, 0x89, 0x26, 0x8B}};

WnDeviceEventRecord simDeviceEvent(uint32_t eventType, uint16_t vendorId, uint16_t productId,
                                   const std::u16string& serial) {
  // "\\?\USB#VID_1E2D&PID_0108#<serial>#{4033b9fa-a338-489f-8f9d-10a89289268b}"
  char head[40];
  std::snprintf(head, sizeof head, "\\\\?\\USB#VID_%04X&PID_%04X#", static_cast<unsigned>(vendorId),
                static_cast<unsigned>(productId));
  std::u16string name;
  for (const char* p = head; *p; ++p) name += static_cast<char16_t>(*p);
  name += serial;
  for (const char* p = "#{4033b9fa-a338-489f-8f9d-10a89289268b}"; *p; ++p) name += static_cast<char16_t>(*p);
  return wnMakeDeviceEventRecord(eventType, kSimInterfaceClass, name.c_str());
}

SimDeviceEventPublisher::~SimDeviceEventPublisher() { stop(); }

uint32_t SimDeviceEventPublisher::start(const char16_t* pipePath) {
  if (acceptor_.joinable()) return WN_ERROR_ALREADY_INITIALIZED;
  char16_t path[WN_PIPE_NAME_CHARS];
  if (!wnDerivedPipePath(pipePath, WN_SIMULATED_EVENTS_SUFFIX, path)) return WN_ERROR_BAD_PATHNAME;
  if (uint32_t err = listener_.create(path)) return err;
  stopping_ = false;
  try {
    acceptor_ = std::thread([this] { acceptMain(); });
  } catch (...) {
    listener_.close();
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

void SimDeviceEventPublisher::stop() {
  stopping_ = true;
  listener_.abort();
  if (acceptor_.joinable()) acceptor_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  subscribers_.clear();
  listener_.close();
}

void SimDeviceEventPublisher::acceptMain() {
  while (!stopping_) {
    std::unique_ptr<WnPipe> pipe(new (std::nothrow) WnPipe);
    if (!pipe) return;
    const uint32_t err = listener_.accept(*pipe);
    if (err == WN_ERROR_OPERATION_ABORTED || stopping_) return;
    if (err) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    bool ok = true;
    try {
      for (const WnDeviceEventRecord& r : present_())
        if (pipe->write(&r, sizeof r, kSubscriberWriteTimeoutMs) != 0) ok = false;
      if (ok) subscribers_.push_back(std::move(pipe));
    } catch (...) {
      // a subscriber we could not greet is not kept
    }
  }
}

void SimDeviceEventPublisher::sendLocked(const WnDeviceEventRecord& record) {
  ++published_;
  for (auto it = subscribers_.begin(); it != subscribers_.end();) {
    if ((*it)->write(&record, sizeof record, kSubscriberWriteTimeoutMs) != 0)
      it = subscribers_.erase(it);
    else
      ++it;
  }
}

void SimDeviceEventPublisher::publish(const WnDeviceEventRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  sendLocked(record);
}

DravikStatus SimDeviceEventPublisher::change(const std::function<DravikStatus(std::vector<WnDeviceEventRecord>&)>& f) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<WnDeviceEventRecord> events;
  DravikStatus status = DRAVIK_STATUS_INTERNAL_ERROR;
  try {
    status = f(events);
  } catch (...) {
    return DRAVIK_STATUS_NO_MEMORY;
  }
  for (const WnDeviceEventRecord& r : events) sendLocked(r);
  return status;
}

size_t SimDeviceEventPublisher::subscriberCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return subscribers_.size();
}
