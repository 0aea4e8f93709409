// SimRemotePeer: the peer of a client in another process, for the simulated
// driver hosted in a process of its own. The client's events are duplicated
// into this process (WnProcess::duplicateEvent, with only the rights needed
// to set them) and set with wnSetEvent; the memory it lends (switch block,
// channel buffers) is read and written with the process memory operations.
// A bad handle value is refused with the system's error; a bad address, or
// memory the client freed or never had, makes the copy fail (the driver
// counts a peer fault) and never harms this process.
//
// Lifetime: owns the opened client process for as long as its handle lives;
// signals hold their own duplicate and close it when the driver lets go.
// Threading: as SimPeer (called under the driver's lock, one call at a time;
// nothing here blocks for long).
//
//   auto peer = std::make_unique<SimRemotePeer>();
//   if (uint32_t e = peer->open(clientProcessId)) return e;
//   SimHandleId h = driver.openHandle(std::move(peer));
#pragma once

#include "platform/WnProcess.h"
#include "simdriver/SimPeer.h"

class SimRemotePeer : public SimPeer {
public:
  // 0, or the error of opening the client process.
  uint32_t open(uint32_t processId) { return process_.open(processId); }
  uint32_t processId() const { return process_.processId(); }

  DravikStatus adoptEvent(uint64_t handleValue, std::unique_ptr<SimSignal>& out) override;
  bool readMemory(uint64_t address, void* buffer, size_t size) override;
  bool writeMemory(uint64_t address, const void* data, size_t size) override;
  // Aligned words only (the switch block is 4-aligned by contract).
  bool readWord(uint64_t address, uint32_t& value) override;
  bool writeWord(uint64_t address, uint32_t value) override;

private:
  WnProcess process_;
};
