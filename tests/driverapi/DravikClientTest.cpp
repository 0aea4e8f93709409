// The client's request-and-reply exchange, its typed requests and the ASIO
// client's requests.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "FakeDriver.h"
#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnHandle.h"
#include "platform/WnWait.h"

namespace {

constexpr uint32_t kLongWaitMs = 60000;  // never reached when the code is right

std::vector<uint8_t> words(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> bytes;
  for (uint32_t v : values)
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return bytes;
}

std::vector<uint8_t> payloadOf(const DravikMessage& m) {
  return std::vector<uint8_t>(m.payload, m.payload + m.payloadLength);
}

class DriverApiClient : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
    handle = fake.lastHandle();
    client.setRequestTimeout(kLongWaitMs);
  }
  // Every posted request is answered at once by the reply that make() builds.
  void answerWith(std::function<std::vector<DravikMessage>(const DravikMessage&)> make, bool signalEach = true) {
    fake.setPostHook([this, make, signalEach](int h, const DravikMessage& request) {
      const std::vector<DravikMessage> replies = make(request);
      for (size_t i = 0; i < replies.size(); ++i)
        fake.deliverMessage(h, replies[i], signalEach || i + 1 == replies.size());
    });
  }
  DravikMessage request(uint32_t code = DRAVIK_MSG_SET_SAMPLE_RATE) {
    DravikMessage m;
    m.init(DRAVIK_MSG_TYPE_REQUEST, code);
    const uint32_t rate = 48000;
    m.setPayload(&rate, 4);
    return m;
  }

  FakeDriver fake;
  DravikCplClient client;
  int handle = 0;
};

TEST_F(DriverApiClient, ARequestGetsItsReply) {
  answerWith([](const DravikMessage& r) { return std::vector<DravikMessage>{fakeReply(r.sequence, 2001, 0x77)}; });
  DravikMessage req = request();
  DravikMessage reply;
  ASSERT_EQ(client.sendRequest(req, reply, kLongWaitMs), 0u);
  EXPECT_EQ(req.sequence, 1u);
  EXPECT_EQ(reply.sequence, 1u);
  EXPECT_EQ(reply.status, 0x77u) << "the caller evaluates the reply's status";
  const auto posted = fake.posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].sequence, 1u);
  EXPECT_EQ(fake.callsOf(IOCTL_DRAVIK_POST_MESSAGE)[0].in.size(), 36u);
}

TEST_F(DriverApiClient, StaleRepliesAndOtherMessagesBeforeTheReplyAreDropped) {
  // All of them queued behind one signal of the auto-reset event.
  answerWith(
      [](const DravikMessage& r) {
        DravikMessage request;
        request.init(DRAVIK_MSG_TYPE_REQUEST, 1001);
        request.sequence = r.sequence;
        return std::vector<DravikMessage>{fakeReply(r.sequence - 1, 2001, DRAVIK_STATUS_INVALID_STATE),
                                          fakeNotification(3010), request,
                                          fakeReply(r.sequence + 5, 2001, DRAVIK_STATUS_FAILED),
                                          fakeReply(r.sequence, 2001, 0)};
      },
      false);
  client.presetSequence(40);
  DravikMessage req = request();
  DravikMessage reply;
  ASSERT_EQ(client.sendRequest(req, reply, kLongWaitMs), 0u);
  EXPECT_EQ(reply.type, 2u);
  EXPECT_EQ(reply.sequence, 41u);
  EXPECT_EQ(reply.status, 0u);
  DravikMessage rest;
  EXPECT_EQ(client.readMessage(rest), DRAVIK_STATUS_NO_MORE_ITEMS) << "the queue was read up to the reply";
}

TEST_F(DriverApiClient, ALateReplyIsDroppedByTheNextExchange) {
  DravikMessage req = request();
  DravikMessage reply;
  EXPECT_EQ(client.sendRequest(req, reply, 50), DRAVIK_STATUS_TIMEOUT);
  const uint32_t timedOut = req.sequence;

  // The service answers the first request after its sender gave up.
  fake.deliverMessage(handle, fakeReply(timedOut, 2001, DRAVIK_STATUS_INVALID_STATE));
  answerWith([](const DravikMessage& r) { return std::vector<DravikMessage>{fakeReply(r.sequence, 2001, 0)}; });
  EXPECT_EQ(client.setSampleRate(44100, kLongWaitMs), 0u);
  EXPECT_EQ(client.lastSequence(), timedOut + 1);
}

