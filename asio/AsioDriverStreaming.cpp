// AsioDriver: the streaming engine. The buffers lent to the kernel driver,
// the switch block and event, start and stop, the streaming thread with the
// buffer switches and the handling of the device control service's
// notifications, and the sample position.
#include <atomic>
#include <cstring>

#include "asio/AsioBufferAllocator.h"
#include "asio/AsioDriver.h"
#include "driverapi/DravikMessage.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"

namespace {

constexpr uint8_t kPcmSilence = 0x00;
constexpr uint8_t kDsdSilence = 0x96;
// Bytes of one channel block (both halves) per frame of the stored size:
// two halves of 32-bit PCM samples; for DSD the stored size counts units of
// 64 samples, each half holding 64 bits per unit.
constexpr uint64_t kPcmBytesPerFrame = 8;
constexpr uint64_t kDsdBytesPerUnit = 16;
// Largest block the driver lends (its half size travels as 32 bits).
constexpr uint64_t kMaxBlockBytes = 0x7FFFFFFF;

constexpr AsioULong kTimeInfoFlags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid | kSpeedValid;

// The switch block is shared with the kernel driver: its words are read and
// written as atomics.
uint32_t loadWord(uint32_t& word) { return std::atomic_ref<uint32_t>(word).load(std::memory_order_acquire); }
void storeWord(uint32_t& word, uint32_t value) {
  std::atomic_ref<uint32_t>(word).store(value, std::memory_order_release);
}

}  // namespace

void AsioDriver::releaseSwitchBlock() {
  if (!switchBlock_) return;
  asioBufferAllocator().release(switchBlock_, sizeof(SwitchBlock));
  switchBlock_ = nullptr;
}

AsioLong AsioDriver::hostMessage(AsioLong selector, AsioLong value) {
  if (!callbacks_ || !callbacks_->asioMessage) return 0;
  return callbacks_->asioMessage(selector, value, nullptr, nullptr);
}

ASIOError AsioDriver::createBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                                    ASIOCallbacks* callbacks) {
  if (state_ != Initialized) return ASE_NotPresent;
  if (dsdMode()) bufferSize /= 64;
  if (!bufferInfos) return ASE_InvalidParameter;
  if (!callbacks || bufferSize <= 0) return ASE_InvalidParameter;

  bufferSize_ = static_cast<uint32_t>(bufferSize);
  callbacks_ = callbacks;
  ChannelSet& set = currentSet();
  // Whatever is still lent from before is closed before its memory goes.
  releaseActiveChannels(set);
  releaseRetiredBuffers();

  releaseSwitchBlock();
  switchBlock_ = static_cast<SwitchBlock*>(asioBufferAllocator().allocate(sizeof(SwitchBlock)));
  if (!switchBlock_) return ASE_NoMemory;
  std::memset(switchBlock_, 0, sizeof(SwitchBlock));
  if (switchEvent_.create(false, false) != 0) return ASE_NoMemory;
  if (client_.setSwitchControl(switchBlock_, switchEvent_.get(), bufferSize_) != DRAVIK_STATUS_SUCCESS)
    return ASE_NoMemory;

  for (AsioLong i = 0; i < numChannels; ++i) {
    ASIOBufferInfo& info = bufferInfos[i];
    info.buffers[0] = nullptr;
    info.buffers[1] = nullptr;
    const ChannelList& list = info.isInput ? set.inputs : set.outputs;
    ChannelEntry* e = info.channelNum >= 0 ? list.at(static_cast<size_t>(info.channelNum)) : nullptr;
    if (!e) {
      disposeBuffers();
      return ASE_InvalidParameter;
    }
    ChannelList& active = e->isInput() ? set.activeInputs : set.activeOutputs;
    if (active.contains(e)) {
      // The host named this channel twice: it gets the buffer it already
      // has. Replacing it would free memory that the kernel driver and the
      // host's first entry still use.
      if (e->isHandedOut()) {
        info.buffers[0] = e->half(0);
        info.buffers[1] = e->half(1);
      }
      continue;
    }
    const uint64_t bytes = uint64_t(bufferSize_) * (e->isDsd() ? kDsdBytesPerUnit : kPcmBytesPerFrame);
    if (bytes > kMaxBlockBytes || !e->allocateBuffer(static_cast<size_t>(bytes)) || !active.add(e)) {
      e->releaseBuffer();
      disposeBuffers();
      return ASE_NoMemory;
    }
    if (e->isDummy() ||
        (client_.openChannel(e->key()) == DRAVIK_STATUS_SUCCESS &&
         client_.setChannelBuffer(e->key(), e->buffer(), static_cast<uint32_t>(e->bufferBytes() / 2)) ==
             DRAVIK_STATUS_SUCCESS)) {
      e->setHandedOut();
      info.buffers[0] = e->half(0);
      info.buffers[1] = e->half(1);
    }
  }

  state_ = Prepared;

  timeInfoSupported_ = hostMessage(kAsioSupportsTimeInfo, 0) > 0;
  if (timeInfoSupported_) {
    WnLockGuard guard(lock_);
    std::memset(&time_, 0, sizeof time_);
    time_.timeInfo.speed = 1.0;
    time_.timeInfo.sampleRate = static_cast<ASIOSampleRate>(streamFormat_.sampleRate);
    time_.timeInfo.flags = kTimeInfoFlags;
  }
  if (hostMessage(kAsioSelectorSupported, kAsioEngineVersion) != 0) hostMessage(kAsioEngineVersion, 0);
  resetRequestSupported_ = hostMessage(kAsioSelectorSupported, kAsioResetRequest) > 0;
  bufferSizeChangeSupported_ = hostMessage(kAsioSelectorSupported, kAsioBufferSizeChange) > 0;
  hostMessage(kAsioSelectorSupported, kAsioResyncRequest);
  hostMessage(kAsioSelectorSupported, kAsioLatenciesChanged);
  return ASE_OK;
}

