#include "simdriver/SimAsioEngine.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <system_error>

#include "driverapi/DravikIoctl.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"
#include "simdriver/SimCore.h"

namespace {

constexpr uint32_t kMaxSwitchBufferSize = 65536;
constexpr uint8_t kPcmSilence = 0x00;
constexpr uint8_t kDsdSilence = 0x96;
constexpr double kPi = 3.14159265358979323846;

}  // namespace

SimAsioEngine::SimAsioEngine(SimCore& core, SimClockMode mode, const SimInputSource& source)
    : core_(core), mode_(mode), source_(source) {}

SimAsioEngine::~SimAsioEngine() {
  // The driver's end ran shutdown() and joined the thread already; this is a
  // last guard (the lock is free while the driver is destroyed).
  if (clock_.joinable()) {
    ++generation_;
    started_ = false;
    clockWake_.notify_all();
    clock_.join();
  }
}

// ----- channels -----

DravikStatus SimAsioEngine::describe(uint32_t key0, uint32_t key1, SimDevice*& device, SimChannelId& id) const {
  device = nullptr;
  if (!simDecodeChannelKey1(key1, id)) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
  for (const auto& d : core_.devices) {
    if (d->ids().deviceId0 != key0) continue;
    if (!d->present()) return DRAVIK_STATUS_DEVICE_REMOVED;
    device = d.get();
    return DRAVIK_STATUS_SUCCESS;
  }
  return DRAVIK_STATUS_OBJECT_NOT_FOUND;
}

void SimAsioEngine::channelList(bool input, bool pcm, bool dsd, DravikChannelList& out) const {
  std::memset(&out, 0, sizeof out);
  for (SimDevice* d : core_.streamingDevices()) {
    for (const SimChannelId& c : simDeviceChannels(input, pcm, dsd)) {
      if (out.count >= DRAVIK_MAX_CHANNELS) return;
      out.keys[out.count].channelKey0 = d->ids().deviceId0;
      out.keys[out.count].channelKey1 = simChannelKey1(c);
      ++out.count;
    }
  }
}