TEST_F(DriverApiClient, SequenceNumbersSkipZero) {
  answerWith([](const DravikMessage& r) { return std::vector<DravikMessage>{fakeReply(r.sequence)}; });
  EXPECT_EQ(client.lastSequence(), 0u);
  for (uint32_t expected : {1u, 2u, 3u}) {
    ASSERT_EQ(client.setPolicy(0, kLongWaitMs), 0u);
    EXPECT_EQ(fake.posted().back().sequence, expected);
  }
  client.presetSequence(0xFFFFFFFE);
  ASSERT_EQ(client.setPolicy(0, kLongWaitMs), 0u);
  EXPECT_EQ(fake.posted().back().sequence, 0xFFFFFFFFu);
  ASSERT_EQ(client.setPolicy(0, kLongWaitMs), 0u);
  EXPECT_EQ(fake.posted().back().sequence, 1u);

  // Reconnecting does not restart the numbering.
  client.disconnect();
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  ASSERT_EQ(client.setPolicy(0, kLongWaitMs), 0u);
  EXPECT_EQ(fake.posted().back().sequence, 2u);
}

TEST_F(DriverApiClient, FailuresOfTheExchange) {
  // A failed post is returned at once, without waiting.
  fake.failCode(IOCTL_DRAVIK_POST_MESSAGE, DRAVIK_STATUS_NO_SERVER);
  EXPECT_EQ(client.setSampleRate(48000, kLongWaitMs), DRAVIK_STATUS_NO_SERVER);
  fake.failCode(IOCTL_DRAVIK_POST_MESSAGE, 0);

  // A read failure other than an empty queue ends the exchange.
  answerWith([](const DravikMessage& r) { return std::vector<DravikMessage>{fakeReply(r.sequence)}; });
  fake.failCode(IOCTL_DRAVIK_READ_MESSAGE, DRAVIK_STATUS_DEVICE_REMOVED);
  EXPECT_EQ(client.setSampleRate(48000, kLongWaitMs), DRAVIK_STATUS_DEVICE_REMOVED);
  fake.failCode(IOCTL_DRAVIK_READ_MESSAGE, 0);

  // A payload too long for a message is not sent.
  fake.clearCalls();
  DravikMessage req = request();
  req.payloadLength = 513;
  DravikMessage reply;
  EXPECT_EQ(client.sendRequest(req, reply, kLongWaitMs), DRAVIK_STATUS_INVALID_LENGTH);
  EXPECT_TRUE(fake.callsOf(IOCTL_DRAVIK_POST_MESSAGE).empty());

  // Closed channel.
  client.disconnect();
  EXPECT_EQ(client.setSampleRate(48000, kLongWaitMs), DRAVIK_STATUS_FAILED) << "no message event to wait on";
  EXPECT_TRUE(fake.callsOf(IOCTL_DRAVIK_POST_MESSAGE).empty());
}

TEST_F(DriverApiClient, AConnectionWithoutMessageEventSendsNoRequest) {
  DravikClient plain;
  ASSERT_EQ(plain.connectPlain(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES), 0u);
  fake.clearCalls();
  EXPECT_EQ(plain.setSampleRate(48000, kLongWaitMs), DRAVIK_STATUS_FAILED);
  EXPECT_TRUE(fake.callsOf(IOCTL_DRAVIK_POST_MESSAGE).empty());
}

// --- Typed requests.

struct TypedCase {
  const char* what;
  std::function<DravikStatus(DravikCplClient&)> call;
  uint32_t code;
  std::vector<uint8_t> payload;
};

