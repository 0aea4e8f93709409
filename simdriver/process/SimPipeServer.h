// SimPipeServer: serves a SimDriver to other processes over a pipe. Every
// connection is one open handle of the driver: the client's hello names its
// process (checked against what the system reports for the pipe, where it
// can), the handle is opened with a SimRemotePeer for that process, and then
// the connection's own thread answers its requests one after the other with
// SimDriver::ioControl, passing the driver's status back unchanged (frames:
// driverapi/DravikPipeFrame.h).
//
// A frame that fails its check, a client that disconnects and a client
// process that ends all end that connection only: its handle is closed,
// which drops the handle's registration, queued messages, events, ASIO
// channels and lent memory (so a new server may register after the old one
// went).
//
// Lifetime: the driver outlives the server. start() once; stop() (also by
// the destructor) ends the listener and every connection and joins their
// threads. Threading: start/stop from the owner's thread; connections() from
// any thread.
//
//   SimDriver driver;
//   SimPipeServer server(driver);
//   if (uint32_t e = server.start(u"\\\\.\\pipe\\tovix8sim")) return e;
//   ...
//   server.stop();
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/WnPipe.h"
#include "simdriver/SimDriver.h"

// One served connection as the dump lists it.
struct SimPipeConnectionInfo {
  SimHandleId handle = SIM_NO_HANDLE;
  uint32_t processId = 0;
};

class SimPipeServer {
public:
  explicit SimPipeServer(SimDriver& driver) : driver_(driver) {}
  ~SimPipeServer();
  SimPipeServer(const SimPipeServer&) = delete;
  SimPipeServer& operator=(const SimPipeServer&) = delete;

  // Serves the pipe name; 0 or the listener's error.
  uint32_t start(const char16_t* pipeName);
  void stop();

  // The connections whose handle is open now, in the order they came.
  std::vector<SimPipeConnectionInfo> connections();
  // Connections refused or ended because of a malformed frame, so far.
  uint64_t badFrames() const { return badFrames_.load(); }
  // While on, the replies to every handle opened from now on are held (as
  // SimScenario::holdReplies), so that a script can catch a client waiting
  // for its reply.
  void setHoldNewReplies(bool on) { holdNewReplies_.store(on); }
  bool holdNewReplies() const { return holdNewReplies_.load(); }

private:
  struct Session {
    WnPipe pipe;
    std::thread thread;
    std::atomic<bool> done{false};
    SimHandleId handle = SIM_NO_HANDLE;  // set by the session's thread under the server's lock
    uint32_t processId = 0;
  };

  void acceptMain();
  void serve(Session& session);
  // Joins and forgets the sessions whose thread ended.
  void reap();
  void setHandle(Session& session, SimHandleId handle, uint32_t processId);

  SimDriver& driver_;
  WnPipeListener listener_;
  std::thread acceptor_;
  std::mutex mutex_;  // guards sessions_ and the sessions' handle fields
  std::list<std::unique_ptr<Session>> sessions_;
  std::atomic<bool> stopping_{false};
  std::atomic<uint64_t> badFrames_{0};
  std::atomic<bool> holdNewReplies_{false};
};
