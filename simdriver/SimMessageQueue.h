// SimMessageQueue: one bounded FIFO of relayed messages (a handle's message
// queue or its notification queue). Messages are kept as whole records and
// handed out with exactly the bytes that were posted.
//
// Lifetime: owned by its SimHandle. Threading: none of its own; the driver's
// lock guards it.
//
//   if (!queue.push(message)) return DRAVIK_STATUS_NO_RESOURCES;
//   DravikMessage m;
//   if (queue.pop(m)) ...
#pragma once

#include <cstddef>
#include <deque>

#include "driverapi/DravikMessage.h"

class SimMessageQueue {
public:
  explicit SimMessageQueue(size_t capacity) : capacity_(capacity) {}

  // False (and nothing queued) when the queue is full.
  bool push(const DravikMessage& message) {
    if (items_.size() >= capacity_) return false;
    items_.push_back(message);
    return true;
  }
  bool pop(DravikMessage& out) {
    if (items_.empty()) return false;
    out = items_.front();
    items_.pop_front();
    return true;
  }
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  void clear() { items_.clear(); }

private:
  size_t capacity_;
  std::deque<DravikMessage> items_;
};