TEST_F(DriverApiClient, TypedRequestsBuildTheirMessagesAndEvaluateTheReply) {
  const TypedCase cases[] = {
      {"setSampleRate", [](DravikCplClient& c) { return c.setSampleRate(96000, kLongWaitMs); }, 1001,
       words({96000})},
      {"setBufferSizes", [](DravikCplClient& c) { return c.setBufferSizes(3, 1, 7); }, 1002, words({3, 1, 7})},
      {"selectStreamingDevice", [](DravikCplClient& c) { return c.selectStreamingDevice(0, 0, 1); }, 1003,
       words({0, 0, 1})},
      {"setIoFormat", [](DravikCplClient& c) { return c.setIoFormat(1, kLongWaitMs); }, 1004, {1}},
      {"setPolicy", [](DravikCplClient& c) { return c.setPolicy(5, kLongWaitMs); }, 1005, words({5})},
      {"setDeviceConfig", [](DravikCplClient& c) { return c.setDeviceConfig(1, 10, 0, 2); }, 11001,
       words({1, 10, 0, 2})},
  };
  uint32_t replyCode = 2001;
  DravikStatus replyStatus = 0;
  answerWith([&](const DravikMessage& r) {
    DravikMessage reply = fakeReply(r.sequence, replyCode, replyStatus);
    reply.routing0 = 9;
    return std::vector<DravikMessage>{reply};
  });
  for (const TypedCase& c : cases) {
    replyCode = 2001;
    replyStatus = 0;
    EXPECT_EQ(c.call(client), 0u) << c.what;
    const DravikMessage sent = fake.posted().back();
    EXPECT_EQ(sent.headerSize, 32u) << c.what;
    EXPECT_EQ(sent.type, 1u) << c.what;
    EXPECT_EQ(sent.code, c.code) << c.what;
    EXPECT_EQ(payloadOf(sent), c.payload) << c.what;
    EXPECT_EQ(sent.routing0, 0u) << c.what;
    EXPECT_EQ(sent.routing1, 0u) << c.what;
    EXPECT_EQ(sent.status, 0u) << c.what;
    EXPECT_EQ(fake.callsOf(IOCTL_DRAVIK_POST_MESSAGE).back().in.size(), 32u + c.payload.size()) << c.what;

    replyStatus = DRAVIK_STATUS_SOUND_DEVICE_IN_USE;
    EXPECT_EQ(c.call(client), DRAVIK_STATUS_SOUND_DEVICE_IN_USE) << c.what;

    replyCode = 12001;
    replyStatus = 0;
    EXPECT_EQ(c.call(client), DRAVIK_STATUS_UNEXPECTED_MSG_CODE) << c.what;
  }
}

TEST_F(DriverApiClient, TheRequestTimeoutOfTheClientIsUsed) {
  client.setRequestTimeout(30);
  EXPECT_EQ(client.requestTimeout(), 30u);
  EXPECT_EQ(client.setBufferSizes(1, 1, 0), DRAVIK_STATUS_TIMEOUT);
  EXPECT_EQ(client.selectStreamingDevice(1, 10, 0), DRAVIK_STATUS_TIMEOUT);
  uint32_t render = 0, capture = 0;
  EXPECT_EQ(client.getDeviceConfig(1, 10, render, capture), DRAVIK_STATUS_TIMEOUT);
  EXPECT_EQ(DravikClient().requestTimeout(), 30000u);
}

TEST_F(DriverApiClient, GetDeviceConfigReadsExactlySixteenBytes) {
  struct Case {
    uint32_t code;
    DravikStatus status;
    std::vector<uint8_t> payload;
    DravikStatus expected;
  };
  const Case cases[] = {
      {12001, 0, words({1, 10, 5, 2}), 0},
      {12001, 0, words({1, 10, 5, 2, 0}), DRAVIK_STATUS_INVALID_LENGTH},
      {12001, 0, words({1, 10, 5}), DRAVIK_STATUS_INVALID_MSG_SIZE},
      {12001, 0, {}, DRAVIK_STATUS_INVALID_MSG_SIZE},
      {12001, DRAVIK_STATUS_OBJECT_NOT_FOUND, words({1, 10, 5, 2}), DRAVIK_STATUS_OBJECT_NOT_FOUND},
      {2001, 0, words({1, 10, 5, 2}), DRAVIK_STATUS_UNEXPECTED_MSG_CODE},
  };
  for (const Case& c : cases) {
    answerWith([&](const DravikMessage& r) {
      return std::vector<DravikMessage>{
          fakeReply(r.sequence, c.code, c.status, c.payload.data(), static_cast<uint32_t>(c.payload.size()))};
    });
    uint32_t render = 99, capture = 98;
    EXPECT_EQ(client.getDeviceConfig(1, 10, render, capture), c.expected) << c.payload.size();
    if (c.expected == 0) {
      EXPECT_EQ(render, 5u);
      EXPECT_EQ(capture, 2u);
    } else {
      EXPECT_EQ(render, 99u);
      EXPECT_EQ(capture, 98u);
    }
    const DravikMessage sent = fake.posted().back();
    EXPECT_EQ(sent.code, 11002u);
    EXPECT_EQ(payloadOf(sent), words({1, 10, 0, 0}));
  }
}

// --- Two threads on one client.

