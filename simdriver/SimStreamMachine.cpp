#include "simdriver/SimStreamMachine.h"

#include <algorithm>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessage.h"
#include "simdriver/SimCore.h"

namespace {

constexpr uint32_t kAsioBaseFrames[] = {64, 128, 256, 512};
constexpr uint32_t kStreamingMicros[] = {1000, 1500, 2000, 4000, 6000, 10000};
constexpr uint32_t kMaxStreamingBufferSize = 5;
constexpr uint32_t kMaxAsioBufferSize = 3;

}  // namespace

SimStreamMachine::SimStreamMachine(const SimDriverConfig& config)
    : rates_(config.sampleRates),
      rate_(config.sampleRate),
      streamingBufferSize_(std::min(config.streamingBufferSize, kMaxStreamingBufferSize)),
      asioBufferSize_(std::min(config.asioBufferSize, kMaxAsioBufferSize)) {
  if (rates_.size() > DRAVIK_MAX_RATES) rates_.resize(DRAVIK_MAX_RATES);
}

void SimStreamMachine::setRates(const std::vector<uint32_t>& rates, uint32_t current) {
  rates_ = rates;
  if (rates_.size() > DRAVIK_MAX_RATES) rates_.resize(DRAVIK_MAX_RATES);
  rate_ = current;
}

bool SimStreamMachine::rateKnown(uint32_t rate) const {
  return std::find(rates_.begin(), rates_.end(), rate) != rates_.end();
}

uint32_t SimStreamMachine::asioSamples() const {
  const uint32_t base = kAsioBaseFrames[asioBufferSize_];
  if (dsd()) return base * 64 * std::max<uint32_t>(1, rate_ / DRAVIK_DSD_RATE_MIN);
  if (rate_ <= 48000) return base;
  if (rate_ <= 96000) return base * 2;
  if (rate_ <= 192000) return base * 4;
  return base * 8;
}

DravikStreamState SimStreamMachine::streamState() const {
  DravikStreamState s{};
  s.streamState = state_;
  s.streamingMode = selection_.allDevices ? 1 : 0;
  s.sampleRate = rate_;
  s.activity0 = asioHandles_ + activity_[0];
  s.useCount0 = useCount_[0];
  s.useCount1 = useCount_[1];
  s.activity1 = activity_[1];
  s.activity2 = activity_[2];
  return s;
}

DravikSampleRateInfo SimStreamMachine::sampleRateInfo() const {
  DravikSampleRateInfo info{};
  info.currentRate = rate_;
  info.count = static_cast<uint32_t>(rates_.size());
  for (size_t i = 0; i < rates_.size(); ++i) info.rates[i] = rates_[i];
  return info;
}

DravikBufferInfo SimStreamMachine::bufferInfo() const {
  DravikBufferInfo b{};
  b.streamingBufferSize = streamingBufferSize_;
  b.asioBufferSize = asioBufferSize_;
  b.bufferSetting3 = bufferSetting3_;
  b.streamingBufferMicros = kStreamingMicros[streamingBufferSize_];
  b.asioBufferSamples = asioSamples();
  b.asioBufferMicros = rate_ ? static_cast<uint32_t>(uint64_t{b.asioBufferSamples} * 1000000u / rate_) : 0;
  return b;
}

StreamFormat SimStreamMachine::asioFormat() const {
  StreamFormat f{};
  f.sampleRate = rate_;
  f.rateCount = static_cast<uint32_t>(rates_.size());
  for (size_t i = 0; i < rates_.size(); ++i) f.rates[i] = rates_[i];
  f.asioBufferSize = dsd() ? asioSamples() / 64 : asioSamples();
  return f;
}

DravikAsioLatencies SimStreamMachine::latencies() const {
  // The streaming buffer plus a few frames of converter delay, in the ASIO
  // format's units.
  const uint64_t frames = uint64_t{kStreamingMicros[streamingBufferSize_]} * rate_ / 1000000u;
  DravikAsioLatencies l{};
  l.inputLatency = static_cast<uint32_t>(frames + (dsd() ? 8 * 64 : 8));
  l.outputLatency = static_cast<uint32_t>(frames + (dsd() ? 16 * 64 : 16));
  if (dsd()) {
    l.inputLatency /= 64;
    l.outputLatency /= 64;
  }
  return l;
}

