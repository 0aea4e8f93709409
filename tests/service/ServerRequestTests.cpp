// The device server's requests end to end: a client sends them through the
// simulated driver's relay, the server's loop answers on its own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ServerFixture.h"
#include "driverapi/DravikMessage.h"
#include "driverapi/DravikServiceRecords.h"

namespace {

class ServerRequests : public ServerFixture {};

struct PayloadCase {
  uint32_t code;
  uint32_t length;
  DravikStatus expected;
};

// Every request is read with its exact reader: a longer payload answers
// INVALID_LENGTH, a shorter one INVALID_MSG_SIZE; unknown codes
// INVALID_COMMAND.
TEST_F(ServerRequests, PayloadSizesAndUnknownCodes) {
  startServer();
  const PayloadCase cases[] = {
      {DRAVIK_MSG_SET_SAMPLE_RATE, 0, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {DRAVIK_MSG_SET_SAMPLE_RATE, 2, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {DRAVIK_MSG_SET_SAMPLE_RATE, 5, DRAVIK_STATUS_INVALID_LENGTH},
      {DRAVIK_MSG_SET_BUFFER_SIZES, 11, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {DRAVIK_MSG_SET_BUFFER_SIZES, 13, DRAVIK_STATUS_INVALID_LENGTH},
      {DRAVIK_MSG_SELECT_STREAMING_DEVICE, 8, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {DRAVIK_MSG_SELECT_STREAMING_DEVICE, 16, DRAVIK_STATUS_INVALID_LENGTH},
      {DRAVIK_MSG_SET_IO_FORMAT, 0, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {DRAVIK_MSG_SET_IO_FORMAT, 2, DRAVIK_STATUS_INVALID_LENGTH},
      {DRAVIK_MSG_SET_IO_FORMAT, 1, DRAVIK_STATUS_SUCCESS},
      {DRAVIK_MSG_SET_POLICY, 3, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {DRAVIK_MSG_SET_POLICY, 8, DRAVIK_STATUS_INVALID_LENGTH},
      {DRAVIK_MSG_SET_DEVICE_CONFIG, 12, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {DRAVIK_MSG_SET_DEVICE_CONFIG, 17, DRAVIK_STATUS_INVALID_LENGTH},
      {DRAVIK_MSG_GET_DEVICE_CONFIG, 15, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {DRAVIK_MSG_GET_DEVICE_CONFIG, 512, DRAVIK_STATUS_INVALID_LENGTH},
      {1000, 0, DRAVIK_STATUS_INVALID_COMMAND},
      {1006, 4, DRAVIK_STATUS_INVALID_COMMAND},
      {DRAVIK_MSG_REPLY, 0, DRAVIK_STATUS_INVALID_COMMAND},
      {DRAVIK_MSG_REPLY_DEVICE_CONFIG, 16, DRAVIK_STATUS_INVALID_COMMAND},
      {DRAVIK_NOTIFY_STREAM_RESTARTED, 0, DRAVIK_STATUS_INVALID_COMMAND},
      {11003, 16, DRAVIK_STATUS_INVALID_COMMAND},
  };
  std::vector<uint8_t> zeros(DRAVIK_MSG_MAX_PAYLOAD, 0);
  for (const PayloadCase& c : cases) {
    DravikMessage reply;
    EXPECT_EQ(c.expected, rawRequest(c.code, zeros.data(), c.length, &reply))
        << "code " << c.code << " with " << c.length << " bytes";
    const uint32_t replyCode =
        c.code == DRAVIK_MSG_GET_DEVICE_CONFIG ? DRAVIK_MSG_REPLY_DEVICE_CONFIG : DRAVIK_MSG_REPLY;
    EXPECT_EQ(replyCode, reply.code) << "code " << c.code;
    EXPECT_EQ(0u, reply.payloadLength) << "code " << c.code;
  }
}

TEST_F(ServerRequests, GetDeviceConfigAnswersWithReply12001) {
  startServer();
  const DravikDeviceId ids = deviceIds();
  const DravikDeviceConfig query{ids.deviceId0, ids.deviceId1, 0, 0};
  DravikMessage reply;
  ASSERT_EQ(0u, rawRequest(DRAVIK_MSG_GET_DEVICE_CONFIG, &query, sizeof query, &reply));
  EXPECT_EQ(uint32_t{DRAVIK_MSG_REPLY_DEVICE_CONFIG}, reply.code);
  DravikDeviceConfig answer{};
  ASSERT_EQ(0u, reply.readExact(&answer, sizeof answer));
  EXPECT_EQ(ids.deviceId0, answer.deviceId0);
  EXPECT_EQ(ids.deviceId1, answer.deviceId1);

  // An unknown device: a 12001 without payload carries the status, so the
  // client reports it as it is.
  const DravikDeviceConfig unknown{ids.deviceId0 + 1, ids.deviceId1, 0, 0};
  EXPECT_EQ(DRAVIK_STATUS_OBJECT_NOT_FOUND, rawRequest(DRAVIK_MSG_GET_DEVICE_CONFIG, &unknown, sizeof unknown, &reply));
  EXPECT_EQ(uint32_t{DRAVIK_MSG_REPLY_DEVICE_CONFIG}, reply.code);
  EXPECT_EQ(0u, reply.payloadLength);
  uint32_t render = 0, capture = 0;
  EXPECT_EQ(DRAVIK_STATUS_OBJECT_NOT_FOUND, client_.getDeviceConfig(ids.deviceId0 + 1, ids.deviceId1, render, capture));
  EXPECT_EQ(DRAVIK_STATUS_OBJECT_NOT_FOUND, client_.setDeviceConfig(ids.deviceId0 + 1, ids.deviceId1, 0, 0));
}

// A new rate: pending rate, down, set, up again, then 3010 and 3011.
TEST_F(ServerRequests, SampleRateChangeEndToEnd) {
  startServer();
  sc().setActivity(1, 1);  // someone streams: the server keeps it Running
  barrier();
  ASSERT_EQ(uint32_t{DRAVIK_STREAM_RUNNING}, sc().settings().streamState.streamState);
  forgetNotifications();
  const uint64_t m = mark();

  ASSERT_EQ(0u, client_.setSampleRate(96000, kRequestTimeoutMs));

  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED)) << "3011 must follow 3010";
  const SimSettings settings = sc().settings();
  EXPECT_EQ(96000u, settings.streamState.sampleRate);
  EXPECT_EQ(96000u, settings.pendingSampleRate);
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_RUNNING}, settings.streamState.streamState);

  const std::vector<SimJournalEntry> entries = since(m, serverHandle());
  auto position = [&](uint32_t code) {
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].code == code) return i;
    return entries.size();
  };
  EXPECT_LT(position(IOCTL_DRAVIK_SET_PENDING_SAMPLE_RATE), position(IOCTL_DRAVIK_STREAM_COMMAND));
  EXPECT_LT(position(IOCTL_DRAVIK_STREAM_COMMAND), position(IOCTL_DRAVIK_SET_SAMPLE_RATE));
  // Running -> Ready -> Down, set, Down -> Ready -> Prepared -> Running.
  EXPECT_EQ((std::vector<uint32_t>{6, 3, 2, 4, 5}), streamCommands(entries));
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_STREAM_RESTARTED, DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED}),
            postedCodes(entries, DRAVIK_MSG_TYPE_NOTIFICATION));
}

