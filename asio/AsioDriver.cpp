// AsioDriver: construction and destruction, the COM identity, and the IASIO
// operations that describe the device and change its rate and stream
// format. The streaming operations are in AsioDriverStreaming.cpp.
#include "asio/AsioDriver.h"

#include <cstring>
#include <new>

#include "asio/AsioBufferAllocator.h"
#include "asio/AsioBufferSizes.h"
#include "asio/AsioCustom.h"
#include "asio/AsioModuleServices.h"
#include "asio/AsioProduct.h"
#include "asio/AsioServer.h"
#include "asio/AsioText.h"
#include "driverapi/DravikMessage.h"
#include "platform/WnWait.h"

namespace {

constexpr char16_t kNoDeviceText[] = u"No device is connected to the PC.";
constexpr uint32_t kStreamPollMs = 10;
constexpr int kStreamPolls = 200;
constexpr uint32_t kPcmRateMax = 384000;
constexpr uint32_t kModulePathChars = 260;

// Truncation toward zero; false for rates no 32-bit rate can match.
bool rateToInteger(ASIOSampleRate rate, uint32_t& out) {
  if (!(rate >= 0.0) || !(rate < 4294967296.0)) return false;
  out = static_cast<uint32_t>(rate);
  return true;
}

uint32_t validRateCount(const StreamFormat& f) { return f.rateCount < DRAVIK_MAX_RATES ? f.rateCount : DRAVIK_MAX_RATES; }

bool rateListed(const StreamFormat& f, uint32_t rate) {
  for (uint32_t i = 0; i < validRateCount(f); ++i)
    if (f.rates[i] == rate) return true;
  return false;
}

bool hasDsdRate(const StreamFormat& f) {
  for (uint32_t i = 0; i < validRateCount(f); ++i)
    if (f.rates[i] >= DRAVIK_DSD_RATE_MIN) return true;
  return false;
}

AsioLong clampToLong(uint64_t v) { return v > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<AsioLong>(v); }

ChannelDescriptor dummyOutput(const char16_t* side) {
  ChannelDescriptor d;
  std::memset(&d, 0, sizeof d);
  d.direction = DRAVIK_DIRECTION_OUTPUT;
  d.sampleFormat = DRAVIK_FORMAT_PCM;
  asioCopy(d.name, DRAVIK_CHANNEL_NAME_CHARS, u"Dummy OUT ");
  asioAppend(d.name, DRAVIK_CHANNEL_NAME_CHARS, side);
  return d;
}

}  // namespace

CUnknown* asioCreateDriverInstance(WnIUnknown* outer, WnHResult* hr) {
  AsioDriver* driver = new (std::nothrow) AsioDriver(outer, hr);
  return driver;
}

AsioDriver::AsioDriver(WnIUnknown* outer, WnHResult* hr)
    : CUnknown(kAsioObjectName, outer, hr), threadBody_(this, &AsioDriver::threadMain) {
  custom_ = new (std::nothrow) AsioCustom;
}

AsioDriver::~AsioDriver() {
  if (dsdMode()) switchStreamFormat(0);
  disposeBuffers();
  delete custom_;
  custom_ = nullptr;
  // Nothing is lent any more after disposeBuffers; close anything left all
  // the same before the sets let go of their memory.
  releaseActiveChannels(pcmSet_);
  releaseActiveChannels(dsdSet_);
  releaseRetiredBuffers();
  pcmSet_.clear();
  dsdSet_.clear();
  switchEvent_.close();
  releaseSwitchBlock();
  stopThread_.close();
  threadStarted_.close();
  thread_.close();
  // client_ disconnects in its destructor.
}

// --- IUnknown.

WnHResult WN_STDCALL AsioDriver::QueryInterface(const WnGuid& riid, void** ppv) {
  return ownerQueryInterface(riid, ppv);
}

uint32_t WN_STDCALL AsioDriver::AddRef() { return ownerAddRef(); }

uint32_t WN_STDCALL AsioDriver::Release() { return ownerRelease(); }

WnHResult WN_STDCALL AsioDriver::InnerQueryInterface(const WnGuid& riid, void** ppv) {
  if (riid == kTovix8AsioClsid) {
    IASIO* asio = this;
    return getInterface(asio, ppv);
  }
  return CUnknown::InnerQueryInterface(riid, ppv);
}

// --- Helpers.

void AsioDriver::setNoDeviceError() { asioCopy(errorText_, kErrorTextChars, kNoDeviceText); }

StreamFormat AsioDriver::streamFormat() {
  WnLockGuard guard(lock_);
  return streamFormat_;
}

