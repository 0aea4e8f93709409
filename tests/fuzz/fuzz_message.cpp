// Fuzz target: the readers of the message record on arbitrary records. A
// record is whatever the driver hands over (any header, any payload length);
// the readers must stay inside the record and the caller's buffer, write
// the buffer only on success, and keep their documented results.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzInput.h"
#include "driverapi/DravikMessage.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  DravikMessage m;
  in.bytes(&m, sizeof m);

  // getPayload with a caller buffer of any size; the guard bytes behind it
  // must stay untouched.
  const uint32_t capacity = in.u16() % (DRAVIK_MSG_MAX_PAYLOAD + 64);
  uint8_t buffer[DRAVIK_MSG_MAX_PAYLOAD + 64 + 16];
  std::memset(buffer, 0xA5, sizeof buffer);
  uint32_t inOut = capacity;
  const DravikStatus g = m.getPayload(buffer, inOut);
  if (g == DRAVIK_STATUS_SUCCESS) {
    check(m.payloadLength <= capacity && m.payloadLength <= DRAVIK_MSG_MAX_PAYLOAD);
    check(inOut == m.payloadLength);
    check(std::memcmp(buffer, m.payload, m.payloadLength) == 0);
  } else {
    check(g == DRAVIK_STATUS_INVALID_LENGTH);
    check(inOut == capacity);
  }
  for (uint32_t i = g == DRAVIK_STATUS_SUCCESS ? m.payloadLength : 0; i < sizeof buffer; ++i) check(buffer[i] == 0xA5);

  // readExact: success only for the exact length, the buffer untouched
  // otherwise.
  const uint32_t want = in.u16() % (DRAVIK_MSG_MAX_PAYLOAD + 64);
  std::memset(buffer, 0x5A, sizeof buffer);
  const DravikStatus r = m.readExact(buffer, want);
  if (r == DRAVIK_STATUS_SUCCESS) {
    check(m.payloadLength == want);
    check(std::memcmp(buffer, m.payload, want) == 0);
  } else {
    check(r == (m.payloadLength > want || m.payloadLength > DRAVIK_MSG_MAX_PAYLOAD ? DRAVIK_STATUS_INVALID_LENGTH
                                                                                  : DRAVIK_STATUS_INVALID_MSG_SIZE));
  }
  for (uint32_t i = r == DRAVIK_STATUS_SUCCESS ? want : 0; i < sizeof buffer; ++i) check(buffer[i] == 0x5A);

  // setPayload with any length, also from the record's own payload.
  DravikMessage before = m;
  uint8_t source[DRAVIK_MSG_MAX_PAYLOAD + 64];
  const uint32_t length = in.u16() % (DRAVIK_MSG_MAX_PAYLOAD + 64);
  in.bytes(source, length);
  const bool fromSelf = (in.u8() & 1) != 0 && length <= DRAVIK_MSG_MAX_PAYLOAD;
  const DravikStatus s = m.setPayload(fromSelf ? static_cast<const void*>(m.payload) : source, length);
  if (length > DRAVIK_MSG_MAX_PAYLOAD) {
    check(s == DRAVIK_STATUS_INVALID_LENGTH);
    check(std::memcmp(&before, &m, sizeof m) == 0);
  } else {
    check(s == DRAVIK_STATUS_SUCCESS && m.payloadLength == length);
    check(std::memcmp(m.payload, fromSelf ? before.payload : source, length) == 0);
    check(m.wireSize() == DRAVIK_MSG_HEADER_SIZE + length);
  }

  // initReply on the record itself keeps sequence and routing.
  before = m;
  m.initReply(m, before.status ^ 1u);
  check(m.type == DRAVIK_MSG_TYPE_REPLY && m.code == DRAVIK_MSG_REPLY && m.payloadLength == 0);
  check(m.sequence == before.sequence && m.routing0 == before.routing0 && m.routing1 == before.routing1);
  check(m.status == (before.status ^ 1u));
  return 0;
}
