// CtlRunner: carries out one tovix8ctl command as the control panel would:
// a DravikCplClient connects to the driver (initiator 3 without events for
// the reads, 3 with its events for the requests, 2, the main connection,
// for watch, so that notifications arrive), changes go to the service as
// request messages through the client's typed requests, and reads go to the
// driver directly. Output
// formats are in docs/TOOLS.md.
//
// Lifetime: one runner per command. Threading: one thread.
//
//   CtlStdOutput out;
//   CtlRunner runner(out);
//   return runner.run(commandLine);
#pragma once

#include <string>

#include "driverapi/DravikStatus.h"
#include "tools/tovix8ctl/CtlCommandLine.h"

// Exit codes.
constexpr int CTL_EXIT_OK = 0;
constexpr int CTL_EXIT_FAILED = 1;
constexpr int CTL_EXIT_USAGE = 2;
constexpr int CTL_EXIT_NO_DRIVER = 3;

class CtlOutput {
public:
  virtual ~CtlOutput() = default;
  // One piece of normal output / of an error message; flushed at once.
  virtual void out(const std::string& text) = 0;
  virtual void err(const std::string& text) = 0;
};

class CtlRunner {
public:
  explicit CtlRunner(CtlOutput& output) : output_(output) {}
  // The exit code.
  int run(const CtlCommandLine& commandLine);

private:
  int status();
  int counters();
  int watch(uint32_t seconds);
  // "tovix8ctl: <what> failed: <status name> (0x...)" and CTL_EXIT_FAILED.
  int failure(const std::string& what, DravikStatus status);

  CtlOutput& output_;
  const CtlCommandLine* cl_ = nullptr;
  class DravikCplClient* client_ = nullptr;
};

// "DRAVIK_STATUS_X (0xE00000NN)" or "system error N" for codes the driver
// interface does not name.
std::string ctlStatusText(DravikStatus status);
