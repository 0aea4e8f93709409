#include "driverapi/DravikMessage.h"

#include <cstring>

void DravikMessage::init(uint32_t newType, uint32_t newCode) {
  std::memset(this, 0, sizeof *this);
  headerSize = DRAVIK_MSG_HEADER_SIZE;
  type = newType;
  code = newCode;
}

DravikStatus DravikMessage::setPayload(const void* data, uint32_t length) {
  if (length > DRAVIK_MSG_MAX_PAYLOAD) return DRAVIK_STATUS_INVALID_LENGTH;
  if (length > 0) std::memmove(payload, data, length);
  payloadLength = length;
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus DravikMessage::getPayload(void* buffer, uint32_t& inOutSize) const {
  // A record that claims more than its payload area is as unreadable as one
  // that does not fit the caller's buffer.
  if (inOutSize < payloadLength || payloadLength > DRAVIK_MSG_MAX_PAYLOAD) return DRAVIK_STATUS_INVALID_LENGTH;
  if (payloadLength > 0) std::memcpy(buffer, payload, payloadLength);
  inOutSize = payloadLength;
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus DravikMessage::readExact(void* buffer, uint32_t size) const {
  // The caller's buffer is written only when the length is exactly right.
  if (payloadLength > size || payloadLength > DRAVIK_MSG_MAX_PAYLOAD) return DRAVIK_STATUS_INVALID_LENGTH;
  if (payloadLength < size) return DRAVIK_STATUS_INVALID_MSG_SIZE;
  if (size > 0) std::memcpy(buffer, payload, size);
  return DRAVIK_STATUS_SUCCESS;
}

void DravikMessage::initReply(const DravikMessage& request, DravikStatus replyStatus) {
  // The request may be this very record.
  const uint32_t seq = request.sequence;
  const uint32_t r0 = request.routing0;
  const uint32_t r1 = request.routing1;
  init(DRAVIK_MSG_TYPE_REPLY, DRAVIK_MSG_REPLY);
  sequence = seq;
  routing0 = r0;
  routing1 = r1;
  status = replyStatus;
}
