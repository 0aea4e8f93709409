#include "simdriver/SimRelay.h"

#include <chrono>
#include <cstring>
#include <system_error>

#include "driverapi/DravikIoctl.h"
#include "platform/WnTime.h"
#include "simdriver/SimCore.h"

namespace {

constexpr uint32_t kInitiatorMax = DRAVIK_INITIATOR_CPL_MIXER;

}  // namespace

DravikStatus SimRelay::handle(SimRequest& r) {
  switch (r.code) {
    case IOCTL_DRAVIK_POST_MESSAGE:
      return post(r.handle, r);
    case IOCTL_DRAVIK_READ_MESSAGE:
      return read(r.handle, false, r);
    case IOCTL_DRAVIK_READ_NOTIFICATION:
      return read(r.handle, true, r);
    case IOCTL_DRAVIK_SET_MESSAGE_EVENTS:
      return setEvents(r.handle, r.input<DravikMessageEvents>());
    case IOCTL_DRAVIK_REGISTER_INITIATOR:
      return registerInitiator(r.handle, r.input<uint32_t>());
    default:
      return DRAVIK_STATUS_INVALID_IOCTL;
  }
}

bool SimRelay::enqueue(SimHandle& h, bool notifications, const DravikMessage& m) {
  SimMessageQueue& q = notifications ? h.notifications : h.messages;
  if (!q.push(m)) return false;
  std::unique_ptr<SimSignal>& event = notifications ? h.notificationEvent : h.messageEvent;
  if (event) event->signal();
  return true;
}

DravikStatus SimRelay::post(SimHandle& from, SimRequest& r) {
  DravikMessage m{};
  std::memcpy(&m, r.in, r.inSize);
  if (m.headerSize != DRAVIK_MSG_HEADER_SIZE) return DRAVIK_STATUS_INVALID_HD_SIZE;
  if (m.type != DRAVIK_MSG_TYPE_REQUEST && m.type != DRAVIK_MSG_TYPE_REPLY && m.type != DRAVIK_MSG_TYPE_NOTIFICATION)
    return DRAVIK_STATUS_INVALID_MSG_TYPE;
  if (!from.registered) return DRAVIK_STATUS_INITIATOR_NOT_FOUND;

  switch (m.type) {
    case DRAVIK_MSG_TYPE_REQUEST: {
      SimHandle* server = core_.findHandle(server_);
      if (!server) return DRAVIK_STATUS_NO_SERVER;
      m.routing0 = from.id;
      m.routing1 = from.cookie;
      return enqueue(*server, false, m) ? DRAVIK_STATUS_SUCCESS : DRAVIK_STATUS_NO_RESOURCES;
    }
    case DRAVIK_MSG_TYPE_REPLY:
      if (from.id != server_) return DRAVIK_STATUS_NOT_ALLOWED;
      return deliverReply(m);
    default:
      if (from.id != server_) return DRAVIK_STATUS_NOT_ALLOWED;
      for (auto& [id, h] : core_.handles) {
        if (!h->registered) continue;
        if (!enqueue(*h, true, m)) ++h->droppedNotifications;
      }
      return DRAVIK_STATUS_SUCCESS;
  }
}

DravikStatus SimRelay::deliverReply(const DravikMessage& m) {
  SimHandle* target = core_.findHandle(m.routing0);
  if (!target || target->cookie != m.routing1) return DRAVIK_STATUS_SUCCESS;  // the sender is gone
  if (target->holdReplies || target->replyDelayMs) {
    const uint64_t due = target->holdReplies ? 0 : wnMonotonicNanos() + uint64_t{target->replyDelayMs} * 1000000u;
    parked_.push_back(Parked{target->id, due, m});
    if (due) startTimerLocked();
    return DRAVIK_STATUS_SUCCESS;
  }
  return enqueue(*target, false, m) ? DRAVIK_STATUS_SUCCESS : DRAVIK_STATUS_NO_RESOURCES;
}