TEST_F(ServerRequests, RateAlreadyInUseTouchesNothing) {
  startServer();
  forgetNotifications();
  const uint64_t m = mark();
  ASSERT_EQ(0u, client_.setSampleRate(48000, kRequestTimeoutMs));
  const std::vector<SimJournalEntry> entries = since(m, serverHandle());
  EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_STREAM_COMMAND));
  EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_SET_PENDING_SAMPLE_RATE));
  EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_SET_SAMPLE_RATE));
  EXPECT_TRUE(postedCodes(entries, DRAVIK_MSG_TYPE_NOTIFICATION).empty());
  EXPECT_EQ(1u, postedCodes(entries, DRAVIK_MSG_TYPE_REPLY).size());
  barrier();
  for (uint32_t code : received())
    EXPECT_TRUE(code != DRAVIK_NOTIFY_STREAM_RESTARTED && code != DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED) << code;
}

enum class Change { SampleRate, BufferSizes, StreamingDevice, Policy, WdmConfig };

struct InUseCase {
  Change change;
  uint32_t useCount0;
  uint32_t useCount1;
  bool refused;
};

// useCount0 blocks every change; useCount1 only sample rate, buffer sizes
// and streaming device.
TEST_F(ServerRequests, SoundDeviceInUseRefusals) {
  startServer();
  const DravikDeviceId ids = deviceIds();
  const InUseCase cases[] = {
      {Change::SampleRate, 1, 0, true},      {Change::SampleRate, 0, 1, true},
      {Change::BufferSizes, 1, 0, true},     {Change::BufferSizes, 0, 1, true},
      {Change::StreamingDevice, 1, 0, true}, {Change::StreamingDevice, 0, 1, true},
      {Change::Policy, 1, 0, true},          {Change::Policy, 0, 1, false},
      {Change::WdmConfig, 1, 0, true},       {Change::WdmConfig, 0, 1, false},
  };
  uint32_t policy = 0;
  for (const InUseCase& c : cases) {
    sc().setUseCounts(c.useCount0, c.useCount1);
    barrier();
    const uint64_t m = mark();
    DravikStatus status = DRAVIK_STATUS_FAILED;
    switch (c.change) {
      case Change::SampleRate:
        status = client_.setSampleRate(44100, kRequestTimeoutMs);
        break;
      case Change::BufferSizes:
        status = client_.setBufferSizes(3, 1, 0);
        break;
      case Change::StreamingDevice:
        status = client_.selectStreamingDevice(ids.deviceId0, ids.deviceId1, 0);
        break;
      case Change::Policy:
        policy ^= 1;
        status = client_.setPolicy(policy, kRequestTimeoutMs);
        break;
      case Change::WdmConfig:
        status = client_.setDeviceConfig(ids.deviceId0, ids.deviceId1, 0, 0);
        break;
    }
    const int which = static_cast<int>(c.change);
    if (c.refused) {
      EXPECT_EQ(DRAVIK_STATUS_SOUND_DEVICE_IN_USE, status) << which << " " << c.useCount0 << c.useCount1;
      EXPECT_EQ(0u, countCode(since(m, serverHandle()), IOCTL_DRAVIK_STREAM_COMMAND)) << which;
      if (c.change == Change::Policy) policy ^= 1;
    } else {
      EXPECT_EQ(0u, status) << which << " " << c.useCount0 << c.useCount1;
    }
    sc().setUseCounts(0, 0);
  }
  EXPECT_EQ(policy, sc().settings().policy);
}