void AsioDriver::readStreamFormat() {
  StreamFormat f;
  if (client_.getFormat(f) != DRAVIK_STATUS_SUCCESS) return;
  WnLockGuard guard(lock_);
  streamFormat_ = f;
}

bool AsioDriver::waitForStream() {
  for (int polls = 0;; ++polls) {
    DravikStreamState state;
    if (client_.getStreamState(state) != DRAVIK_STATUS_SUCCESS) return false;
    if (state.streamState == DRAVIK_STREAM_RUNNING) return true;
    if (state.streamState == DRAVIK_STREAM_ERROR) return false;
    wnSleep(kStreamPollMs);
    if (polls == kStreamPolls) return false;
  }
}

void AsioDriver::fillSets(const DravikAsioChannelLists& lists, ChannelSet& pcm, ChannelSet& dsd) {
  const DravikChannelList* both[2] = {&lists.first, &lists.second};
  for (const DravikChannelList* list : both) {
    // The count comes from the kernel driver; never read past the slots.
    const uint32_t count = list->count < DRAVIK_MAX_CHANNELS ? list->count : DRAVIK_MAX_CHANNELS;
    for (uint32_t i = 0; i < count; ++i) {
      ChannelDescriptor d;
      if (client_.getChannelInfo(list->keys[i], d) != DRAVIK_STATUS_SUCCESS) continue;
      ChannelEntry* entry = ChannelEntry::create(d, false);
      (d.sampleFormat == DRAVIK_FORMAT_DSD ? dsd : pcm).addEntry(entry);
    }
  }
  if (pcm.outputs.empty()) {
    pcm.addEntry(ChannelEntry::create(dummyOutput(u"L"), true));
    pcm.addEntry(ChannelEntry::create(dummyOutput(u"R"), true));
  }
}

DravikStatus AsioDriver::refreshChannels() {
  DravikAsioChannelLists lists;
  if (DravikStatus s = client_.getChannelList(lists)) {
    setNoDeviceError();
    client_.disconnect();
    return s;
  }
  ChannelSet pcm, dsd;
  fillSets(lists, pcm, dsd);
  if (pcm.sameLayout(pcmSet_) && dsd.sameLayout(dsdSet_)) return DRAVIK_STATUS_SUCCESS;

  // The layout changed: the stored entries go. Their channels are closed
  // first so that the kernel driver lets go of the buffers; the host may
  // still hold them until it disposes, so the memory stays until then.
  retireActiveChannels(pcmSet_);
  retireActiveChannels(dsdSet_);
  pcmSet_.clear();
  dsdSet_.clear();
  fillSets(lists, pcmSet_, dsdSet_);
  return DRAVIK_STATUS_SUCCESS;
}

ASIOError AsioDriver::switchStreamFormat(uint8_t mode) {
  if (client_.setIoFormat(mode, DRAVIK_REQUEST_TIMEOUT_MS) != DRAVIK_STATUS_SUCCESS) return ASE_HWMalfunction;
  dsdMode_.store(mode == 1);
  const StreamFormat f = streamFormat();
  uint32_t rate = 0;
  for (uint32_t i = 0; i < validRateCount(f); ++i) {
    const bool fits = mode == 1 ? f.rates[i] >= DRAVIK_DSD_RATE_MIN : f.rates[i] <= kPcmRateMax;
    if (fits) {
      rate = f.rates[i];
      break;
    }
  }
  return setSampleRate(static_cast<ASIOSampleRate>(rate)) == ASE_OK ? ASE_SUCCESS : ASE_HWMalfunction;
}

void AsioDriver::closeActiveChannels(ChannelSet& set) {
  ChannelList* lists[2] = {&set.activeInputs, &set.activeOutputs};
  for (ChannelList* list : lists)
    for (size_t i = 0; i < list->size(); ++i) {
      ChannelEntry* e = list->at(i);
      if (!e->isDummy()) client_.closeChannel(e->key());
    }
}

void AsioDriver::releaseActiveChannels(ChannelSet& set) {
  closeActiveChannels(set);
  set.releaseActive();
}

void AsioDriver::retireActiveChannels(ChannelSet& set) {
  closeActiveChannels(set);
  ChannelList* lists[2] = {&set.activeInputs, &set.activeOutputs};
  for (ChannelList* list : lists)
    for (size_t i = 0; i < list->size(); ++i) {
      ChannelEntry* e = list->at(i);
      if (!e->hasBuffer()) continue;
      if (retiredCount_ < sizeof retired_ / sizeof retired_[0]) {
        RetiredBuffer& r = retired_[retiredCount_++];
        r.block = e->detachBuffer(r.bytes);
      }
      // (The list cannot overflow: at most both sets' active entries are
      // retired between two disposals; a full list keeps the buffer with
      // its entry, which releases it.)
    }
  set.activeInputs.reset();
  set.activeOutputs.reset();
}

