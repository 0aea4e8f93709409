// SimHost: the simulated kernel driver as a process of its own. It owns a
// SimDriver built from the options and serves it on three pipes:
//   <pipe>         the driver channel, one connection per open handle (SimPipeServer)
//   <pipe>-events  device-interface arrival and removal (SimDeviceEventPublisher)
//   <pipe>-ctl     the control interface for scripts and tests (SimControlServer)
// A named mutex per pipe keeps a second simulator off the same name.
//
// Lifetime: start() once; stop() (also the destructor) ends the servers in
// the order control, driver channel, events, so no client is left with a
// half-served request; the driver goes last. Threading: start, waitForStop
// and stop belong to the owner's thread; requestStop() may come from any
// thread (the stop command calls it).
//
//   SimHost host(options);
//   std::string error;
//   if (host.start(error) != 0) fail(error);
//   host.waitForStop();
#pragma once

#include <memory>
#include <string>

#include "platform/WnHandle.h"
#include "platform/WnPipe.h"
#include "simdriver/SimDriver.h"
#include "simdriver/process/SimCommandInterpreter.h"
#include "simdriver/process/SimControlServer.h"
#include "simdriver/process/SimDeviceEventPublisher.h"
#include "simdriver/process/SimHostConfig.h"
#include "simdriver/process/SimPipeServer.h"

class SimHost {
public:
  explicit SimHost(const SimHostOptions& options);
  ~SimHost();
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  // 0, or the failure with a message in error (another simulator on the
  // pipe: WN_ERROR_ALREADY_EXISTS).
  uint32_t start(std::string& error);
  void requestStop();
  // Blocks until requestStop (or the stop command).
  void waitForStop();
  void stop();

  SimDriver& driver() { return *driver_; }
  SimPipeServer& pipeServer() { return *server_; }
  SimCommandInterpreter& commands() { return *interpreter_; }
  const char16_t* pipePath() const { return path_; }

private:
  SimHostOptions options_;
  char16_t path_[WN_PIPE_NAME_CHARS] = {};
  WnMutex instance_;
  WnEvent stopEvent_;
  std::unique_ptr<SimDriver> driver_;
  std::unique_ptr<SimPipeServer> server_;
  std::unique_ptr<SimDeviceEventPublisher> publisher_;
  std::unique_ptr<SimCommandInterpreter> interpreter_;
  std::unique_ptr<SimControlServer> control_;
  bool started_ = false;
};
