// SimHandle: one open handle of the simulated driver, as the driver keeps
// it: the peer it talks to, its registration as an initiator, the device it
// is bound to, its message and notification queues, the two events handed
// over with SET_MESSAGE_EVENTS and the reply controls the scenario set for
// it.
//
// Lifetime: created by SimDriver::openHandle, owned by the driver's handle
// table, destroyed by closeHandle (which first drops everything the handle
// registered). A handle keeps a plain pointer to its device; devices are
// never destroyed before the driver.
// Threading: guarded by the driver's lock.
#pragma once

#include <memory>

#include "simdriver/SimMessageQueue.h"
#include "simdriver/SimPeer.h"
#include "simdriver/SimTypes.h"

class SimDevice;

class SimHandle {
public:
  SimHandle(SimHandleId id, uint32_t cookie, std::unique_ptr<SimPeer> peer, size_t queueCapacity)
      : id(id), cookie(cookie), peer(std::move(peer)), messages(queueCapacity), notifications(queueCapacity) {}
  SimHandle(const SimHandle&) = delete;
  SimHandle& operator=(const SimHandle&) = delete;

  const SimHandleId id;
  const uint32_t cookie;  // routing1 of the requests this handle posts
  std::unique_ptr<SimPeer> peer;

  bool registered = false;
  uint32_t initiatorType = 0;
  SimDevice* device = nullptr;  // bound by OPEN_DEVICE

  SimMessageQueue messages;
  SimMessageQueue notifications;
  std::unique_ptr<SimSignal> messageEvent;
  std::unique_ptr<SimSignal> notificationEvent;
  uint64_t droppedNotifications = 0;

  bool holdReplies = false;   // replies wait until the scenario releases them
  uint32_t replyDelayMs = 0;  // replies arrive this much later
};