void AsioDriver::releaseRetiredBuffers() {
  for (size_t i = 0; i < retiredCount_; ++i) asioBufferAllocator().release(retired_[i].block, retired_[i].bytes);
  retiredCount_ = 0;
}

// --- IASIO: description and configuration.

ASIOBool AsioDriver::init(void* /*sysHandle*/) {
  if (state_ >= Initialized) return ASIOTrue;
  if (threadStarted_.create(true, false) != 0) return ASIOFalse;
  if (stopThread_.create(true, false) != 0) return ASIOFalse;

  if (!custom_ || client_.openDriver(custom_->deviceName(), true, true) != DRAVIK_STATUS_SUCCESS) {
    setNoDeviceError();
    return ASIOFalse;
  }
  if (client_.registerInitiator(DRAVIK_INITIATOR_ASIO) != DRAVIK_STATUS_SUCCESS) {
    setNoDeviceError();
    client_.disconnect();
    return ASIOFalse;
  }
  if (!waitForStream()) {
    client_.disconnect();
    return ASIOFalse;
  }
  readStreamFormat();
  samplePosition_ = 0;
  releaseActiveChannels(pcmSet_);
  releaseActiveChannels(dsdSet_);
  pcmSet_.clear();
  dsdSet_.clear();
  refreshChannels();  // its outcome does not change the answer
  state_ = Initialized;
  return ASIOTrue;
}

void AsioDriver::getDriverName(char* name) { asioNarrowCopy(custom_ ? custom_->driverName() : u"", name, 31); }

AsioLong AsioDriver::getDriverVersion() { return kAsioDriverVersion; }

void AsioDriver::getErrorMessage(char* string) { asioNarrowCopy(errorText_, string, 123); }

ASIOError AsioDriver::getChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels) {
  if (!numInputChannels || !numOutputChannels) return ASE_InvalidParameter;
  ChannelSet& set = currentSet();
  *numInputChannels = static_cast<AsioLong>(set.inputs.size());
  *numOutputChannels = static_cast<AsioLong>(set.outputs.size());
  return set.hasChannels() ? ASE_OK : ASE_NotPresent;
}

ASIOError AsioDriver::getLatencies(AsioLong* inputLatency, AsioLong* outputLatency) {
  if (!inputLatency || !outputLatency) return ASE_InvalidParameter;
  DravikAsioLatencies latencies;
  if (client_.getLatencies(latencies) == DRAVIK_STATUS_SUCCESS) {
    *inputLatency = clampToLong(uint64_t{bufferSize_} + latencies.inputLatency);
    *outputLatency = clampToLong(uint64_t{bufferSize_} + latencies.outputLatency);
  } else {
    *inputLatency = 0;
    *outputLatency = 0;
  }
  return ASE_OK;
}

ASIOError AsioDriver::getBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize,
                                    AsioLong* granularity) {
  if (!minSize || !maxSize || !preferredSize || !granularity) return ASE_InvalidParameter;
  readStreamFormat();
  const uint64_t v = uint64_t{streamFormat().asioBufferSize} * (dsdMode() ? 64 : 1);
  const uint32_t size = v > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(v);
  const AsioBufferSizeRange range = asioBufferSizeRange(size);
  *minSize = static_cast<AsioLong>(range.minSize);
  *maxSize = static_cast<AsioLong>(range.maxSize);
  *preferredSize = static_cast<AsioLong>(size);
  *granularity = 0;
  return ASE_OK;
}

ASIOError AsioDriver::canSampleRate(ASIOSampleRate sampleRate) {
  uint32_t rate = 0;
  if (!rateToInteger(sampleRate, rate)) return ASE_NoClock;
  return rateListed(streamFormat(), rate) ? ASE_OK : ASE_NoClock;
}

ASIOError AsioDriver::getSampleRate(ASIOSampleRate* sampleRate) {
  if (!sampleRate) return ASE_InvalidParameter;
  *sampleRate = static_cast<ASIOSampleRate>(streamFormat().sampleRate);
  return ASE_OK;
}

