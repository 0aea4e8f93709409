// The simulator host's settings: the pipe it serves and the SimDriverConfig
// it starts the driver from, read from a small configuration file of
// "key = value" lines and from the command line (which wins).
//
// File: one setting per line; blank lines and lines starting with # or ;
// are ignored; keys are case-sensitive. Keys:
//   pipe = NAME                  the pipe (\\.\pipe\NAME or NAME)
//   devices = N                  N default devices (serials T8-0001 ...), 0..8
//   device.I.serial = TEXT       device I (1..8; the list grows to I):
//   device.I.name = TEXT           at most 19 / 41 characters
//   device.I.vid = NUMBER          USB vendor / product id (0x... or decimal)
//   device.I.pid = NUMBER
//   device.I.speed = high|full     full: a USB 1.1 port
//   device.I.echo|spdif|mixer|topology2 = yes|no
//   rates = R1, R2, ...          the rate list (1..12 rates)
//   rate = R                     the current rate (one of the list)
//   streaming-buffer = 0..5      asio-buffer = 0..3
//   clock = realtime|manual      input = loopback|tone|silence   tone = HZ
//   driver-version = A.B.C       queue-capacity = N   journal-capacity = N
// A bad line stops the parse with "<source>:<line>: <what is wrong>".
//
// Command line: tovix8sim [--pipe NAME] [--devices N] [--config FILE]
//               tovix8sim ctl [--pipe NAME] COMMAND [ARGS...]
//               tovix8sim --help
//
// Threading: plain values and functions.
//
//   SimHostOptions options;
//   std::string error;
//   if (!simParseHostConfig(text, "sim.conf", options, error)) fail(error);
#pragma once

#include <string>
#include <vector>

#include "simdriver/SimTypes.h"

inline constexpr char16_t SIM_DEFAULT_PIPE[] = u"\\\\.\\pipe\\tovix8sim";

struct SimHostOptions {
  std::u16string pipe = SIM_DEFAULT_PIPE;
  SimDriverConfig driver;
};

// Parses the text of a configuration file into options (which keep what the
// file does not set). False with error set on the first bad line or when the
// result is inconsistent (duplicate serials, a rate not in the list).
bool simParseHostConfig(const std::string& text, const std::string& source, SimHostOptions& options,
                        std::string& error);
// Reads and parses a file; a file that cannot be read is an error too.
bool simLoadHostConfig(const std::string& path, SimHostOptions& options, std::string& error);
// count default devices: the first keep their settings, new ones get the
// default configuration with the serial "T8-%04u" (their position).
void simSetDeviceCount(SimDriverConfig& config, size_t count);
// Checks what the driver cannot take (more than 8 devices, duplicate or
// empty serials, over-long names, a rate outside the list).
bool simCheckDriverConfig(const SimDriverConfig& config, std::string& error);

struct SimCommandLine {
  enum class Mode { Serve, Control, Help };
  Mode mode = Mode::Serve;
  std::u16string pipe;  // empty: from the file or the default
  int devices = -1;     // -1: from the file or the default
  std::string configFile;
  std::vector<std::string> command;  // ctl: the command and its arguments
};

// False with error set for unknown options, missing values or a missing
// ctl command.
bool simParseCommandLine(int argc, const char* const* argv, SimCommandLine& out, std::string& error);
// The usage text.
const char* simUsage();
