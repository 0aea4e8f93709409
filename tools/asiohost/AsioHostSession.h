// AsioHostSession: one ASIO host's session with a driver object, as an
// audio workstation would run it, with everything checked that such a host
// relies on. run() calls init, reads the driver name, channels, rates and
// buffer sizes (setting the asked-for rate first), creates buffers for every
// channel, starts, streams for the asked time while each buffer switch is
// checked (AsioSwitchChecks), timed (AsioDispatchTimeline) and fed with the
// ramp whose return on the inputs is verified (AsioLoopbackVerifier), then
// stops and disposes of the buffers. A reset or buffer-size-change request
// of the driver is answered as hosts do: from the host's thread, stop,
// dispose, read the buffer sizes again (the preferred size, unless a size
// was asked for), create and start again; each start is a run of its own.
// The driver object is neither created nor released here.
//
// Missed switches are the change of the driver's ASIO error counter over
// the session (AsioErrorCounterReader). Dispatch latencies come from the
// switch signal times of an AsioSignalSource when one is given, else they
// are estimated from the schedule.
//
// Lifetime: one session at a time per process (the host's callbacks are
// plain C functions that find it through a static pointer); the driver and
// the signal source outlive it. Threading: run() on the host's thread (the
// one the driver lives in); requestStop() from any thread. The callbacks run
// on the driver's streaming thread and neither allocate nor lock; the hooks
// are called there (onSwitch) and on the host's thread (onStarted).
//
//   AsioHostSession session(*asio, options, &signals);
//   AsioHostReport report = session.run();
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "asio/IASIO.h"
#include "platform/WnHandle.h"
#include "tools/asiohost/AsioDispatchTimeline.h"
#include "tools/asiohost/AsioErrorCounterReader.h"
#include "tools/asiohost/AsioHostOptions.h"
#include "tools/asiohost/AsioHostReport.h"
#include "tools/asiohost/AsioLoopbackVerifier.h"
#include "tools/asiohost/AsioSignalSource.h"
#include "tools/asiohost/AsioSwitchChecks.h"

class AsioHostSession {
public:
  AsioHostSession(IASIO& driver, const AsioHostOptions& options, const AsioSignalSource* signals = nullptr);
  ~AsioHostSession();
  AsioHostSession(const AsioHostSession&) = delete;
  AsioHostSession& operator=(const AsioHostSession&) = delete;

  AsioHostReport run();
  // Ends the streaming at the next chance (the session still stops and
  // disposes as usual).
  void requestStop();

  // Streaming thread, at the end of every buffer switch, with the number of
  // switches so far.
  std::function<void(uint64_t switches)> onSwitch;
  // Host's thread, after every successful start, with the number of runs.
  std::function<void(uint32_t runs)> onStarted;

private:
  static constexpr size_t kMaxRequests = 64;

  static void WN_CDECL bufferSwitchThunk(AsioLong index, ASIOBool directProcess);
  static ASIOTime* WN_CDECL bufferSwitchTimeInfoThunk(ASIOTime* params, AsioLong index, ASIOBool directProcess);
  static AsioLong WN_CDECL asioMessageThunk(AsioLong selector, AsioLong value, void* message, double* opt);
  static void WN_CDECL sampleRateDidChangeThunk(ASIOSampleRate rate);

  void onBufferSwitch(uint64_t entry, AsioLong index, uint64_t position, uint64_t stamp, const AsioTimeInfo* info);
  AsioLong onMessage(AsioLong selector, AsioLong value);

  bool describe(AsioHostReport& r);
  bool startRun(AsioHostReport& r);
  void endRun();
  void stream(AsioHostReport& r);

  IASIO& driver_;
  AsioHostOptions options_;
  const AsioSignalSource* signals_;
  ASIOCallbacks callbacks_{};
  AsioErrorCounterReader counters_;
  WnEvent wake_;  // auto-reset: a restart wanted, the switch limit reached, a stop requested

  // The buffers of the current run, and for each whether it carries the ramp.
  std::vector<ASIOBufferInfo> infos_;
  std::vector<uint8_t> ramp_;
  uint32_t frames_ = 0;
  uint64_t periodNanos_ = 0;
  uint32_t runs_ = 0;

  // Streaming thread (read by the host's thread after stop).
  AsioSwitchChecks checks_;
  AsioLoopbackVerifier verifier_;
  AsioDispatchTimeline timeline_;
  uint64_t runSwitches_ = 0;
  uint64_t servedSignals_ = 0;
  bool limitSignalled_ = false;
  AsioHostRequest requests_[kMaxRequests];
  std::atomic<size_t> requestCount_{0};

  // Across runs.
  uint64_t loopbackErrors_ = 0;
  uint32_t loopbackDelayMismatches_ = 0;
  bool haveLoopbackDelay_ = false;
  uint64_t loopbackDelay_ = 0;
  uint32_t minLocked_ = UINT32_MAX;
  uint32_t pairs_ = 0;

  uint64_t streamStart_ = 0;
  uint64_t runStart_ = 0;
  double switchesDue_ = 0;
  std::atomic<uint64_t> switches_{0};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> restartWanted_{false};
};
