// AsioDriver: the ASIO driver object that hosts create through the COM
// server. It implements IASIO over one DravikAsioClient connection to the
// kernel driver (initiator 1): it describes the channels, rates, buffer
// sizes and latencies, switches the sample rate and the stream format (PCM
// or DSD) through requests to the device control service, lends the host's
// channel buffers to the kernel driver, and runs the streaming thread that
// turns the kernel driver's switch signals into the host's bufferSwitch
// calls.
//
// State machine: Loaded -init-> Initialized -createBuffers-> Prepared
// -start-> Running -stop-> Prepared -disposeBuffers-> Initialized; the final
// release destroys the object from any state (switching back to PCM and
// disposing first).
//
// Lifetime: created by the class factory with reference count 0; the last
// release deletes it. It counts as one live object of the module from
// construction to destruction. A channel buffer is never released while the
// kernel driver may still hold it: its channel is closed first; buffers the
// host may still hold (a rate change while prepared) are kept until
// disposeBuffers.
// Threading: the IASIO operations come from the host's threads (apartment
// model: one at a time). The streaming thread exists only while Running; it
// calls the host's bufferSwitch / bufferSwitchTimeInfo and, on the device
// control service's notifications, asioMessage. The object's lock guards
// the sample position and time stamp in the ASIOTime and the stored
// StreamFormat, each only for a copy, never across a host call or a request.
// Requests to the kernel driver from both threads are serialised by the
// client.
//
//   IASIO* asio = ...;                 // CreateInstance with the class id
//   if (asio->init(nullptr) == ASIOTrue &&
//       asio->createBuffers(infos, 2, 256, &callbacks) == ASE_OK)
//     asio->start();
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "asio/AsioChannelSet.h"
#include "asio/AsioRecords.h"
#include "asio/AsioTypes.h"
#include "asio/CUnknown.h"
#include "asio/IASIO.h"
#include "driverapi/DravikAsioRecords.h"
#include "driverapi/DravikClient.h"
#include "platform/WnHandle.h"
#include "platform/WnSync.h"
#include "platform/WnThread.h"

class AsioCustom;

class AsioDriver : public IASIO, public CUnknown {
public:
  enum State : uint32_t { Loaded = 0, Initialized = 1, Prepared = 2, Running = 3 };

  AsioDriver(WnIUnknown* outer, WnHResult* hr);
  ~AsioDriver() override;

  // IUnknown of IASIO: to the owner unknown.
  WnHResult WN_STDCALL QueryInterface(const WnGuid& riid, void** ppv) override;
  uint32_t WN_STDCALL AddRef() override;
  uint32_t WN_STDCALL Release() override;
  // The class identifier as interface identifier gives IASIO.
  WnHResult WN_STDCALL InnerQueryInterface(const WnGuid& riid, void** ppv) override;

  // IASIO.
  ASIOBool init(void* sysHandle) override;
  void getDriverName(char* name) override;
  AsioLong getDriverVersion() override;
  void getErrorMessage(char* string) override;
  ASIOError start() override;
  ASIOError stop() override;
  ASIOError getChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels) override;
  ASIOError getLatencies(AsioLong* inputLatency, AsioLong* outputLatency) override;
  ASIOError getBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize,
                          AsioLong* granularity) override;
  ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
  ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
  ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
  ASIOError getClockSources(ASIOClockSource* clocks, AsioLong* numSources) override;
  ASIOError setClockSource(AsioLong reference) override;
  ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
  ASIOError getChannelInfo(ASIOChannelInfo* info) override;
  ASIOError createBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                          ASIOCallbacks* callbacks) override;
  ASIOError disposeBuffers() override;
  ASIOError controlPanel() override;
  ASIOError future(AsioLong selector, void* opt) override;
  ASIOError outputReady() override;

  // For inspection (tests, tools).
  State state() const { return state_; }
  bool dsdMode() const { return dsdMode_.load(std::memory_order_relaxed); }
  StreamFormat streamFormat();
  DravikAsioClient& client() { return client_; }

private:
  static constexpr size_t kErrorTextChars = 128;

  // A buffer whose channel was closed while the host may still hold it.
  struct RetiredBuffer {
    void* block;
    size_t bytes;
  };

  ChannelSet& currentSet() { return dsdMode() ? dsdSet_ : pcmSet_; }
  ChannelSet& otherSet() { return dsdMode() ? pcmSet_ : dsdSet_; }
  void setNoDeviceError();

  // Polls the streaming state until Running (true) or Error, a failing
  // request or about 2 s (false).
  bool waitForStream();
  // IOCTL_DRAVIK_ASIO_GET_FORMAT into the stored record; a failure keeps it.
  void readStreamFormat();
  DravikStatus refreshChannels();
  void fillSets(const DravikAsioChannelLists& lists, ChannelSet& pcm, ChannelSet& dsd);
  ASIOError switchStreamFormat(uint8_t mode);

  // Sends IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL for every non-dummy active entry.
  void closeActiveChannels(ChannelSet& set);
  // Closes, then releases the active entries' buffers.
  void releaseActiveChannels(ChannelSet& set);
  // Closes the active channels and keeps their buffers until disposeBuffers.
  void retireActiveChannels(ChannelSet& set);
  void releaseRetiredBuffers();
  void releaseSwitchBlock();

  // The streaming thread.
  uint32_t threadMain();
  void runSwitch();
  void handleNotifications();
  AsioLong hostMessage(AsioLong selector, AsioLong value);

  DravikAsioClient client_;
  char16_t errorText_[kErrorTextChars] = {};
  ASIOCallbacks* callbacks_ = nullptr;
  State state_ = Loaded;

  bool timeCodeRequested_ = false;
  bool timeInfoSupported_ = false;
  bool resetRequestSupported_ = false;
  bool bufferSizeChangeSupported_ = false;
  bool timerPeriodRaised_ = false;
  const uint32_t timerPeriodMs_ = 1;

  uint64_t systemTime_ = 0;      // nanoseconds, of the last switch (streaming thread)
  uint64_t samplePosition_ = 0;  // samples (streaming thread)

  WnThreadCallbackForwarderT<AsioDriver> threadBody_;
  WnThread thread_;
  WnEvent threadStarted_;  // manual reset
  WnEvent stopThread_;     // manual reset
  WnRecursiveLock lock_;
  ASIOTime time_{};

  SwitchBlock* switchBlock_ = nullptr;
  WnEvent switchEvent_;  // auto-reset

  ChannelSet pcmSet_;
  ChannelSet dsdSet_;
  RetiredBuffer retired_[2 * 2 * ChannelList::kCapacity] = {};
  size_t retiredCount_ = 0;

  StreamFormat streamFormat_{};  // guarded by lock_
  uint32_t bufferSize_ = 0;      // frames per half; DSD: host's size / 64
  AsioCustom* custom_ = nullptr;
  std::atomic<bool> dsdMode_{false};
};

// The class table's create function: a new AsioDriver as its
// non-delegating unknown, or null when allocation fails.
CUnknown* asioCreateDriverInstance(WnIUnknown* outer, WnHResult* hr);
