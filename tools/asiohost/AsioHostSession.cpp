#include "tools/asiohost/AsioHostSession.h"

#include <cstdio>
#include <cstring>

#include "platform/WnTime.h"
#include "platform/WnWait.h"

namespace {

std::atomic<AsioHostSession*> g_current{nullptr};

// The rates a host asks about.
constexpr uint32_t kCandidateRates[] = {8000,   11025,  16000,  22050,  32000,   44100,   48000,   88200,
                                        96000,  176400, 192000, 352800, 384000,  2822400, 5644800, 11289600};

constexpr uint32_t kRunWithLoopback = 8;  // switches a run needs before its loopback must have locked

std::string text(const char* f, long a, long b = 0) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, f, a, b);
  return buffer;
}

}  // namespace

AsioHostSession::AsioHostSession(IASIO& driver, const AsioHostOptions& options, const AsioSignalSource* signals)
    : driver_(driver), options_(options), signals_(signals) {
  callbacks_.bufferSwitch = &AsioHostSession::bufferSwitchThunk;
  callbacks_.sampleRateDidChange = &AsioHostSession::sampleRateDidChangeThunk;
  callbacks_.asioMessage = &AsioHostSession::asioMessageThunk;
  callbacks_.bufferSwitchTimeInfo = &AsioHostSession::bufferSwitchTimeInfoThunk;
  wake_.create(false, false);
}