DravikStatus SimAsioEngine::openChannel(SimHandle& h, const DravikChannelKey& key) {
  SimDevice* device = nullptr;
  SimChannelId id;
  if (DravikStatus s = describe(key.channelKey0, key.channelKey1, device, id)) return s;
  bool streaming = false;
  for (SimDevice* d : core_.streamingDevices()) streaming = streaming || d == device;
  if (!streaming) return DRAVIK_STATUS_NO_STREAMING_DEVICE;
  if (id.dsd != core_.stream.dsd()) return DRAVIK_STATUS_NOT_POSSIBLE;
  const uint64_t k = simChannelKeyValue(key.channelKey0, key.channelKey1);
  auto it = channels_.find(k);
  if (it != channels_.end()) return it->second.owner == h.id ? DRAVIK_STATUS_ALREADY_DONE : DRAVIK_STATUS_IN_USE;
  OpenChannel c;
  c.owner = h.id;
  c.device = device;
  c.id = id;
  channels_[k] = c;
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimAsioEngine::closeChannel(SimHandle& h, const DravikChannelKey& key) {
  auto it = channels_.find(simChannelKeyValue(key.channelKey0, key.channelKey1));
  if (it == channels_.end() || it->second.owner != h.id) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
  channels_.erase(it);
  return DRAVIK_STATUS_SUCCESS;
}

uint32_t SimAsioEngine::expectedHalfSize() const { return bufferSize_ * (core_.stream.dsd() ? 8u : 4u); }

DravikStatus SimAsioEngine::setChannelBuffer(SimHandle& h, const ChannelBuffer& b) {
  auto it = channels_.find(simChannelKeyValue(b.channelKey0, b.channelKey1));
  if (it == channels_.end() || it->second.owner != h.id) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
  if (owner_ != h.id) return DRAVIK_STATUS_INVALID_STATE;
  if (b.four != 4 || b.address == 0) return DRAVIK_STATUS_INVALID_PARAMETER;
  const uint32_t expected = bufferSize_ * (it->second.id.dsd ? 8u : 4u);
  if (b.halfSize != expected) return DRAVIK_STATUS_INVALID_BUFFER_SIZE;
  it->second.bufferSet = true;
  it->second.address = b.address;
  it->second.halfSize = b.halfSize;
  return DRAVIK_STATUS_SUCCESS;
}

// ----- switch control and streaming -----

DravikStatus SimAsioEngine::setSwitchControl(SimHandle& h, const SwitchControl& c) {
  if (owner_ != SIM_NO_HANDLE && owner_ != h.id) return DRAVIK_STATUS_IN_USE;
  if (started_) return DRAVIK_STATUS_INVALID_STATE;
  if (c.switchBlock == 0 || c.switchBlock % 4 != 0 || c.switchEvent == 0) return DRAVIK_STATUS_INVALID_PARAMETER;
  if (c.bufferSize == 0 || c.bufferSize > kMaxSwitchBufferSize) return DRAVIK_STATUS_INVALID_BUFFER_SIZE;
  std::unique_ptr<SimSignal> event;
  if (DravikStatus s = h.peer->adoptEvent(c.switchEvent, event)) return s;
  scratch_.resize(size_t{c.bufferSize} * 8);
  owner_ = h.id;
  block_ = c.switchBlock;
  event_ = std::move(event);
  bufferSize_ = c.bufferSize;
  return DRAVIK_STATUS_SUCCESS;
}

void SimAsioEngine::stopStreaming() {
  if (!started_) return;
  started_ = false;
  ++generation_;
  clockWake_.notify_all();
  if (clock_.joinable()) core_.deferred.clock = std::move(clock_);
}

void SimAsioEngine::clearControl() {
  stopStreaming();
  owner_ = SIM_NO_HANDLE;
  block_ = 0;
  event_.reset();
  bufferSize_ = 0;
}

DravikStatus SimAsioEngine::start(SimHandle& h) {
  if (owner_ != h.id) return DRAVIK_STATUS_INVALID_STATE;
  if (started_) return DRAVIK_STATUS_ALREADY_DONE;
  if (core_.stream.state() != DRAVIK_STREAM_RUNNING) return DRAVIK_STATUS_INVALID_STATE;
  switches_ = 0;
  missed_ = 0;
  lastAck_ = 0;
  lastIndex_ = 0;
  position_ = 0;
  started_ = true;
  ++generation_;
  if (mode_ == SimClockMode::RealTime) {
    if (clock_.joinable()) core_.deferred.clock = std::move(clock_);
    try {
      clock_ = std::thread(&SimAsioEngine::clockMain, this, generation_);
    } catch (const std::system_error&) {
      started_ = false;
      return DRAVIK_STATUS_NO_RESOURCES;
    }
  }
  return DRAVIK_STATUS_SUCCESS;
}

void SimAsioEngine::handleClosed(SimHandle& h) {
  for (auto it = channels_.begin(); it != channels_.end();) {
    if (it->second.owner == h.id)
      it = channels_.erase(it);
    else
      ++it;
  }
  if (owner_ == h.id) clearControl();
}

void SimAsioEngine::deviceRemoved(SimDevice& device) {
  for (auto it = channels_.begin(); it != channels_.end();) {
    if (it->second.device == &device)
      it = channels_.erase(it);
    else
      ++it;
  }
}

void SimAsioEngine::shutdown() {
  clearControl();
  channels_.clear();
}

DravikStatus SimAsioEngine::handle(SimRequest& r) {
  SimHandle& h = r.handle;
  const bool needsAsio = r.code != IOCTL_DRAVIK_ASIO_GET_FORMAT && r.code != IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST &&
                         r.code != IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO && r.code != IOCTL_DRAVIK_ASIO_GET_LATENCIES &&
                         r.code != IOCTL_DRAVIK_GET_INPUT_CHANNELS && r.code != IOCTL_DRAVIK_GET_OUTPUT_CHANNELS &&
                         r.code != IOCTL_DRAVIK_GET_CHANNEL_INFO;
  if (needsAsio && (!h.registered || h.initiatorType != DRAVIK_INITIATOR_ASIO))
    return DRAVIK_STATUS_INITIATOR_NOT_FOUND;

  switch (r.code) {
    case IOCTL_DRAVIK_GET_INPUT_CHANNELS:
    case IOCTL_DRAVIK_GET_OUTPUT_CHANNELS: {
      DravikChannelList list;
      const bool dsd = core_.stream.dsd();
      channelList(r.code == IOCTL_DRAVIK_GET_INPUT_CHANNELS, !dsd, dsd, list);
      r.answer(list);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_CHANNEL_INFO:
    case IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO: {
      const auto key = r.input<DravikChannelKey>();
      SimDevice* device = nullptr;
      SimChannelId id;
      if (DravikStatus s = describe(key.channelKey0, key.channelKey1, device, id)) return s;
      r.answer(simChannelDescriptor(device->ids(), id));
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_ASIO_GET_FORMAT:
      r.answer(core_.stream.asioFormat());
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST: {
      DravikAsioChannelLists lists;
      channelList(true, true, true, lists.first);
      channelList(false, true, true, lists.second);
      r.answer(lists);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_ASIO_GET_LATENCIES:
      r.answer(core_.stream.latencies());
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_ASIO_OPEN_CHANNEL:
      return openChannel(h, r.input<DravikChannelKey>());
    case IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL:
      return closeChannel(h, r.input<DravikChannelKey>());
    case IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL:
      return setSwitchControl(h, r.input<SwitchControl>());
    case IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL:
      if (owner_ == h.id) clearControl();
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER:
      return setChannelBuffer(h, r.input<ChannelBuffer>());
    case IOCTL_DRAVIK_ASIO_START:
      return start(h);
    case IOCTL_DRAVIK_ASIO_STOP:
      if (owner_ != h.id || !started_) return DRAVIK_STATUS_INVALID_STATE;
      stopStreaming();
      return DRAVIK_STATUS_SUCCESS;
    default:
      return DRAVIK_STATUS_INVALID_IOCTL;
  }
}

// ----- switches -----

void SimAsioEngine::fillInput(SimPeer& peer, const OpenChannel& in, uint32_t half) {
  const uint64_t target = in.address + uint64_t{half} * in.halfSize;
  uint8_t* data = scratch_.data();
  bool haveData = false;

  if (source_.kind == SimInputSource::Kind::Loopback) {
    SimChannelId outId = in.id;
    outId.input = false;
    auto it = channels_.find(simChannelKeyValue(in.device->ids().deviceId0, simChannelKey1(outId)));
    if (it != channels_.end() && it->second.owner == in.owner && it->second.bufferSet &&
        it->second.halfSize == in.halfSize) {
      const uint64_t source = it->second.address + uint64_t{half} * it->second.halfSize;
      haveData = peer.readMemory(source, data, in.halfSize);
      if (!haveData) ++peerFaults_;
    }
  } else if (source_.kind == SimInputSource::Kind::Tone && !in.id.dsd) {
    const uint32_t rate = core_.stream.sampleRate();
    const uint32_t frames = in.halfSize / 4;
    for (uint32_t k = 0; k < frames; ++k) {
      const double phase = 2.0 * kPi * source_.toneHz * static_cast<double>(position_ + k) / (rate ? rate : 1);
      const auto sample = static_cast<int32_t>(std::lround(source_.amplitude * 2147483647.0 * std::sin(phase)));
      std::memcpy(data + 4 * k, &sample, 4);
    }
    haveData = true;
  }
  if (!haveData) std::memset(data, in.id.dsd ? kDsdSilence : kPcmSilence, in.halfSize);
  if (!peer.writeMemory(target, data, in.halfSize)) ++peerFaults_;
}

DravikStatus SimAsioEngine::deliver() {
  if (!started_ || !event_ || core_.stream.state() != DRAVIK_STREAM_RUNNING) return DRAVIK_STATUS_INVALID_STATE;
  SimHandle* owner = core_.findHandle(owner_);
  if (!owner) return DRAVIK_STATUS_INVALID_STATE;
  SimPeer& peer = *owner->peer;

  uint32_t ack = 0;
  if (peer.readWord(block_ + 4, ack)) {
    if (switches_ > 0 && ack == lastAck_) {
      ++missed_;
      ++core_.stream.errorCounters().asioErrors;
    }
    lastAck_ = ack;
  } else {
    ++peerFaults_;
  }

  const uint32_t half = static_cast<uint32_t>(switches_ & 1);
  const uint32_t expected = expectedHalfSize();
  const bool dsd = core_.stream.dsd();
  for (auto& [key, c] : channels_) {
    if (c.owner != owner_ || !c.id.input || !c.bufferSet || c.id.dsd != dsd || c.halfSize != expected) continue;
    fillInput(peer, c, half);
  }

  if (!peer.writeWord(block_, half)) ++peerFaults_;
  event_->signal();
  lastIndex_ = half;
  ++switches_;
  position_ += uint64_t{bufferSize_} * (dsd ? 64u : 1u);
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimAsioEngine::stepSwitch() {
  if (mode_ != SimClockMode::Manual) return DRAVIK_STATUS_NOT_ALLOWED;
  return deliver();
}

void SimAsioEngine::clockMain(uint64_t generation) {
  wnSetCurrentThreadPriority(WnThreadPriority::TimeCritical);
  std::unique_lock<std::mutex> lock(core_.mutex);
  bool anchored = false;
  uint64_t anchor = 0;
  uint64_t ticks = 0;
  uint32_t periodSamples = 0;
  uint32_t rate = 0;

  // The deadline of switch n on the current schedule, in nanoseconds.
  auto deadline = [&](uint64_t n) {
    const uint64_t samples = n * periodSamples;
    return anchor + (samples / rate) * 1000000000u + (samples % rate) * 1000000000u / rate;
  };

  while (generation_ == generation && started_) {
    const uint32_t nowRate = core_.stream.sampleRate();
    const uint32_t nowPeriod = bufferSize_ * (core_.stream.dsd() ? 64u : 1u);
    if (core_.stream.state() != DRAVIK_STREAM_RUNNING || nowRate == 0 || nowPeriod == 0) {
      // Nothing to deliver while the stream is not running; look again soon.
      anchored = false;
      clockWake_.wait_for(lock, std::chrono::milliseconds(5));
      continue;
    }
    if (!anchored || nowRate != rate || nowPeriod != periodSamples) {
      anchor = wnMonotonicNanos();
      ticks = 0;
      rate = nowRate;
      periodSamples = nowPeriod;
      anchored = true;
    }
    const uint64_t due = deadline(ticks + 1);
    const uint64_t now = wnMonotonicNanos();
    if (now < due) {
      clockWake_.wait_for(lock, std::chrono::nanoseconds(due - now));
      continue;
    }
    deliver();
    ++ticks;
    if (wnMonotonicNanos() > deadline(ticks + 1)) anchored = false;
  }
}

SimAsioStats SimAsioEngine::stats() const {
  SimAsioStats s;
  s.switchControlSet = owner_ != SIM_NO_HANDLE;
  s.started = started_;
  s.owner = owner_;
  s.bufferSize = bufferSize_;
  s.switches = switches_;
  s.missedSwitches = missed_;
  s.lastHalfIndex = lastIndex_;
  s.openChannels = channels_.size();
  for (const auto& [key, c] : channels_)
    if (c.bufferSet) ++s.channelsWithBuffer;
  s.peerFaults = peerFaults_;
  return s;
}