TEST_F(ServerRequests, BufferSizesAndStreamingDeviceGoThroughDown) {
  startServer();
  forgetNotifications();
  uint64_t m = mark();
  ASSERT_EQ(0u, client_.setBufferSizes(4, 3, 0));
  EXPECT_EQ(4u, sc().settings().bufferInfo.streamingBufferSize);
  EXPECT_EQ(3u, sc().settings().bufferInfo.asioBufferSize);
  // Ready (nothing wanted): Ready -> Down, set, Down -> Ready.
  EXPECT_EQ((std::vector<uint32_t>{3, 2}), streamCommands(since(m, serverHandle())));
  EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));

  m = mark();
  ASSERT_EQ(0u, client_.selectStreamingDevice(0, 0, 1));
  EXPECT_EQ(1u, sc().settings().selection.allDevices);
  EXPECT_EQ((std::vector<uint32_t>{3, 2}), streamCommands(since(m, serverHandle())));
  EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));

  // A refused value (ASIO size 9) is reported, and the stream still comes back.
  EXPECT_EQ(DRAVIK_STATUS_INVALID_BUFFER_SIZE, client_.setBufferSizes(1, 9, 0));
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);
}

// When the way down fails the change is not made, and 3010 still goes out.
TEST_F(ServerRequests, FailedLoweringSkipsTheChange) {
  startServer();
  forgetNotifications();
  sc().failRequest(IOCTL_DRAVIK_STREAM_COMMAND, DRAVIK_STATUS_ABORTED);
  const uint64_t m = mark();
  EXPECT_EQ(DRAVIK_STATUS_ABORTED, client_.setBufferSizes(4, 3, 0));
  EXPECT_EQ(0u, countCode(since(m), IOCTL_DRAVIK_SET_BUFFER_SIZES));
  EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));

  sc().failRequest(IOCTL_DRAVIK_STREAM_COMMAND, DRAVIK_STATUS_ABORTED);
  EXPECT_EQ(DRAVIK_STATUS_ABORTED, client_.setSampleRate(96000, kRequestTimeoutMs));
  EXPECT_EQ(48000u, sc().settings().streamState.sampleRate);
  EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));
}

