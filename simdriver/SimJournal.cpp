#include "simdriver/SimJournal.h"

#include <algorithm>

void SimJournal::add(SimHandleId handle, uint32_t code, const void* input, uint32_t inSize, uint32_t outSize,
                     DravikStatus status, uint32_t bytesReturned) {
  SimJournalEntry e;
  e.serial = ++serial_;
  e.handle = handle;
  e.code = code;
  e.inSize = inSize;
  e.outSize = outSize;
  e.status = status;
  e.bytesReturned = bytesReturned;
  if (input && inSize) {
    const auto* p = static_cast<const uint8_t*>(input);
    e.input.assign(p, p + std::min<size_t>(inSize, kInputBytesKept));
  }
  if (entries_.size() >= capacity_) entries_.pop_front();
  entries_.push_back(std::move(e));
}

std::vector<SimJournalEntry> SimJournal::entries(SimHandleId handle) const {
  std::vector<SimJournalEntry> out;
  for (const SimJournalEntry& e : entries_)
    if (handle == SIM_NO_HANDLE || e.handle == handle) out.push_back(e);
  return out;
}

size_t SimJournal::count(uint32_t code, SimHandleId handle) const {
  size_t n = 0;
  for (const SimJournalEntry& e : entries_)
    if (e.code == code && (handle == SIM_NO_HANDLE || e.handle == handle)) ++n;
  return n;
}
