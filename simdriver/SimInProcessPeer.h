// SimInProcessPeer: the peer of a client that lives in the driver's own
// process. Events are duplicated (wnDuplicateHandle) so that they stay valid
// after the client closes its own handle, set with wnSetEvent and closed with
// wnCloseHandle when the driver lets go. Memory is the client's own address
// space: an address is used as a pointer.
//
// Lifetime and threading: as SimPeer. The driver only touches lent memory
// between its hand-over and its withdrawal, which is what keeps a well-behaved
// client safe; an in-process peer cannot tell a bad address from a good one
// (an address that does not fit a pointer, a null address or a misaligned
// word are refused).
//
//   SimHandleId h = driver.openHandle(std::make_unique<SimInProcessPeer>());
#pragma once

#include "simdriver/SimPeer.h"

class SimInProcessPeer : public SimPeer {
public:
  DravikStatus adoptEvent(uint64_t handleValue, std::unique_ptr<SimSignal>& out) override;
  bool readMemory(uint64_t address, void* buffer, size_t size) override;
  bool writeMemory(uint64_t address, const void* data, size_t size) override;
  bool readWord(uint64_t address, uint32_t& value) override;
  bool writeWord(uint64_t address, uint32_t value) override;
};