// Plays the service behind the fake driver: answers each posted request on
// its own thread, after the test opens the gate.
class ServerThread {
public:
  explicit ServerThread(FakeDriver& fake) : fake_(fake) {
    fake_.setPostHook([this](int h, const DravikMessage& m) {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back({h, m});
      cv_.notify_all();
    });
    thread_ = std::thread([this] { run(); });
  }
  ~ServerThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
      cv_.notify_all();
    }
    thread_.join();
    fake_.setPostHook(nullptr);
  }
  // Requests answered without waiting from now on; false holds them back.
  void setGateOpen(bool open) {
    std::lock_guard<std::mutex> lock(mutex_);
    gateOpen_ = open;
    cv_.notify_all();
  }
  std::atomic<int> answered{0};

private:
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cv_.wait(lock, [&] { return stop_ || (gateOpen_ && !queue_.empty()); });
      if (stop_) return;
      auto [h, request] = queue_.front();
      queue_.pop_front();
      lock.unlock();
      // The reply's status tells which request it answers.
      uint32_t rate = 0;
      std::memcpy(&rate, request.payload, 4);
      fake_.deliverMessage(h, fakeReply(request.sequence, 2001, rate));
      ++answered;
      lock.lock();
    }
  }

  FakeDriver& fake_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::pair<int, DravikMessage>> queue_;
  bool gateOpen_ = true;
  bool stop_ = false;
  std::thread thread_;
};

TEST_F(DriverApiClient, AnExchangeHoldsTheChannelUntilItsReply) {
  ServerThread server(fake);
  server.setGateOpen(false);

  DravikStatus first = 1;
  std::thread requester([&] { first = client.setSampleRate(44100, kLongWaitMs); });
  ASSERT_TRUE(fake.waitForPosts(1, 10000));

  // A state read on the same channel from another thread has to wait.
  WnEvent readDone;
  ASSERT_EQ(readDone.create(true, false), 0u);
  DravikStatus second = 1;
  std::thread reader([&] {
    DravikStreamState state;
    second = client.getStreamState(state);
    readDone.set();
  });
  EXPECT_EQ(wnWaitForSingle(readDone.get(), 300), WN_WAIT_TIMEOUT) << "the read ran inside the exchange";
  EXPECT_TRUE(fake.callsOf(IOCTL_DRAVIK_GET_STREAM_STATE).empty());

  server.setGateOpen(true);
  requester.join();
  reader.join();
  EXPECT_EQ(first, 44100u);
  EXPECT_EQ(second, 0u);

  // In the driver's log the read comes after the exchange's last read.
  const auto calls = fake.calls();
  size_t lastRead = 0, stateRead = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].code == IOCTL_DRAVIK_READ_MESSAGE && calls[i].status == 0) lastRead = i;
    if (calls[i].code == IOCTL_DRAVIK_GET_STREAM_STATE) stateRead = i;
  }
  EXPECT_GT(stateRead, lastRead);
}

TEST_F(DriverApiClient, ADisconnectWaitsForTheExchangeInProgress) {
  ServerThread server(fake);
  server.setGateOpen(false);
  DravikStatus result = 1;
  std::thread requester([&] { result = client.setSampleRate(48000, kLongWaitMs); });
  ASSERT_TRUE(fake.waitForPosts(1, 10000));

  WnEvent disconnected;
  ASSERT_EQ(disconnected.create(true, false), 0u);
  std::thread closer([&] {
    client.disconnect();
    disconnected.set();
  });
  EXPECT_EQ(wnWaitForSingle(disconnected.get(), 300), WN_WAIT_TIMEOUT) << "the events went during the wait";
  server.setGateOpen(true);
  requester.join();
  closer.join();
  EXPECT_EQ(result, 48000u) << "the exchange ended with its reply";
  EXPECT_FALSE(client.isOpen());
}

TEST_F(DriverApiClient, ConcurrentRequestsEachGetTheirOwnReply) {
  ServerThread server(fake);
  constexpr int kRounds = 20;
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (uint32_t t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        const uint32_t rate = 1000 * (t + 1) + static_cast<uint32_t>(i);
        if (client.setSampleRate(rate, kLongWaitMs) != rate) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(server.answered.load(), 3 * kRounds);
  EXPECT_EQ(client.lastSequence(), 3u * kRounds);
}

// --- ASIO client.

class DriverApiAsioClient : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(client.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_ASIO), 0u);
    fake.clearCalls();
  }
  FakeDriver fake;
  DravikAsioClient client;
};

