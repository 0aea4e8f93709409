// SimStateDump: the simulator's state as stable text, one fact per line,
// "key=value" words after a leading keyword, for scripts and tests to grep:
// driver, stream, rates, buffers, policy, selection and counters; every
// present device (index, identifier pair, serial, name, SPDIF, the last
// device set-up, channel-name and endpoint records summarised as counts and
// names, the streaming interfaces); the handles (with the process of their
// connection); the ASIO engine; the event subscribers; the newest journal
// entries. The last line is "end". docs/TOOLS.md describes the format.
//
// Threading: reads the driver through its scenario (which locks); call from
// any thread.
//
//   std::string text = simDumpState(driver.scenario(), info, 50);
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "simdriver/SimScenario.h"
#include "simdriver/process/SimPipeServer.h"

// What the host adds to the driver's own state.
struct SimHostInfo {
  std::string pipe;
  std::vector<SimPipeConnectionInfo> connections;
  size_t subscribers = 0;
  uint64_t deviceEvents = 0;
  uint64_t badFrames = 0;
};

// journalEntries: the newest entries shown (0: none).
std::string simDumpState(SimScenario& scenario, const SimHostInfo& host, size_t journalEntries);

// The name of a streaming state ("Running"), "?" outside 0..6.
const char* simStreamStateName(uint32_t state);
