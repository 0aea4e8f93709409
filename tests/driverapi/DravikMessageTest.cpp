// The message record: init, payload and exact readers, the reply builder.
#include <gtest/gtest.h>

#include <cstring>

#include "driverapi/DravikMessage.h"

namespace {

DravikMessage dirtyMessage() {
  DravikMessage m;
  std::memset(&m, 0xAB, sizeof m);
  return m;
}

TEST(DriverApiMessage, InitClearsEverythingButTypeAndCode) {
  DravikMessage m = dirtyMessage();
  m.init(DRAVIK_MSG_TYPE_REQUEST, DRAVIK_MSG_SET_SAMPLE_RATE);
  EXPECT_EQ(m.headerSize, 32u);
  EXPECT_EQ(m.payloadLength, 0u);
  EXPECT_EQ(m.type, 1u);
  EXPECT_EQ(m.code, 1001u);
  EXPECT_EQ(m.sequence, 0u);
  EXPECT_EQ(m.routing0, 0u);
  EXPECT_EQ(m.routing1, 0u);
  EXPECT_EQ(m.status, 0u);
  for (uint8_t b : m.payload) ASSERT_EQ(b, 0);
  EXPECT_EQ(m.wireSize(), 32u);
}

TEST(DriverApiMessage, SetPayloadAcceptsUpTo512Bytes) {
  uint8_t data[513];
  for (size_t i = 0; i < sizeof data; ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
  DravikMessage m;
  m.init(DRAVIK_MSG_TYPE_REQUEST, 1001);
  const uint32_t rate = 48000;
  ASSERT_EQ(m.setPayload(&rate, 4), 0u);

  DravikMessage before = m;
  EXPECT_EQ(m.setPayload(data, 513), DRAVIK_STATUS_INVALID_LENGTH);
  EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << "a refused payload leaves the record unchanged";

  EXPECT_EQ(m.setPayload(data, 512), 0u);
  EXPECT_EQ(m.payloadLength, 512u);
  EXPECT_EQ(m.wireSize(), 544u);
  EXPECT_EQ(std::memcmp(m.payload, data, 512), 0);
}

TEST(DriverApiMessage, GetPayloadNeedsRoomForTheWholePayload) {
  DravikMessage m;
  m.init(DRAVIK_MSG_TYPE_REPLY, 12001);
  const uint32_t words[4] = {1, 2, 3, 4};
  ASSERT_EQ(m.setPayload(words, 16), 0u);

  uint32_t out[8] = {};
  uint32_t size = 12;
  EXPECT_EQ(m.getPayload(out, size), DRAVIK_STATUS_INVALID_LENGTH);
  EXPECT_EQ(size, 12u);
  size = sizeof out;
  EXPECT_EQ(m.getPayload(out, size), 0u);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(out[3], 4u);
  EXPECT_EQ(out[4], 0u);
}

TEST(DriverApiMessage, ExactReaderTellsLongerFromShorter) {
  struct Case {
    uint32_t payloadLength;
    uint32_t wanted;
    DravikStatus expected;
  };
  const Case cases[] = {
      {4, 4, 0},
      {1, 1, 0},
      {16, 16, 0},
      {0, 0, 0},
      {5, 4, DRAVIK_STATUS_INVALID_LENGTH},
      {16, 12, DRAVIK_STATUS_INVALID_LENGTH},
      {2, 4, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {0, 1, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {12, 16, DRAVIK_STATUS_INVALID_MSG_SIZE},
  };
  for (const Case& c : cases) {
    DravikMessage m;
    m.init(DRAVIK_MSG_TYPE_REQUEST, 1001);
    uint8_t data[16];
    for (uint8_t i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(0x10 + i);
    ASSERT_EQ(m.setPayload(data, c.payloadLength), 0u);
    uint8_t out[16];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(m.readExact(out, c.wanted), c.expected) << c.payloadLength << " into " << c.wanted;
    if (c.expected == 0) {
      EXPECT_EQ(std::memcmp(out, data, c.wanted), 0);
    } else {
      for (uint8_t b : out) EXPECT_EQ(b, 0xEE) << "a refused read leaves the buffer alone";
    }
  }
}

TEST(DriverApiMessage, ReadersRefuseALengthBeyondThePayloadArea) {
  DravikMessage m;
  m.init(DRAVIK_MSG_TYPE_REQUEST, 1001);
  m.payloadLength = 600;  // as a corrupt record could claim
  static uint8_t big[1024];
  uint32_t size = sizeof big;
  EXPECT_EQ(m.getPayload(big, size), DRAVIK_STATUS_INVALID_LENGTH);
  EXPECT_EQ(m.readExact(big, 600), DRAVIK_STATUS_INVALID_LENGTH);
}

TEST(DriverApiMessage, ReplyCopiesSequenceAndRouting) {
  DravikMessage request;
  request.init(DRAVIK_MSG_TYPE_REQUEST, 1002);
  request.sequence = 77;
  request.routing0 = 0x1111;
  request.routing1 = 0x2222;
  const uint32_t sizes[3] = {1, 2, 0};
  request.setPayload(sizes, 12);

  DravikMessage reply = dirtyMessage();
  reply.initReply(request, DRAVIK_STATUS_INVALID_COMMAND);
  EXPECT_EQ(reply.headerSize, 32u);
  EXPECT_EQ(reply.type, 2u);
  EXPECT_EQ(reply.code, 2001u);
  EXPECT_EQ(reply.payloadLength, 0u);
  EXPECT_EQ(reply.sequence, 77u);
  EXPECT_EQ(reply.routing0, 0x1111u);
  EXPECT_EQ(reply.routing1, 0x2222u);
  EXPECT_EQ(reply.status, DRAVIK_STATUS_INVALID_COMMAND);
  for (uint8_t b : reply.payload) ASSERT_EQ(b, 0);

  // Built in place from the request itself.
  request.initReply(request, 0);
  EXPECT_EQ(request.sequence, 77u);
  EXPECT_EQ(request.routing1, 0x2222u);
  EXPECT_EQ(request.type, 2u);
}

}  // namespace
