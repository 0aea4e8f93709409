// AsioHostOptions: what the host harness is asked to do, and its command
// line:
//   asiohost [--buffer FRAMES] [--rate HZ] [--seconds S] [--switches N]
//            [--timeinfo on|off] [--delay-us N] [--loopback on|off]
//            [--report FILE] [--inprocess]
// --buffer: frames per buffer half (default: the driver's preferred size);
// --rate: a sample rate set before the buffers are created (default: keep
// the current one); --seconds: how long to stream (default 10); --switches:
// stop earlier once this many buffer switches were delivered (0: no limit);
// --timeinfo: whether the host asks for bufferSwitchTimeInfo (default on);
// --delay-us: a busy delay inside every buffer switch, to play a slow host;
// --loopback off: the inputs do not carry the outputs back (no loopback
// check); --report: the report is also written to FILE; --inprocess: the
// simulated driver and the device control service run inside the harness
// instead of the driver being created through COM.
//
// Threading: plain values and functions.
//
//   AsioHostOptions options;
//   std::string error;
//   if (!asioHostParseCommandLine(argc, argv, options, error)) usage(error);
#pragma once

#include <cstdint>
#include <string>

struct AsioHostOptions {
  uint32_t bufferFrames = 0;  // 0: the driver's preferred size
  uint32_t rate = 0;          // 0: the current rate
  double seconds = 10.0;
  uint64_t switchLimit = 0;   // 0: none
  bool timeInfo = true;
  uint32_t delayMicros = 0;
  bool loopback = true;
  std::string reportFile;
  bool inProcess = false;
  bool help = false;
};

// False with error set for unknown options and missing or malformed values.
bool asioHostParseCommandLine(int argc, const char* const* argv, AsioHostOptions& out, std::string& error);
const char* asioHostUsage();
