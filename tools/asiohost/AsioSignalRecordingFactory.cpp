#include "tools/asiohost/AsioSignalRecordingFactory.h"

#include <cstring>
#include <new>

#include "driverapi/DravikAsioRecords.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnTime.h"
#include "simdriver/SimInProcessPeer.h"
#include "simdriver/SimInProcessTransport.h"

namespace {

char16_t fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool isDriverPath(const char16_t* path) {
  static constexpr char16_t prefix[] = u"\\\\.\\";
  if (!path) return false;
  size_t i = 0;
  for (size_t k = 0; prefix[k]; ++k, ++i)
    if (path[i] != prefix[k]) return false;
  for (size_t k = 0; DRAVIK_DEVICE_NAME[k]; ++k, ++i)
    if (fold(path[i]) != fold(DRAVIK_DEVICE_NAME[k])) return false;
  return path[i] == 0;
}

// The switch event as the simulator holds it: timed, then set.
class StampingSignal : public SimSignal {
public:
  StampingSignal(AsioSignalRecordingFactory& owner, std::unique_ptr<SimSignal> inner)
      : owner_(owner), inner_(std::move(inner)) {}
  void signal() override {
    owner_.stampSignal();
    inner_->signal();
  }

private:
  AsioSignalRecordingFactory& owner_;
  std::unique_ptr<SimSignal> inner_;
};

// An in-process peer that wraps the one event it was told is a switch event.
class RecordingPeer : public SimPeer {
public:
  explicit RecordingPeer(AsioSignalRecordingFactory& owner) : owner_(owner) {}
  void expectSwitchEvent(uint64_t handleValue) { switchEvent_ = handleValue; }

  DravikStatus adoptEvent(uint64_t handleValue, std::unique_ptr<SimSignal>& out) override {
    if (DravikStatus s = inner_.adoptEvent(handleValue, out)) return s;
    if (handleValue != 0 && handleValue == switchEvent_) {
      std::unique_ptr<SimSignal> wrapped(new (std::nothrow) StampingSignal(owner_, std::move(out)));
      if (!wrapped) return WN_ERROR_NOT_ENOUGH_MEMORY;
      out = std::move(wrapped);
    }
    return 0;
  }
  bool readMemory(uint64_t address, void* buffer, size_t size) override {
    return inner_.readMemory(address, buffer, size);
  }
  bool writeMemory(uint64_t address, const void* data, size_t size) override {
    return inner_.writeMemory(address, data, size);
  }
  bool readWord(uint64_t address, uint32_t& value) override { return inner_.readWord(address, value); }
  bool writeWord(uint64_t address, uint32_t value) override { return inner_.writeWord(address, value); }

private:
  AsioSignalRecordingFactory& owner_;
  SimInProcessPeer inner_;
  uint64_t switchEvent_ = 0;
};

// A simulator handle whose switch control request tells the peer which
// event to time.
class RecordingTransport : public DravikTransport {
public:
  RecordingTransport(SimDriver& driver, SimHandleId handle, RecordingPeer& peer)
      : inner_(driver, handle), peer_(peer) {}
  DravikStatus ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* bytesReturned) override {
    if (code == IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL && in && inSize == sizeof(SwitchControl)) {
      SwitchControl control;
      std::memcpy(&control, in, sizeof control);
      peer_.expectSwitchEvent(control.switchEvent);
    }
    return inner_.ioControl(code, in, inSize, out, outSize, bytesReturned);
  }

private:
  SimInProcessTransport inner_;  // closes the handle, and with it the peer
  RecordingPeer& peer_;
};

}  // namespace

DravikStatus AsioSignalRecordingFactory::open(const char16_t* path, WnRawHandle,
                                              std::unique_ptr<DravikTransport>& out) {
  out.reset();
  if (!isDriverPath(path)) return WN_ERROR_FILE_NOT_FOUND;
  std::unique_ptr<RecordingPeer> peer(new (std::nothrow) RecordingPeer(*this));
  if (!peer) return WN_ERROR_NOT_ENOUGH_MEMORY;
  RecordingPeer& peerRef = *peer;
  const SimHandleId handle = driver_.openHandle(std::move(peer));
  if (handle == SIM_NO_HANDLE) return WN_ERROR_NOT_ENOUGH_MEMORY;
  out.reset(new (std::nothrow) RecordingTransport(driver_, handle, peerRef));
  if (!out) {
    driver_.closeHandle(handle);
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

void AsioSignalRecordingFactory::stampSignal() {
  const uint64_t n = count_.load(std::memory_order_relaxed);
  times_[n % kHistory].store(wnMonotonicNanos(), std::memory_order_relaxed);
  count_.store(n + 1, std::memory_order_release);
}

uint64_t AsioSignalRecordingFactory::signalTime(uint64_t n) const {
  const uint64_t count = signalCount();
  if (n >= count || count - n > kHistory) return 0;
  return times_[n % kHistory].load(std::memory_order_relaxed);
}
