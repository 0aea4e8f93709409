// SimRelay: the message relay of the simulated driver: registration of
// initiators, the two events of each handle, and the routing of requests,
// replies and notifications between the handles' queues.
//
// Routing:
// - A request (type 1) from a registered handle goes to the message queue of
//   the handle registered as the server (initiator 0), with routing0 = the
//   sender's handle id and routing1 = the sender's cookie. No server:
//   DRAVIK_STATUS_NO_SERVER.
// - A reply (type 2) from the server goes to the message queue of the handle
//   its routing fields name; a handle that is gone drops it silently (the
//   server still gets success). A reply to a handle whose replies are held or
//   delayed by the scenario is parked and delivered on release or when due.
// - A notification (type 3) from the server reaches the notification queue
//   of every registered handle, the server's own included.
// - Header fields and payload are passed on unchanged otherwise.
// A post from a handle that never registered answers
// DRAVIK_STATUS_INITIATOR_NOT_FOUND; a reply or notification from any other
// handle than the server DRAVIK_STATUS_NOT_ALLOWED; a header size other than
// 32 DRAVIK_STATUS_INVALID_HD_SIZE; another type DRAVIK_STATUS_INVALID_MSG_TYPE;
// a full target queue DRAVIK_STATUS_NO_RESOURCES (a broadcast skips a full
// queue and counts it on that handle).
//
// Events: a message entering a queue signals that queue's event; handing over
// an event while its queue holds messages signals it at once.
//
// Lifetime: part of the driver; a thread of its own delivers delayed replies
// and ends with shutdown(). Threading: every operation runs under the
// driver's lock; the delivery thread takes that lock itself.
#pragma once

#include <condition_variable>
#include <deque>
#include <thread>

#include "driverapi/DravikMessage.h"
#include "simdriver/SimRequest.h"
#include "simdriver/SimTypes.h"

class SimCore;
class SimHandle;

class SimRelay {
public:
  explicit SimRelay(SimCore& core) : core_(core) {}
  SimRelay(const SimRelay&) = delete;
  SimRelay& operator=(const SimRelay&) = delete;

  // POST_MESSAGE, READ_MESSAGE, READ_NOTIFICATION, SET_MESSAGE_EVENTS,
  // REGISTER_INITIATOR.
  DravikStatus handle(SimRequest& r);
  // A notification raised by the driver itself (or by the scenario in its
  // name), to every registered handle.
  void broadcast(uint32_t code, const void* payload, uint32_t length);
  // Drops the registrations, queue contents and parked replies of a handle
  // that closes.
  void handleClosed(SimHandle& h);

  SimHandleId server() const { return server_; }
  void setReplyHold(SimHandle& h, bool hold);
  void setReplyDelay(SimHandle& h, uint32_t ms);
  // Delivers the held replies of a handle in order and ends the hold.
  void releaseReplies(SimHandle& h);
  size_t parkedFor(SimHandleId id) const;
  // Ends the delivery thread; it is handed to the driver's deferred work to
  // be joined outside the lock.
  void shutdown();

private:
  struct Parked {
    SimHandleId target;
    uint64_t dueNanos;  // 0: held until released
    DravikMessage message;
  };

  DravikStatus post(SimHandle& from, SimRequest& r);
  DravikStatus read(SimHandle& h, bool notifications, SimRequest& r);
  DravikStatus setEvents(SimHandle& h, const DravikMessageEvents& events);
  DravikStatus registerInitiator(SimHandle& h, uint32_t type);
  bool enqueue(SimHandle& h, bool notifications, const DravikMessage& m);
  DravikStatus deliverReply(const DravikMessage& m);
  void startTimerLocked();
  void timerMain();

  SimCore& core_;
  SimHandleId server_ = SIM_NO_HANDLE;
  std::deque<Parked> parked_;
  std::thread timer_;
  bool timerStop_ = false;
  std::condition_variable timerWake_;
};
