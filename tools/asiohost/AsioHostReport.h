// AsioHostReport: everything one harness session found out about the
// driver, the verdict over it, and its text form.
//
// The text is one fact per line, "key: value", in a fixed order, so that
// scripts can pick lines by their key (docs/PERFORMANCE.md and the demo
// read "switches delivered", "switches missed", "dispatch latency",
// "requests", "rate before", "rate after" and "result").
//
// Verdict: the session must have streamed without a failure (setup, or a
// restart that did not come back) and delivered
// switches; the half indices, sample positions, time stamps and time info
// must be right, and the loopback must be unbroken on every checked channel
// with one delay. A host slowed down below the buffer period (delay) is
// expected to break the stream; its session passes when the driver counted
// the switches it missed, and the stream checks are reported but not held
// against it.
//
// Threading: plain value.
//
//   asioHostEvaluate(report);
//   std::fputs(asioHostFormatReport(report).c_str(), stdout);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asio/AsioTypes.h"
#include "tools/asiohost/AsioLatencySamples.h"

// A reset, buffer-size-change, resync or latency-change request of the driver.
struct AsioHostRequest {
  AsioLong selector = 0;
  AsioLong value = 0;
  uint64_t atNanos = 0;  // since streaming first started
};

struct AsioHostReport {
  // Setup.
  bool streamed = false;     // createBuffers and start succeeded once
  std::string failure;       // why the session stopped before streaming
  bool noDriver = false;     // the driver could not be created or initialised
  std::string driverName;
  AsioLong driverVersion = 0;
  AsioLong inputs = 0;
  AsioLong outputs = 0;
  std::vector<uint32_t> rates;  // canSampleRate said yes
  AsioLong bufferMin = 0, bufferMax = 0, bufferPreferred = 0, bufferGranularity = 0;
  uint32_t bufferUsed = 0;      // by the first run
  uint32_t bufferUsedLast = 0;  // by the last run (a restart takes the new preferred size)
  AsioLong inputLatency = 0, outputLatency = 0;
  bool timeInfo = true;
  uint32_t delayMicros = 0;
  uint64_t periodNanos = 0;  // of the first run
  double rateBefore = 0;
  double rateAfter = 0;

  // Streaming.
  double secondsStreamed = 0;
  uint32_t runs = 0;  // starts (1 + restarts)
  uint64_t switches = 0;
  uint64_t switchesDue = 0;  // what the runs' lengths and periods call for
  uint64_t alternationErrors = 0;
  uint64_t positionErrors = 0;
  uint64_t timeStampErrors = 0;
  uint64_t timeInfoErrors = 0;
  uint64_t frozenClockRuns = 0;
  bool loopbackChecked = false;
  uint32_t loopbackChannels = 0;  // input/output pairs
  uint32_t loopbackLocked = 0;    // pairs whose delay was found
  uint64_t loopbackDelay = 0;     // frames, first run
  uint32_t loopbackDelayMismatches = 0;
  uint64_t loopbackErrors = 0;
  bool missedKnown = false;
  uint64_t missed = 0;
  uint64_t late = 0;
  AsioLatencySummary dispatch;
  bool dispatchFromSignals = false;
  uint64_t droppedRecords = 0;
  std::vector<AsioHostRequest> requests;
  std::vector<uint64_t> restartsAtNanos;

  // Verdict.
  bool passed = false;
  std::vector<std::string> failedChecks;
};

// Sets passed and failedChecks.
void asioHostEvaluate(AsioHostReport& report);
std::string asioHostFormatReport(const AsioHostReport& report);
// "reset", "buffer-size-change", "resync", "latencies-changed" or the number.
std::string asioHostRequestName(AsioLong selector);