SimSettings SimStreamMachine::settings() const {
  SimSettings s;
  s.streamState = streamState();
  s.sampleRates = sampleRateInfo();
  s.pendingSampleRate = pendingRate_;
  s.bufferInfo = bufferInfo();
  s.policy = policy_;
  s.selection = selection_;
  s.errorCounters = counters_;
  return s;
}

void SimStreamMachine::activityMoved(SimCore& core, uint32_t before) {
  const uint32_t after = activitySum();
  if (before == 0 && after != 0) core.notify(DRAVIK_NOTIFY_ACTIVITY_STARTED, nullptr, 0);
  if (before != 0 && after == 0) core.notify(DRAVIK_NOTIFY_ACTIVITY_ENDED, nullptr, 0);
}

void SimStreamMachine::setAsioHandles(SimCore& core, uint32_t count) {
  const uint32_t before = activitySum();
  asioHandles_ = count;
  activityMoved(core, before);
}

void SimStreamMachine::setActivity(SimCore& core, uint32_t index, uint32_t value) {
  if (index > 2) return;
  const uint32_t before = activitySum();
  activity_[index] = value;
  activityMoved(core, before);
}

void SimStreamMachine::setUseCounts(SimCore& core, uint32_t useCount0, uint32_t useCount1) {
  const bool before = useCount_[0] || useCount_[1];
  useCount_[0] = useCount0;
  useCount_[1] = useCount1;
  const bool after = useCount_[0] || useCount_[1];
  const uint32_t payload[2] = {useCount0, useCount1};
  if (!before && after) core.notify(DRAVIK_NOTIFY_USE_STARTED, payload, sizeof payload);
  if (before && !after) core.notify(DRAVIK_NOTIFY_USE_ENDED, payload, sizeof payload);
}

void SimStreamMachine::devicesChanged(SimCore& core) {
  if (core.presentDevices().empty()) state_ = DRAVIK_STREAM_DOWN;
}

DravikStatus SimStreamMachine::command(SimCore& core, const DravikStreamCommand& c) {
  if (c.command < DRAVIK_CMD_RESET || c.command > DRAVIK_CMD_TO_READY) return DRAVIK_STATUS_INVALID_COMMAND;
  const bool takesFlag = c.command == DRAVIK_CMD_DOWN_TO_READY || c.command == DRAVIK_CMD_READY_TO_DOWN;
  if (c.argument > (takesFlag ? 1u : 0u)) return DRAVIK_STATUS_INVALID_PARAMETER;
  switch (c.command) {
    case DRAVIK_CMD_RESET:
      if (state_ != DRAVIK_STREAM_ERROR && state_ != DRAVIK_STREAM_NOT_SUPPORTED) return DRAVIK_STATUS_INVALID_STATE;
      state_ = DRAVIK_STREAM_DOWN;
      return DRAVIK_STATUS_SUCCESS;
    case DRAVIK_CMD_DOWN_TO_READY: {
      if (state_ != DRAVIK_STREAM_DOWN) return DRAVIK_STATUS_INVALID_STATE;
      if (core.presentDevices().empty()) return DRAVIK_STATUS_NO_DEVICES;
      for (SimDevice* d : core.streamingDevices())
        if (!d->config().highSpeed) {
          state_ = DRAVIK_STREAM_NOT_SUPPORTED;
          return DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE;
        }
      state_ = DRAVIK_STREAM_READY;
      return DRAVIK_STATUS_SUCCESS;
    }
    case DRAVIK_CMD_READY_TO_DOWN:
      if (state_ != DRAVIK_STREAM_READY) return DRAVIK_STATUS_INVALID_STATE;
      state_ = DRAVIK_STREAM_DOWN;
      return DRAVIK_STATUS_SUCCESS;
    case DRAVIK_CMD_READY_TO_PREPARED:
      if (state_ != DRAVIK_STREAM_READY) return DRAVIK_STATUS_INVALID_STATE;
      state_ = DRAVIK_STREAM_PREPARED;
      return DRAVIK_STATUS_SUCCESS;
    case DRAVIK_CMD_PREPARED_TO_RUNNING:
      if (state_ != DRAVIK_STREAM_PREPARED) return DRAVIK_STATUS_INVALID_STATE;
      state_ = DRAVIK_STREAM_RUNNING;
      return DRAVIK_STATUS_SUCCESS;
    case DRAVIK_CMD_TO_READY:
      if (state_ != DRAVIK_STREAM_PREPARED && state_ != DRAVIK_STREAM_RUNNING) return DRAVIK_STATUS_INVALID_STATE;
      state_ = DRAVIK_STREAM_READY;
      return DRAVIK_STATUS_SUCCESS;
    default:
      return DRAVIK_STATUS_INVALID_COMMAND;
  }
}

