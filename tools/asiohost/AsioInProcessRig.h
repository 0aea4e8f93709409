// AsioInProcessRig: the world an ASIO host meets, inside one process: the
// simulated kernel driver (with its switch signals timed,
// AsioSignalRecordingFactory, installed as the process's transport
// factory), the device control service's server (CustomServer) running its
// loop on a thread of its own as in the service, and a control panel
// connection for the changes a user would make (the sample rate). Driver
// objects are created as hosts create them, through the COM server's class
// object with the class identifier as interface identifier; only the
// registry and DLL loading are left out.
//
// Lifetime: start() once; the destructor (or stop()) ends the server's loop
// and uninstalls the factory. Every driver object must be released before
// the rig goes. Threading: start, stop, createDriver on one thread;
// setSampleRate from any one thread at a time; sim() as SimDriver.
//
//   AsioInProcessRig rig;
//   std::string error;
//   if (rig.start(error) != 0) fail(error);
//   IASIO* asio = rig.createDriver(error);
//   AsioHostSession session(*asio, options, &rig.signals());
//   AsioHostReport report = session.run();
//   asio->Release();
#pragma once

#include <string>

#include "asio/IASIO.h"
#include "driverapi/DravikClient.h"
#include "platform/WnHandle.h"
#include "platform/WnThread.h"
#include "service/CustomServer.h"
#include "simdriver/SimDriver.h"
#include "tools/asiohost/AsioSignalRecordingFactory.h"

class AsioInProcessRig {
public:
  explicit AsioInProcessRig(const SimDriverConfig& config = SimDriverConfig());
  ~AsioInProcessRig();
  AsioInProcessRig(const AsioInProcessRig&) = delete;
  AsioInProcessRig& operator=(const AsioInProcessRig&) = delete;

  // Installs the factory, starts the server and waits (up to 30 s) until it
  // announced its device list. 0, or the failure with a message in error.
  DravikStatus start(std::string& error);
  void stop();

  // A new driver object (one reference), or null with error set.
  IASIO* createDriver(std::string& error);
  // Request 1001 through the service, as the control panel sends it.
  DravikStatus setSampleRate(uint32_t rateHz);

  SimDriver& sim() { return sim_; }
  const AsioSignalSource& signals() const { return factory_; }

private:
  uint32_t serverBody();

  SimDriver sim_;
  AsioSignalRecordingFactory factory_;
  CustomServer server_;
  DravikCplClient client_;
  WnEvent stop_;
  WnEvent arrival_;
  WnThreadCallbackForwarderT<AsioInProcessRig> body_;
  WnThread thread_;
  DravikStatus runResult_ = 0;
  bool installed_ = false;
};