AsioHostSession::~AsioHostSession() {
  AsioHostSession* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

void AsioHostSession::requestStop() {
  stopRequested_.store(true);
  wake_.set();
}

// ----- the host's callbacks (streaming thread) -----

void WN_CDECL AsioHostSession::bufferSwitchThunk(AsioLong index, ASIOBool) {
  const uint64_t entry = wnMonotonicNanos();
  AsioHostSession* s = g_current.load(std::memory_order_acquire);
  if (!s) return;
  ASIOSamples position{};
  ASIOTimeStamp stamp{};
  s->driver_.getSamplePosition(&position, &stamp);
  s->onBufferSwitch(entry, index, asioJoin(position), asioJoin(stamp), nullptr);
}

ASIOTime* WN_CDECL AsioHostSession::bufferSwitchTimeInfoThunk(ASIOTime* params, AsioLong index, ASIOBool) {
  const uint64_t entry = wnMonotonicNanos();
  AsioHostSession* s = g_current.load(std::memory_order_acquire);
  if (!s || !params) return params;
  s->onBufferSwitch(entry, index, asioJoin(params->timeInfo.samplePosition), asioJoin(params->timeInfo.systemTime),
                    &params->timeInfo);
  return params;
}

AsioLong WN_CDECL AsioHostSession::asioMessageThunk(AsioLong selector, AsioLong value, void*, double*) {
  AsioHostSession* s = g_current.load(std::memory_order_acquire);
  return s ? s->onMessage(selector, value) : 0;
}

void WN_CDECL AsioHostSession::sampleRateDidChangeThunk(ASIOSampleRate) {}

void AsioHostSession::onBufferSwitch(uint64_t entry, AsioLong index, uint64_t position, uint64_t stamp,
                                     const AsioTimeInfo* info) {
  uint64_t signal = 0;
  if (signals_) {
    // The oldest switch signal not answered yet is the one this call answers;
    // signals that came meanwhile are answered by it too (the event is
    // auto-reset).
    const uint64_t n = signals_->signalCount();
    if (n > servedSignals_) {
      signal = signals_->signalTime(servedSignals_);
      servedSignals_ = n;
    }
  }
  timeline_.record(entry, signal);
  checks_.onSwitch(index, position, stamp);
  if (info) checks_.onTimeInfo(*info);

  const int half = index & 1;
  const uint64_t frame = runSwitches_ * frames_;
  for (size_t i = 0; i < infos_.size(); ++i) {
    if (!ramp_[i]) continue;
    auto* buffer = static_cast<uint32_t*>(infos_[i].buffers[half]);
    if (!buffer) continue;
    const uint32_t channel = static_cast<uint32_t>(infos_[i].channelNum);
    if (infos_[i].isInput) {
      if (options_.loopback) verifier_.checkInput(channel, buffer, frame);
    } else {
      verifier_.writeOutput(channel, buffer, frame);
    }
  }
  ++runSwitches_;

  if (options_.delayMicros) {
    const uint64_t until = entry + uint64_t{options_.delayMicros} * 1000u;
    while (wnMonotonicNanos() < until) {
    }
  }
  const uint64_t total = switches_.fetch_add(1, std::memory_order_relaxed) + 1;
  if (onSwitch) onSwitch(total);
  if (options_.switchLimit && total >= options_.switchLimit && !limitSignalled_) {
    limitSignalled_ = true;
    wake_.set();
  }
}

AsioLong AsioHostSession::onMessage(AsioLong selector, AsioLong value) {
  switch (selector) {
    case kAsioSelectorSupported:
      return value == kAsioResetRequest || value == kAsioBufferSizeChange || value == kAsioEngineVersion ||
                     value == kAsioResyncRequest || value == kAsioLatenciesChanged || value == kAsioSupportsTimeInfo
                 ? 1
                 : 0;
    case kAsioEngineVersion:
      return 2;
    case kAsioSupportsTimeInfo:
      return options_.timeInfo ? 1 : 0;
    case kAsioResetRequest:
    case kAsioBufferSizeChange:
    case kAsioResyncRequest:
    case kAsioLatenciesChanged: {
      const size_t slot = requestCount_.fetch_add(1);
      if (slot < kMaxRequests) {
        const uint64_t now = wnMonotonicNanos();
        requests_[slot] = AsioHostRequest{selector, value, streamStart_ && now > streamStart_ ? now - streamStart_ : 0};
      }
      if (selector == kAsioResetRequest || selector == kAsioBufferSizeChange) {
        restartWanted_.store(true);
        wake_.set();
      }
      return 1;
    }
    default:
      return 0;
  }
}

// ----- the host's thread -----

bool AsioHostSession::describe(AsioHostReport& r) {
  char name[64] = {};
  driver_.getDriverName(name);
  name[sizeof name - 1] = 0;
  r.driverName = name;
  r.driverVersion = driver_.getDriverVersion();
  if (driver_.getChannels(&r.inputs, &r.outputs) != ASE_OK) {
    r.failure = "the driver reports no channels";
    return false;
  }
  for (uint32_t rate : kCandidateRates)
    if (driver_.canSampleRate(static_cast<ASIOSampleRate>(rate)) == ASE_OK) r.rates.push_back(rate);

  if (options_.rate) {
    ASIOSampleRate current = 0;
    driver_.getSampleRate(&current);
    if (static_cast<uint32_t>(current) != options_.rate) {
      const ASIOError e = driver_.setSampleRate(static_cast<ASIOSampleRate>(options_.rate));
      if (e != ASE_OK) {
        r.failure = text("setSampleRate(%ld) failed: ASIO error %ld", static_cast<long>(options_.rate), e);
        return false;
      }
    }
  }
  driver_.getSampleRate(&r.rateBefore);
  driver_.getBufferSize(&r.bufferMin, &r.bufferMax, &r.bufferPreferred, &r.bufferGranularity);
  frames_ = options_.bufferFrames ? options_.bufferFrames : static_cast<uint32_t>(r.bufferPreferred);
  if (frames_ == 0) {
    r.failure = "the driver prefers a buffer size of 0";
    return false;
  }

  // Buffers for every channel: inputs, then outputs.
  infos_.clear();
  ramp_.clear();
  for (int input = 1; input >= 0; --input) {
    const AsioLong count = input ? r.inputs : r.outputs;
    for (AsioLong n = 0; n < count; ++n) {
      ASIOBufferInfo info{};
      info.isInput = input ? ASIOTrue : ASIOFalse;
      info.channelNum = n;
      infos_.push_back(info);
      ASIOChannelInfo channel{};
      channel.channel = n;
      channel.isInput = info.isInput;
      const bool pcm32 = driver_.getChannelInfo(&channel) == ASE_OK && channel.type == ASIOSTInt32LSB;
      ramp_.push_back(pcm32 && static_cast<size_t>(n) < AsioLoopbackVerifier::kMaxChannels ? 1 : 0);
    }
  }
  return true;
}

bool AsioHostSession::startRun(AsioHostReport& r) {
  const ASIOError created =
      driver_.createBuffers(infos_.data(), static_cast<AsioLong>(infos_.size()), static_cast<AsioLong>(frames_),
                            &callbacks_);
  if (created != ASE_OK) {
    r.failure = text("createBuffers(%ld frames) failed: ASIO error %ld", static_cast<long>(frames_), created);
    return false;
  }
  if (runs_ == 0) r.bufferUsed = frames_;
  r.bufferUsedLast = frames_;
  driver_.getLatencies(&r.inputLatency, &r.outputLatency);
  ASIOSampleRate rate = 0;
  driver_.getSampleRate(&rate);
  periodNanos_ = rate > 0 ? static_cast<uint64_t>(static_cast<double>(frames_) * 1e9 / rate) : 0;
  if (r.periodNanos == 0) r.periodNanos = periodNanos_;

  // The loopback pairs of this run: an input and an output of the same
  // number that both got buffers.
  uint32_t inputs = 0, outputs = 0;
  for (size_t i = 0; i < infos_.size(); ++i) {
    if (!ramp_[i] || !infos_[i].buffers[0]) continue;
    uint32_t& n = infos_[i].isInput ? inputs : outputs;
    const uint32_t channel = static_cast<uint32_t>(infos_[i].channelNum) + 1;
    if (channel > n) n = channel;
  }
  pairs_ = inputs < outputs ? inputs : outputs;
  verifier_.begin(inputs, outputs, frames_);
  checks_.begin(frames_);
  timeline_.beginRun(periodNanos_);
  runSwitches_ = 0;
  servedSignals_ = signals_ ? signals_->signalCount() : 0;

  if (streamStart_ == 0) streamStart_ = wnMonotonicNanos();
  runStart_ = wnMonotonicNanos();
  const ASIOError started = driver_.start();
  if (started != ASE_OK) {
    r.failure = text("start failed: ASIO error %ld", started);
    driver_.disposeBuffers();
    return false;
  }
  ++runs_;
  r.streamed = true;
  if (onStarted) onStarted(runs_);
  return true;
}

void AsioHostSession::endRun() {
  // What the switch clock owed this run: its two priming calls and one
  // switch per period from the start on.
  if (periodNanos_)
    switchesDue_ += AsioDispatchTimeline::kPrimingCalls +
                    static_cast<double>(wnMonotonicNanos() - runStart_) / static_cast<double>(periodNanos_);
  checks_.end();
  loopbackErrors_ += verifier_.errors();
  loopbackDelayMismatches_ += verifier_.delayMismatches();
  if (runSwitches_ >= kRunWithLoopback) {
    if (verifier_.lockedChannels() < minLocked_) minLocked_ = verifier_.lockedChannels();
    if (!haveLoopbackDelay_ && verifier_.lockedChannels() > 0) {
      haveLoopbackDelay_ = true;
      loopbackDelay_ = verifier_.firstDelay();
    }
  }
}

void AsioHostSession::stream(AsioHostReport& r) {
  const uint64_t deadline = streamStart_ + static_cast<uint64_t>(options_.seconds * 1e9);
  for (;;) {
    if (stopRequested_.load()) break;
    if (options_.switchLimit && switches_.load() >= options_.switchLimit) break;
    const uint64_t now = wnMonotonicNanos();
    if (now >= deadline) break;
    if (restartWanted_.exchange(false)) {
      // As hosts do on a reset request: from this thread, all the way down
      // and up again. Requests that arrive until the thread has ended are
      // answered by this one restart.
      driver_.stop();
      restartWanted_.store(false);
      endRun();
      driver_.disposeBuffers();
      AsioLong minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
      driver_.getBufferSize(&minSize, &maxSize, &preferred, &granularity);
      if (!options_.bufferFrames && preferred > 0) frames_ = static_cast<uint32_t>(preferred);
      r.restartsAtNanos.push_back(wnMonotonicNanos() - streamStart_);
      if (!startRun(r)) return;
      continue;
    }
    const uint64_t left = (deadline - now) / 1000000u + 1;
    wnWaitForSingle(wake_.get(), static_cast<uint32_t>(left < 1000 ? left : 1000));
  }
  driver_.stop();
  endRun();
}

AsioHostReport AsioHostSession::run() {
  AsioHostReport r;
  r.timeInfo = options_.timeInfo;
  r.delayMicros = options_.delayMicros;
  g_current.store(this, std::memory_order_release);

  uint32_t missedBefore = 0;
  const bool countersOpen = counters_.open() == DRAVIK_STATUS_SUCCESS;

  if (driver_.init(nullptr) != ASIOTrue) {
    char message[128] = {};
    driver_.getErrorMessage(message);
    message[sizeof message - 1] = 0;
    r.noDriver = true;
    r.failure = std::string("init failed: ") + (message[0] ? message : "no reason given");
    asioHostEvaluate(r);
    return r;
  }
  if (describe(r)) {
    // Room for the timing of every switch at the current rate with a
    // margin (a restart at a faster rate may run out of it: the report then
    // says how many records were dropped), at most 8 million (192 MB).
    const double rate = r.rateBefore > 0 ? r.rateBefore : 48000.0;
    uint64_t room = static_cast<uint64_t>((options_.seconds + 2.0) * rate * 1.25 / frames_) + 4096;
    if (options_.switchLimit && options_.switchLimit + 4096 < room) room = options_.switchLimit + 4096;
    if (room > 8000000) room = 8000000;
    timeline_.reserve(static_cast<size_t>(room));

    const bool haveBefore = countersOpen && counters_.readAsioErrors(missedBefore) == DRAVIK_STATUS_SUCCESS;
    if (startRun(r)) {
      stream(r);
      r.secondsStreamed = static_cast<double>(wnMonotonicNanos() - streamStart_) / 1e9;
      uint32_t missedAfter = 0;
      if (haveBefore && counters_.readAsioErrors(missedAfter) == DRAVIK_STATUS_SUCCESS) {
        r.missedKnown = true;
        r.missed = missedAfter - missedBefore;
      }
      driver_.getSampleRate(&r.rateAfter);
      driver_.disposeBuffers();
    }
  }

  r.runs = runs_;
  r.switches = checks_.switches();
  r.switchesDue = static_cast<uint64_t>(switchesDue_);
  r.alternationErrors = checks_.alternationErrors();
  r.positionErrors = checks_.positionErrors();
  r.timeStampErrors = checks_.timeStampErrors();
  r.timeInfoErrors = checks_.timeInfoErrors();
  r.frozenClockRuns = checks_.frozenClockRuns();
  // A loopback is judged only over runs long enough for it to arrive.
  r.loopbackChecked = options_.loopback && pairs_ > 0 && minLocked_ != UINT32_MAX;
  r.loopbackChannels = pairs_;
  r.loopbackLocked = minLocked_ == UINT32_MAX ? 0 : minLocked_;
  r.loopbackDelay = loopbackDelay_;
  r.loopbackDelayMismatches = loopbackDelayMismatches_;
  r.loopbackErrors = loopbackErrors_;
  const AsioDispatchTimeline::Result timing = timeline_.analyse();
  r.dispatch = timing.latency.summary();
  r.dispatchFromSignals = timing.fromSignals;
  r.late = timing.late;
  r.droppedRecords = timeline_.dropped();
  const size_t requests = requestCount_.load() < kMaxRequests ? requestCount_.load() : kMaxRequests;
  r.requests.assign(requests_, requests_ + requests);
  asioHostEvaluate(r);
  return r;
}