TEST_F(DriverApiAsioClient, AsioRequestsUseTheirCodesAndRecords) {
  StreamFormat format;
  DravikAsioChannelLists lists;
  ChannelDescriptor descriptor;
  DravikAsioLatencies latencies;
  SwitchBlock block{};
  WnEvent switchEvent;
  ASSERT_EQ(switchEvent.create(false, false), 0u);
  alignas(8) static uint8_t buffer[256];
  const uint64_t blockField = reinterpret_cast<uintptr_t>(&block);
  const uint64_t eventField = reinterpret_cast<uintptr_t>(switchEvent.get());
  const uint64_t bufferField = reinterpret_cast<uintptr_t>(buffer);
  auto with64 = [](std::vector<uint8_t> head, std::initializer_list<uint64_t> tail, std::vector<uint8_t> rest) {
    for (uint64_t v : tail)
      for (int i = 0; i < 8; ++i) head.push_back(static_cast<uint8_t>(v >> (8 * i)));
    head.insert(head.end(), rest.begin(), rest.end());
    return head;
  };
  struct Case {
    const char* what;
    std::function<DravikStatus()> call;
    uint32_t code;
    std::vector<uint8_t> in;
    uint32_t outSize;
  };
  const Case cases[] = {
      {"getFormat", [&] { return client.getFormat(format); }, 0x80883C08, {}, 60},
      {"getChannelList", [&] { return client.getChannelList(lists); }, 0x80883C0C, {}, 1544},
      {"getChannelInfo", [&] { return client.getChannelInfo(DravikChannelKey{7, 8}, descriptor); }, 0x80883C10,
       words({7, 8}), 108},
      {"driver getChannelInfo", [&] { return client.getChannelInfo(7, 8, descriptor); }, 0x80882098, words({7, 8}),
       108},
      {"getLatencies", [&] { return client.getLatencies(latencies); }, 0x80883C14, {}, 8},
      {"setSwitchControl", [&] { return client.setSwitchControl(&block, switchEvent.get(), 256); }, 0x80883C80,
       with64({}, {blockField, eventField}, words({256})), 0},
      {"clearSwitchControl", [&] { return client.clearSwitchControl(); }, 0x80883C84, {}, 0},
      {"openChannel", [&] { return client.openChannel({3, 4}); }, 0x80883C40, words({3, 4}), 0},
      {"closeChannel", [&] { return client.closeChannel({3, 4}); }, 0x80883C44, words({3, 4}), 0},
      {"setChannelBuffer", [&] { return client.setChannelBuffer({3, 4}, buffer, 128); }, 0x80883CA0,
       with64(words({3, 4, 128, 4}), {bufferField}, {}), 0},
      {"start", [&] { return client.start(); }, 0x80883CC0, {}, 0},
      {"stop", [&] { return client.stop(); }, 0x80883CC4, {}, 0},
  };
  for (const Case& c : cases) {
    fake.clearCalls();
    EXPECT_EQ(c.call(), 0u) << c.what;
    const auto calls = fake.calls();
    ASSERT_EQ(calls.size(), 1u) << c.what;
    EXPECT_EQ(calls[0].code, c.code) << c.what;
    EXPECT_EQ(calls[0].in, c.in) << c.what;
    EXPECT_EQ(calls[0].outSize, c.outSize) << c.what;
  }
  // Addresses and handles are zero-extended: the upper halves are zero on
  // a 32-bit process.
  if (sizeof(void*) == 4) {
    EXPECT_EQ(blockField >> 32, 0u);
    EXPECT_EQ(eventField >> 32, 0u);
  }
}

TEST_F(DriverApiAsioClient, AsioReadsZeroTheirOutputAndPassFailuresThrough) {
  fake.failCode(IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO, DRAVIK_STATUS_OBJECT_NOT_FOUND);
  ChannelDescriptor descriptor;
  std::memset(&descriptor, 0x66, sizeof descriptor);
  EXPECT_EQ(client.getChannelInfo(DravikChannelKey{1, 2}, descriptor), DRAVIK_STATUS_OBJECT_NOT_FOUND);
  EXPECT_EQ(descriptor.direction, 0u);
  EXPECT_EQ(descriptor.name[0], 0);

  StreamFormat format;
  std::memset(&format, 0x66, sizeof format);
  ASSERT_EQ(client.getFormat(format), 0u);  // the fake fills nothing
  EXPECT_EQ(format.sampleRate, 0u);
  EXPECT_EQ(format.asioBufferSize, 0u);
}

}  // namespace
