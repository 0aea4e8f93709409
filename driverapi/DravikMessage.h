// DravikMessage: the record the driver relays between programs, a 32-byte
// header and up to 512 bytes of payload (544 bytes in all).
//
// Lifetime: a plain value; copied at every hop. Not thread-safe.
//
//   DravikMessage request;
//   request.init(DRAVIK_MSG_TYPE_REQUEST, DRAVIK_MSG_SET_SAMPLE_RATE);
//   request.setPayload(&rate, 4);
#pragma once

#include <cstddef>
#include <cstdint>

#include "driverapi/DravikStatus.h"

enum : uint32_t {
  DRAVIK_MSG_TYPE_NONE = 0,
  DRAVIK_MSG_TYPE_REQUEST = 1,
  DRAVIK_MSG_TYPE_REPLY = 2,
  DRAVIK_MSG_TYPE_NOTIFICATION = 3,
};

enum : uint32_t {
  DRAVIK_MSG_SET_SAMPLE_RATE = 1001,
  DRAVIK_MSG_SET_BUFFER_SIZES = 1002,
  DRAVIK_MSG_SELECT_STREAMING_DEVICE = 1003,
  DRAVIK_MSG_SET_IO_FORMAT = 1004,
  DRAVIK_MSG_SET_POLICY = 1005,
  DRAVIK_MSG_REPLY = 2001,
  DRAVIK_MSG_SET_DEVICE_CONFIG = 11001,
  DRAVIK_MSG_GET_DEVICE_CONFIG = 11002,
  DRAVIK_MSG_REPLY_DEVICE_CONFIG = 12001,

  DRAVIK_NOTIFY_SETTINGS_CHANGED = 3001,
  DRAVIK_NOTIFY_ACTIVITY_STARTED = 3003,
  DRAVIK_NOTIFY_ACTIVITY_ENDED = 3004,
  DRAVIK_NOTIFY_DEVICE_ARRIVED = 3005,
  DRAVIK_NOTIFY_STREAM_WANTED = 3006,
  DRAVIK_NOTIFY_STREAM_RESTARTED = 3010,
  DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED = 3011,
  DRAVIK_NOTIFY_USE_STARTED = 3015,
  DRAVIK_NOTIFY_USE_ENDED = 3016,
  DRAVIK_NOTIFY_DEVICE_REMOVED = 3020,
  DRAVIK_NOTIFY_DEVICE_CHANGED = 3021,
  DRAVIK_NOTIFY_DEVICE_LIST_CHANGED = 3030,
  DRAVIK_NOTIFY_DEVICE_STATE = 3040,
  DRAVIK_NOTIFY_MIXER_TOPOLOGY = 3050,
  DRAVIK_NOTIFY_MIXER_GAINS = 3051,
  DRAVIK_NOTIFY_MIXER_CROSSPOINTS = 3052,
  DRAVIK_NOTIFY_ENDPOINT_VOLUME = 3060,
};

constexpr uint32_t DRAVIK_MSG_HEADER_SIZE = 32;
constexpr uint32_t DRAVIK_MSG_MAX_PAYLOAD = 512;
constexpr uint32_t DRAVIK_MSG_MAX_SIZE = DRAVIK_MSG_HEADER_SIZE + DRAVIK_MSG_MAX_PAYLOAD;

struct DravikMessage {
  uint32_t headerSize;
  uint32_t payloadLength;
  uint32_t type;
  uint32_t code;
  uint32_t sequence;
  uint32_t routing0;
  uint32_t routing1;
  uint32_t status;
  uint8_t payload[DRAVIK_MSG_MAX_PAYLOAD];

  // headerSize 32, payloadLength 0, type and code set, the rest zero.
  void init(uint32_t type, uint32_t code);
  // Above 512: DRAVIK_STATUS_INVALID_LENGTH, record unchanged.
  DravikStatus setPayload(const void* data, uint32_t length);
  // inOutSize below payloadLength: DRAVIK_STATUS_INVALID_LENGTH; else copies
  // and sets inOutSize to payloadLength.
  DravikStatus getPayload(void* buffer, uint32_t& inOutSize) const;
  // The exact reader: a longer payload gives DRAVIK_STATUS_INVALID_LENGTH, a
  // shorter one DRAVIK_STATUS_INVALID_MSG_SIZE.
  DravikStatus readExact(void* buffer, uint32_t size) const;
  // The server's reply: init(2, 2001), sequence and routing copied, status set.
  void initReply(const DravikMessage& request, DravikStatus status);
  // Bytes on the wire: header plus payload.
  uint32_t wireSize() const { return DRAVIK_MSG_HEADER_SIZE + payloadLength; }
};
static_assert(sizeof(DravikMessage) == 544);
static_assert(offsetof(DravikMessage, sequence) == 16);
static_assert(offsetof(DravikMessage, status) == 28);
static_assert(offsetof(DravikMessage, payload) == 32);