// A refused policy is reported, not answered with success; the stream is
// brought back up either way.
TEST_F(ServerRequests, PolicyFailureIsReported) {
  startServer();
  sc().failRequest(IOCTL_DRAVIK_SET_POLICY, DRAVIK_STATUS_NOT_ALLOWED);
  const uint64_t m = mark();
  EXPECT_EQ(DRAVIK_STATUS_NOT_ALLOWED, client_.setPolicy(1, kRequestTimeoutMs));
  EXPECT_EQ(0u, sc().settings().policy);
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);
  // The policy flag goes with the way down and up.
  const std::vector<SimJournalEntry> entries = since(m, serverHandle());
  std::vector<uint32_t> arguments;
  for (const SimJournalEntry& e : entries) {
    if (e.code != IOCTL_DRAVIK_STREAM_COMMAND) continue;
    uint32_t words[2];
    std::memcpy(words, e.input.data(), sizeof words);
    arguments.push_back(words[1]);
  }
  EXPECT_EQ((std::vector<uint32_t>{1, 1}), arguments);

  EXPECT_EQ(0u, client_.setPolicy(1, kRequestTimeoutMs));
  EXPECT_EQ(1u, sc().settings().policy);
  // The policy already in force: nothing to do.
  const uint64_t m2 = mark();
  EXPECT_EQ(0u, client_.setPolicy(1, kRequestTimeoutMs));
  EXPECT_EQ(0u, countCode(since(m2, serverHandle()), IOCTL_DRAVIK_STREAM_COMMAND));
}

// The policy was set but the stream could not come back (a device on a
// USB 1.1 port): that is reported too.
TEST_F(ServerRequests, PolicyFailedRaiseAfterSetIsReported) {
  SimDriverConfig config;
  config.devices[0].highSpeed = false;
  startSim(config);
  startServer();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_NOT_SUPPORTED}, sc().settings().streamState.streamState);
  EXPECT_EQ(DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE, client_.setPolicy(1, kRequestTimeoutMs));
  EXPECT_EQ(1u, sc().settings().policy);
}

// Applying the WDM configuration failed (the endpoint record was refused)
// while the stream came back: the failure reaches the client.
TEST_F(ServerRequests, WdmConfigApplyFailureIsReported) {
  startServer();
  const DravikDeviceId ids = deviceIds();
  sc().failRequest(IOCTL_DRAVIK_SET_ENDPOINTS, DRAVIK_STATUS_NO_RESOURCES);
  EXPECT_EQ(DRAVIK_STATUS_NO_RESOURCES, client_.setDeviceConfig(ids.deviceId0, ids.deviceId1, 0, 0));
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);
  EXPECT_EQ(0u, client_.setDeviceConfig(ids.deviceId0, ids.deviceId1, 0, 0));
}

}  // namespace