ASIOError AsioDriver::disposeBuffers() {
  stop();
  callbacks_ = nullptr;
  // The current format's channels, and any the other format still has from
  // a format switch while prepared: closed, then released.
  releaseActiveChannels(currentSet());
  releaseActiveChannels(otherSet());
  releaseRetiredBuffers();
  client_.clearSwitchControl();
  switchEvent_.close();
  releaseSwitchBlock();
  if (state_ == Prepared || state_ == Running) state_ = Initialized;
  return ASE_OK;
}

ASIOError AsioDriver::start() {
  if (state_ == Running) return ASE_OK;
  if (state_ != Prepared || !callbacks_) return ASE_NotPresent;
  if (!waitForStream()) return ASE_NotPresent;
  if (client_.drainNotifications() != DRAVIK_STATUS_SUCCESS) return ASE_NotPresent;

  timerPeriodRaised_ = wnTimeBeginPeriod(timerPeriodMs_) == 0;
  stopThread_.reset();
  threadStarted_.reset();
  state_ = Running;
  if (thread_.start(&threadBody_) != 0) return ASE_NotPresent;
  wnWaitForSingle(threadStarted_.get(), WN_INFINITE);
  return ASE_OK;
}

ASIOError AsioDriver::stop() {
  stopThread_.set();
  thread_.wait(WN_INFINITE);
  if (state_ == Running) state_ = Prepared;
  if (timerPeriodRaised_) {
    wnTimeEndPeriod(timerPeriodMs_);
    timerPeriodRaised_ = false;
  }
  return ASE_OK;
}

ASIOError AsioDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
  if (!sPos || !tStamp) return ASE_InvalidParameter;
  WnLockGuard guard(lock_);
  *sPos = time_.timeInfo.samplePosition;
  *tStamp = time_.timeInfo.systemTime;
  return ASE_OK;
}

// --- The streaming thread.

uint32_t AsioDriver::threadMain() {
  wnSetCurrentThreadPriority(WnThreadPriority::TimeCritical);
  samplePosition_ = 0;
  systemTime_ = 0;

  ChannelSet& set = currentSet();
  const ChannelList* lists[2] = {&set.activeInputs, &set.activeOutputs};
  for (const ChannelList* list : lists)
    for (size_t i = 0; i < list->size(); ++i) {
      ChannelEntry* e = list->at(i);
      e->fill(e->isDsd() ? kDsdSilence : kPcmSilence);
    }

  threadStarted_.set();

  // Both halves go to the host once before the kernel driver's first signal.
  storeWord(switchBlock_->halfIndex, 0);
  runSwitch();
  storeWord(switchBlock_->halfIndex, 1);
  runSwitch();

  if (client_.start() != DRAVIK_STATUS_SUCCESS) return 0;

  const WnRawHandle handles[3] = {switchEvent_.get(), client_.notificationEventHandle(), stopThread_.get()};
  for (;;) {
    const uint32_t wait = wnWaitForMultiple(3, handles, WN_INFINITE, false);
    if (wait == WN_WAIT_OBJECT_0) {
      runSwitch();
      std::atomic_ref<uint32_t>(switchBlock_->acknowledge).fetch_add(1, std::memory_order_acq_rel);
    } else if (wait == WN_WAIT_OBJECT_0 + 1) {
      handleNotifications();
    } else {
      break;
    }
  }
  client_.stop();
  return 0;
}

void AsioDriver::runSwitch() {
  systemTime_ = uint64_t{wnTimeGetTime()} * 1000000u;
  const AsioLong index = static_cast<AsioLong>(loadWord(switchBlock_->halfIndex) & 1u);
  {
    WnLockGuard guard(lock_);
    asioSplit(samplePosition_, time_.timeInfo.samplePosition);
    asioSplit(systemTime_, time_.timeInfo.systemTime);
  }
  if (timeInfoSupported_) {
    if (callbacks_->bufferSwitchTimeInfo) callbacks_->bufferSwitchTimeInfo(&time_, index, ASIOTrue);
  } else if (callbacks_->bufferSwitch) {
    callbacks_->bufferSwitch(index, ASIOTrue);
  }
  samplePosition_ += uint64_t{bufferSize_} * (dsdMode() ? 64u : 1u);
}

void AsioDriver::handleNotifications() {
  DravikMessage message;
  while (client_.nextNotification(message) == DRAVIK_STATUS_SUCCESS) {
    if (message.code == DRAVIK_NOTIFY_STREAM_RESTARTED) {
      readStreamFormat();
      if (resetRequestSupported_) hostMessage(kAsioResetRequest, 0);
    } else if (message.code == DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED) {
      readStreamFormat();
      if (bufferSizeChangeSupported_)
        hostMessage(kAsioBufferSizeChange, 0);
      else if (resetRequestSupported_)
        hostMessage(kAsioResetRequest, 0);
    }
  }
}
