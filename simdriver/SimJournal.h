// SimJournal: the record of every request the simulated driver answered, in
// arrival order, with the handle that sent it, its sizes, its status and its
// input bytes. Bounded: when full, the oldest entries are dropped.
//
// Lifetime: owned by the driver; entries of closed handles stay readable.
// Threading: none of its own; the driver's lock guards it.
//
//   for (const SimJournalEntry& e : journal.entries(handle))
//     if (e.code == IOCTL_DRAVIK_STREAM_COMMAND) ...
#pragma once

#include <deque>
#include <vector>

#include "simdriver/SimTypes.h"

class SimJournal {
public:
  explicit SimJournal(size_t capacity) : capacity_(capacity ? capacity : 1) {}

  static constexpr size_t kInputBytesKept = 16384;

  void add(SimHandleId handle, uint32_t code, const void* input, uint32_t inSize, uint32_t outSize,
           DravikStatus status, uint32_t bytesReturned);
  // All entries (handle SIM_NO_HANDLE) or those of one handle, oldest first.
  std::vector<SimJournalEntry> entries(SimHandleId handle = SIM_NO_HANDLE) const;
  // How many kept entries carry this code (and handle, unless SIM_NO_HANDLE).
  size_t count(uint32_t code, SimHandleId handle = SIM_NO_HANDLE) const;
  void clear() { entries_.clear(); }
  uint64_t lastSerial() const { return serial_; }

private:
  size_t capacity_;
  uint64_t serial_ = 0;
  std::deque<SimJournalEntry> entries_;
};
