// SimControlServer: the simulator's control pipe ("<pipe>-ctl"). Each
// connection carries one command (SimControlFrame.h) that the interpreter
// carries out; the answer goes back and the connection closes. Connections
// are served on threads of their own, so a client that stalls holds up
// nobody. After the answer to "stop" is out, onStop is called.
//
// Lifetime: the interpreter outlives the server; stop() (also the
// destructor) ends the listener and every connection. Threading: start/stop
// from the owner's thread; onStop runs on a connection's thread.
//
//   SimControlServer control(interpreter, [&] { stopEvent.set(); });
//   control.start(u"\\\\.\\pipe\\tovix8sim");
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/WnPipe.h"
#include "simdriver/process/SimCommandInterpreter.h"

class SimControlServer {
public:
  SimControlServer(SimCommandInterpreter& interpreter, std::function<void()> onStop)
      : interpreter_(interpreter), onStop_(std::move(onStop)) {}
  ~SimControlServer();
  SimControlServer(const SimControlServer&) = delete;
  SimControlServer& operator=(const SimControlServer&) = delete;

  // Serves pipePath + "-ctl"; 0 or the listener's error.
  uint32_t start(const char16_t* pipePath);
  void stop();

private:
  struct Connection {
    WnPipe pipe;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void acceptMain();
  void serve(Connection& c);
  void reap();

  SimCommandInterpreter& interpreter_;
  std::function<void()> onStop_;
  WnPipeListener listener_;
  std::thread acceptor_;
  std::mutex mutex_;
  std::list<std::unique_ptr<Connection>> connections_;
  std::atomic<bool> stopping_{false};
};

// The client side: sends one command line to the simulator serving
// pipePath and returns its answer. Transport failures give status
// SIM_CONTROL_FAILED and a text that says what went wrong; *error (when
// given) receives the operating-system code (0 when the simulator answered).
SimControlAnswer simSendControlCommand(const char16_t* pipePath, const std::string& line, uint32_t timeoutMs,
                                       uint32_t* error = nullptr);