ASIOError AsioDriver::setSampleRate(ASIOSampleRate sampleRate) {
  readStreamFormat();
  uint32_t rate = 0;
  if (!rateToInteger(sampleRate, rate)) return ASE_NoClock;
  const StreamFormat before = streamFormat();
  if (!rateListed(before, rate)) return ASE_NoClock;
  if (dravikIsDsdRate(rate) != dsdMode()) return ASE_NoClock;

  if (client_.setSampleRate(rate, DRAVIK_REQUEST_TIMEOUT_MS) != DRAVIK_STATUS_SUCCESS) return ASE_HWMalfunction;

  readStreamFormat();
  refreshChannels();
  if (callbacks_ && before.sampleRate != streamFormat().sampleRate) hostMessage(kAsioResetRequest, 0);
  return ASE_OK;
}

ASIOError AsioDriver::getClockSources(ASIOClockSource* clocks, AsioLong* numSources) {
  if (!currentSet().hasChannels()) return ASE_NotPresent;
  if (!clocks || !numSources || *numSources < 1) return ASE_InvalidParameter;
  ASIOClockSource& c = clocks[0];
  std::memset(&c, 0, sizeof c);
  c.index = 0;
  c.associatedChannel = -1;
  c.associatedGroup = -1;
  c.isCurrentSource = ASIOTrue;
  std::strcpy(c.name, "Computer");
  *numSources = 1;
  return ASE_OK;
}

ASIOError AsioDriver::setClockSource(AsioLong reference) {
  if (!currentSet().hasChannels()) return ASE_NotPresent;
  return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError AsioDriver::getChannelInfo(ASIOChannelInfo* info) {
  if (!info) return ASE_InvalidParameter;
  ChannelSet& set = currentSet();
  const ChannelList& list = info->isInput ? set.inputs : set.outputs;
  if (info->channel < 0 || static_cast<size_t>(info->channel) >= list.size()) return ASE_NotPresent;
  const ChannelEntry* e = list.at(static_cast<size_t>(info->channel));
  info->type = e->isDsd() ? ASIOSTDSDInt8MSB1 : ASIOSTInt32LSB;
  info->channelGroup = 0;
  info->isActive = e->hasBuffer() ? ASIOTrue : ASIOFalse;
  asioNarrowCopy(e->descriptor().name, info->name, 31);
  return ASE_OK;
}

ASIOError AsioDriver::controlPanel() {
  char16_t path[kModulePathChars];
  if (asioModuleServices().modulePath(asioModuleInstance(), path, kModulePathChars, nullptr) == 0 || !path[0] ||
      !custom_)
    return ASE_NotPresent;
  // Drive and directory, with the trailing separator.
  size_t folderEnd = 0;
  for (size_t i = 0; path[i]; ++i)
    if (path[i] == u'\\' || path[i] == u'/' || path[i] == u':') folderEnd = i + 1;
  path[folderEnd] = 0;
  return custom_->openControlPanel(asioModuleInstance(), path);
}

ASIOError AsioDriver::future(AsioLong selector, void* opt) {
  switch (selector) {
    case kAsioEnableTimeCodeRead:
      timeCodeRequested_ = true;
      return ASE_SUCCESS;
    case kAsioDisableTimeCodeRead:
      timeCodeRequested_ = false;
      return ASE_SUCCESS;
    case kAsioCanTimeInfo:
      return ASE_SUCCESS;
    case kAsioSetIoFormat: {
      if (!opt) return ASE_NotPresent;
      const ASIOIoFormatType type = static_cast<ASIOIoFormat*>(opt)->FormatType;
      if (type == kASIOPCMFormat) return switchStreamFormat(0);
      if (type == kASIODSDFormat && hasDsdRate(streamFormat())) return switchStreamFormat(1);
      return ASE_NotPresent;
    }
    case kAsioGetIoFormat:
      if (!opt) return ASE_NotPresent;
      static_cast<ASIOIoFormat*>(opt)->FormatType = dsdMode() ? kASIODSDFormat : kASIOPCMFormat;
      return ASE_SUCCESS;
    case kAsioCanDoIoFormat: {
      if (!opt) return ASE_NotPresent;
      const ASIOIoFormatType type = static_cast<ASIOIoFormat*>(opt)->FormatType;
      if (type == kASIOPCMFormat) return ASE_SUCCESS;
      if (type == kASIODSDFormat && hasDsdRate(streamFormat())) return ASE_SUCCESS;
      return ASE_NotPresent;
    }
    default:
      return ASE_NotPresent;  // kAsioSetInputMonitor .. kAsioCanInputMonitor and everything else
  }
}

ASIOError AsioDriver::outputReady() { return ASE_NotPresent; }
