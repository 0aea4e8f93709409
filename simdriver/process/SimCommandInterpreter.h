// SimCommandInterpreter: the commands of the simulator's control interface
// (tovix8sim ctl, the "<pipe>-ctl" pipe), parsed from words and carried out
// on the driver's scenario. Device arrival and removal go through the event
// publisher, so other processes see them as device-interface events. The
// commands and their answers are listed by "help" and in docs/TOOLS.md.
//
// A DEVICE argument is a position in the device list (1, 2, ...) or a
// serial; a HANDLE argument a handle number or initiator=TYPE (the first
// live handle registered with that type); a CODE a request name
// (GET_STREAM_STATE, with or without IOCTL_DRAVIK_) or number; a STATUS a
// DRAVIK_STATUS_* name or a number.
//
// Lifetime: borrows the driver and the hooks, which outlive it. Threading:
// run() may be called from several threads (the driver serialises).
//
//   SimCommandInterpreter commands(driver, hooks);
//   SimControlAnswer a = commands.run({"unplug", "T8-0001"});
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simdriver/SimDriver.h"
#include "simdriver/process/SimControlFrame.h"

class SimPipeServer;
class SimDeviceEventPublisher;

struct SimControlAnswer {
  uint32_t status = SIM_CONTROL_OK;  // SIM_CONTROL_OK, _FAILED, _BAD_USAGE
  std::string text;                  // ends with a newline unless empty
  bool stop = false;                 // the stop command: end once the answer is out
};

class SimCommandInterpreter {
public:
  struct Hooks {
    std::string pipe;                              // shown by dump
    SimPipeServer* server = nullptr;               // connections for dump (optional)
    SimDeviceEventPublisher* publisher = nullptr;  // device events (optional)
    bool stoppable = false;                        // whether the stop command is offered
  };

  SimCommandInterpreter(SimDriver& driver, Hooks hooks) : driver_(driver), hooks_(std::move(hooks)) {}

  SimControlAnswer run(const std::vector<std::string>& words);
  // Splits the line first (quoted words keep their blanks).
  SimControlAnswer runLine(const std::string& line);

private:
  SimDriver& driver_;
  Hooks hooks_;
};

// A status from its DRAVIK_STATUS_* name or a number; false when neither.
bool simParseStatus(const std::string& text, DravikStatus& status);