DravikStatus SimRelay::read(SimHandle& h, bool notifications, SimRequest& r) {
  DravikMessage m;
  if (!(notifications ? h.notifications : h.messages).pop(m)) return DRAVIK_STATUS_NO_MORE_ITEMS;
  r.answerBytes(&m, m.wireSize());
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimRelay::setEvents(SimHandle& h, const DravikMessageEvents& events) {
  std::unique_ptr<SimSignal> message, notification;
  if (events.messageEvent)
    if (DravikStatus s = h.peer->adoptEvent(events.messageEvent, message)) return s;
  if (events.notificationEvent)
    if (DravikStatus s = h.peer->adoptEvent(events.notificationEvent, notification)) return s;
  h.messageEvent = std::move(message);
  h.notificationEvent = std::move(notification);
  if (h.messageEvent && !h.messages.empty()) h.messageEvent->signal();
  if (h.notificationEvent && !h.notifications.empty()) h.notificationEvent->signal();
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimRelay::registerInitiator(SimHandle& h, uint32_t type) {
  if (type > kInitiatorMax) return DRAVIK_STATUS_INVALID_PARAMETER;
  if (h.registered) return DRAVIK_STATUS_ALREADY_DONE;
  if (type == DRAVIK_INITIATOR_SERVICE) {
    if (core_.findHandle(server_)) return DRAVIK_STATUS_ALREADY_DONE;
    server_ = h.id;
  }
  h.registered = true;
  h.initiatorType = type;
  if (type == DRAVIK_INITIATOR_ASIO) core_.asioRegistrationsChanged();
  return DRAVIK_STATUS_SUCCESS;
}

void SimRelay::broadcast(uint32_t code, const void* payload, uint32_t length) {
  DravikMessage m{};
  m.headerSize = DRAVIK_MSG_HEADER_SIZE;
  m.type = DRAVIK_MSG_TYPE_NOTIFICATION;
  m.code = code;
  if (length > DRAVIK_MSG_MAX_PAYLOAD) length = DRAVIK_MSG_MAX_PAYLOAD;
  m.payloadLength = length;
  if (payload && length) std::memcpy(m.payload, payload, length);
  for (auto& [id, h] : core_.handles) {
    if (!h->registered) continue;
    if (!enqueue(*h, true, m)) ++h->droppedNotifications;
  }
}

void SimRelay::handleClosed(SimHandle& h) {
  if (server_ == h.id) server_ = SIM_NO_HANDLE;
  for (size_t i = parked_.size(); i-- > 0;)
    if (parked_[i].target == h.id) parked_.erase(parked_.begin() + static_cast<std::ptrdiff_t>(i));
  h.messages.clear();
  h.notifications.clear();
  h.messageEvent.reset();
  h.notificationEvent.reset();
}

void SimRelay::setReplyHold(SimHandle& h, bool hold) { h.holdReplies = hold; }

void SimRelay::setReplyDelay(SimHandle& h, uint32_t ms) { h.replyDelayMs = ms; }

void SimRelay::releaseReplies(SimHandle& h) {
  h.holdReplies = false;
  std::deque<Parked> keep;
  for (Parked& p : parked_) {
    if (p.target == h.id && p.dueNanos == 0)
      enqueue(h, false, p.message);
    else
      keep.push_back(p);
  }
  parked_.swap(keep);
}

size_t SimRelay::parkedFor(SimHandleId id) const {
  size_t n = 0;
  for (const Parked& p : parked_)
    if (p.target == id) ++n;
  return n;
}

void SimRelay::startTimerLocked() {
  if (timer_.joinable() || timerStop_) {
    timerWake_.notify_all();
    return;
  }
  try {
    timer_ = std::thread(&SimRelay::timerMain, this);
  } catch (const std::system_error&) {
    // Without the thread the replies are delivered by the next release.
  }
}

void SimRelay::timerMain() {
  std::unique_lock<std::mutex> lock(core_.mutex);
  while (!timerStop_) {
    uint64_t next = 0;
    const uint64_t now = wnMonotonicNanos();
    std::deque<Parked> keep;
    for (Parked& p : parked_) {
      if (p.dueNanos != 0 && p.dueNanos <= now) {
        if (SimHandle* h = core_.findHandle(p.target)) enqueue(*h, false, p.message);
      } else {
        if (p.dueNanos != 0 && (next == 0 || p.dueNanos < next)) next = p.dueNanos;
        keep.push_back(p);
      }
    }
    parked_.swap(keep);
    if (next == 0)
      timerWake_.wait(lock);
    else
      timerWake_.wait_for(lock, std::chrono::nanoseconds(next - now));
  }
}

void SimRelay::shutdown() {
  timerStop_ = true;
  timerWake_.notify_all();
  if (timer_.joinable()) core_.deferred.relayTimer = std::move(timer_);
}