DravikStatus SimStreamMachine::handle(SimCore& core, SimRequest& r) {
  switch (r.code) {
    case IOCTL_DRAVIK_GET_STREAM_STATE:
      r.answer(streamState());
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_GET_SAMPLE_RATE_INFO:
      r.answer(sampleRateInfo());
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_GET_BUFFER_INFO:
      r.answer(bufferInfo());
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_GET_ERROR_COUNTERS:
      r.answer(counters_);
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_GET_POLICY:
      r.answer(policy_);
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_STREAM_COMMAND:
      return command(core, r.input<DravikStreamCommand>());
    case IOCTL_DRAVIK_SET_PENDING_SAMPLE_RATE: {
      const auto rate = r.input<uint32_t>();
      if (rate != 0 && !rateKnown(rate)) return DRAVIK_STATUS_INVALID_SAMPLE_RATE;
      pendingRate_ = rate;
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_SAMPLE_RATE: {
      const auto rate = r.input<uint32_t>();
      if (!rateKnown(rate)) return DRAVIK_STATUS_INVALID_SAMPLE_RATE;
      if (rate == rate_) return DRAVIK_STATUS_SUCCESS;
      if (state_ != DRAVIK_STREAM_DOWN) return DRAVIK_STATUS_INVALID_STATE;
      rate_ = rate;
      core.notify(DRAVIK_NOTIFY_SETTINGS_CHANGED, nullptr, 0);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_BUFFER_SIZES: {
      const auto b = r.input<DravikBufferSizes>();
      if (b.streamingBufferSize > kMaxStreamingBufferSize || b.asioBufferSize > kMaxAsioBufferSize)
        return DRAVIK_STATUS_INVALID_BUFFER_SIZE;
      if (b.streamingBufferSize == streamingBufferSize_ && b.asioBufferSize == asioBufferSize_ &&
          b.bufferSetting3 == bufferSetting3_)
        return DRAVIK_STATUS_SUCCESS;
      if (state_ != DRAVIK_STREAM_DOWN) return DRAVIK_STATUS_INVALID_STATE;
      streamingBufferSize_ = b.streamingBufferSize;
      asioBufferSize_ = b.asioBufferSize;
      bufferSetting3_ = b.bufferSetting3;
      core.notify(DRAVIK_NOTIFY_SETTINGS_CHANGED, nullptr, 0);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SELECT_STREAMING_DEVICE: {
      const auto s = r.input<DravikStreamingDeviceSelection>();
      if (s.allDevices > 1) return DRAVIK_STATUS_INVALID_PARAMETER;
      if (s.allDevices == 1) {
        if (s.deviceId0 != 0 || s.deviceId1 != 0) return DRAVIK_STATUS_INVALID_PARAMETER;
      } else {
        bool removed = false;
        SimDevice* d = core.findDevice(s.deviceId0, s.deviceId1, &removed);
        if (!d) return removed ? DRAVIK_STATUS_DEVICE_REMOVED : DRAVIK_STATUS_OBJECT_NOT_FOUND;
      }
      const std::vector<SimDevice*> current = core.streamingDevices();
      const bool same = s.allDevices ? selection_.allDevices == 1
                                     : (selection_.allDevices == 0 && current.size() == 1 &&
                                        current[0]->matches(s.deviceId0, s.deviceId1));
      if (same) return DRAVIK_STATUS_SUCCESS;
      if (state_ != DRAVIK_STREAM_DOWN) return DRAVIK_STATUS_INVALID_STATE;
      selection_ = s;
      core.notify(DRAVIK_NOTIFY_SETTINGS_CHANGED, nullptr, 0);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_POLICY: {
      const auto policy = r.input<uint32_t>();
      if (policy == policy_) return DRAVIK_STATUS_SUCCESS;
      if (state_ != DRAVIK_STREAM_DOWN) return DRAVIK_STATUS_INVALID_STATE;
      policy_ = policy;
      core.notify(DRAVIK_NOTIFY_SETTINGS_CHANGED, nullptr, 0);
      return DRAVIK_STATUS_SUCCESS;
    }
    default:
      return DRAVIK_STATUS_INVALID_IOCTL;
  }
}
