// The command line of tovix8ctl:
//   tovix8ctl [--pipe NAME] [--timeout MS] COMMAND [ARGS]
// COMMAND is status, set-rate HZ, set-buffers S A, select-device SERIAL|all,
// policy on|off, counters, watch [SECONDS] or help. --pipe talks to the
// simulated driver on that pipe whatever the opt-in says (for trying things
// out; the programs of the package only follow the opt-in). --timeout is the
// time-out of requests to the service (30000 ms unless given).
//
// Threading: plain values and functions.
//
//   CtlCommandLine cl;
//   std::string error;
//   if (!ctlParseCommandLine(argc, argv, cl, error)) usage(error);
#pragma once

#include <cstdint>
#include <string>

struct CtlCommandLine {
  enum class Command { Help, Status, SetRate, SetBuffers, SelectDevice, Policy, Counters, Watch };
  Command command = Command::Help;
  std::string pipe;               // empty: the default transport (real device or opt-in)
  uint32_t timeoutMs = 30000;
  uint32_t rate = 0;              // set-rate
  uint32_t streamingBuffer = 0;   // set-buffers
  uint32_t asioBuffer = 0;
  bool allDevices = false;        // select-device all
  std::string serial;             // select-device SERIAL
  bool policyOn = false;          // policy on: rate changes forbidden
  uint32_t watchSeconds = 0;      // watch: 0 until interrupted
};

// False with error set for unknown commands, missing or malformed arguments.
bool ctlParseCommandLine(int argc, const char* const* argv, CtlCommandLine& out, std::string& error);
const char* ctlUsage();
