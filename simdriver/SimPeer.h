// SimPeer: what the simulated driver needs from the program behind one open
// handle. Events and memory of that program are named by 64-bit values (the
// handle value and the address it sent in a request); the peer turns them
// into something the driver can signal, read and write.
//
// In this process (SimInProcessPeer) an event is duplicated with
// wnDuplicateHandle and memory is reached directly. A driver hosted in its
// own process would duplicate the client's handle into itself and use the
// client's process memory instead; the driver does not notice the difference.
//
// Lifetime: a peer belongs to its handle and is destroyed when the handle
// closes. A SimSignal may outlive the request that created it but not the
// peer that made it.
// Threading: the driver calls a peer and its signals under its own lock,
// one call at a time. Implementations must not block for long and must
// never call back into the driver.
//
//   std::unique_ptr<SimSignal> event;
//   if (DravikStatus s = peer.adoptEvent(handleValue, event)) return s;
//   event->signal();
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "driverapi/DravikStatus.h"

// One event of a client, held by the driver until it is withdrawn.
class SimSignal {
public:
  virtual ~SimSignal() = default;
  // Sets the event; a failure is the client's problem and is ignored.
  virtual void signal() = 0;
};

class SimPeer {
public:
  virtual ~SimPeer() = default;
  // Takes hold of the client's event with this handle value. Returns 0 and
  // the signal, or the operating-system error code (6 for a bad handle).
  virtual DravikStatus adoptEvent(uint64_t handleValue, std::unique_ptr<SimSignal>& out) = 0;
  // Copies size bytes from or to the client's memory at address. False when
  // the memory cannot be reached (nothing was copied then).
  virtual bool readMemory(uint64_t address, void* buffer, size_t size) = 0;
  virtual bool writeMemory(uint64_t address, const void* data, size_t size) = 0;
  // One aligned 32-bit word, read or written atomically: the words of the
  // switch block that the client changes with interlocked operations.
  virtual bool readWord(uint64_t address, uint32_t& value) = 0;
  virtual bool writeWord(uint64_t address, uint32_t value) = 0;
};
