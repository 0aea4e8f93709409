// The message relay: registration, routing of requests, replies and
// notifications, the queues and their events, and the reply controls.
#include "SimTestSupport.h"

namespace {

class SimRelayBench : public ::testing::Test {
protected:
  SimBench bench;
  ClientEvents serverEvents, aEvents, bEvents;
  SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE, &serverEvents);
  SimHandleId a = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN, &aEvents);
  SimHandleId b = bench.openRegistered(DRAVIK_INITIATOR_ASIO, &bEvents);

  void SetUp() override {
    // Registering the ASIO handle raised 3003 already; start from empty queues.
    for (SimHandleId h : {server, a, b}) bench.drainNotifications(h);
    for (ClientEvents* e : {&serverEvents, &aEvents, &bEvents}) {
      signalled(e->message);
      signalled(e->notification);
    }
  }

  // Posts a request from a client; the server reads it.
  DravikMessage requestThroughServer(SimHandleId client, uint32_t sequence, uint32_t rate) {
    DravikMessage request = makeMessage(DRAVIK_MSG_TYPE_REQUEST, DRAVIK_MSG_SET_SAMPLE_RATE, &rate, 4);
    request.sequence = sequence;
    request.routing0 = 0x1111;  // whatever a client leaves there, the driver fills it in
    EXPECT_STATUS(0, bench.post(client, request));
    EXPECT_TRUE(signalled(serverEvents.message, kEventTimeoutMs));
    DravikMessage got;
    uint32_t bytes = 0;
    EXPECT_STATUS(0, bench.read(server, false, got, &bytes));
    EXPECT_EQ(36u, bytes);
    return got;
  }
  DravikMessage replyTo(const DravikMessage& request, DravikStatus status) {
    DravikMessage reply = makeMessage(DRAVIK_MSG_TYPE_REPLY, DRAVIK_MSG_REPLY);
    reply.sequence = request.sequence;
    reply.routing0 = request.routing0;
    reply.routing1 = request.routing1;
    reply.status = status;
    return reply;
  }
};

TEST_F(SimRelayBench, RequestReachesTheServerAndTheReplyOnlyItsSender) {
  const DravikMessage fromA = requestThroughServer(a, 7, 44100);
  const DravikMessage fromB = requestThroughServer(b, 7, 96000);
  EXPECT_EQ(DRAVIK_MSG_TYPE_REQUEST, fromA.type);
  EXPECT_EQ(DRAVIK_MSG_SET_SAMPLE_RATE, fromA.code);
  EXPECT_EQ(7u, fromA.sequence);
  EXPECT_EQ(4u, fromA.payloadLength);
  uint32_t rate = 0;
  std::memcpy(&rate, fromA.payload, 4);
  EXPECT_EQ(44100u, rate);
  // Same sequence number from two clients: the routing fields tell them apart.
  EXPECT_TRUE(fromA.routing0 != fromB.routing0 || fromA.routing1 != fromB.routing1);

  DravikMessage reply = replyTo(fromB, DRAVIK_STATUS_SOUND_DEVICE_IN_USE);
  ASSERT_STATUS(0, bench.post(server, reply));
  EXPECT_TRUE(signalled(bEvents.message, kEventTimeoutMs));
  EXPECT_FALSE(signalled(aEvents.message));

  DravikMessage got;
  uint32_t bytes = 0;
  ASSERT_STATUS(0, bench.read(b, false, got, &bytes));
  EXPECT_EQ(32u, bytes);
  EXPECT_EQ(0, std::memcmp(&reply, &got, 32)) << "the reply's header arrives unchanged";
  EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(a, false, got));
  EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(b, false, got));
}

TEST_F(SimRelayBench, NotificationsGoToEveryRegisteredHandleWithTheirPayload) {
  const SimHandleId plain = bench.open();  // never registers: gets nothing
  const uint32_t payload[4] = {1, 2, 3, 4};
  DravikMessage n = makeMessage(DRAVIK_MSG_TYPE_NOTIFICATION, DRAVIK_NOTIFY_STREAM_RESTARTED, payload, sizeof payload);
  ASSERT_STATUS(0, bench.post(server, n));
  for (auto [h, e] : {std::pair{server, &serverEvents}, std::pair{a, &aEvents}, std::pair{b, &bEvents}}) {
    SCOPED_TRACE(h);
    EXPECT_TRUE(signalled(e->notification, kEventTimeoutMs));
    DravikMessage got;
    uint32_t bytes = 0;
    ASSERT_STATUS(0, bench.read(h, true, got, &bytes));
    EXPECT_EQ(48u, bytes);
    EXPECT_EQ(0, std::memcmp(&n, &got, 48));
    EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(h, true, got));
  }
  DravikMessage got;
  EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(plain, true, got));
}

TEST_F(SimRelayBench, OnlyTheServerRepliesAndNotifiesAndOnlyRegisteredHandlesPost) {
  DravikMessage reply = makeMessage(DRAVIK_MSG_TYPE_REPLY, DRAVIK_MSG_REPLY);
  EXPECT_STATUS(DRAVIK_STATUS_NOT_ALLOWED, bench.post(a, reply));
  EXPECT_STATUS(DRAVIK_STATUS_NOT_ALLOWED, bench.post(a, makeMessage(DRAVIK_MSG_TYPE_NOTIFICATION, 3010)));
  EXPECT_STATUS(DRAVIK_STATUS_INITIATOR_NOT_FOUND, bench.post(bench.open(), makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001)));
  for (uint32_t type : {0u, 4u, 0xFFFFFFFFu})
    EXPECT_STATUS(DRAVIK_STATUS_INVALID_MSG_TYPE, bench.post(a, makeMessage(type, 1001)));
  DravikMessage badHeader = makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001);
  badHeader.headerSize = 28;
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_HD_SIZE, bench.post(a, badHeader));
}

TEST_F(SimRelayBench, AReplyForAClosedClientIsDroppedSilently) {
  const DravikMessage request = requestThroughServer(a, 1, 48000);
  bench.driver.closeHandle(a);
  EXPECT_STATUS(0, bench.post(server, replyTo(request, 0)));
  // A new handle may get the old one's place in no table: it receives nothing.
  const SimHandleId c = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN);
  DravikMessage got;
  EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(c, false, got));
  EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(b, false, got));
}

TEST(SimRelayRegistration, OneServerAtATimeAndNoServerNoRequests) {
  SimBench bench;
  const SimHandleId client = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN);
  EXPECT_STATUS(DRAVIK_STATUS_NO_SERVER, bench.post(client, makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001)));

  const SimHandleId first = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  const SimHandleId second = bench.open();
  EXPECT_STATUS(DRAVIK_STATUS_ALREADY_DONE, bench.send(second, IOCTL_DRAVIK_REGISTER_INITIATOR, uint32_t{0}));
  EXPECT_STATUS(0, bench.post(client, makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001)));

  bench.driver.closeHandle(first);  // its queued request goes with it
  EXPECT_STATUS(DRAVIK_STATUS_NO_SERVER, bench.post(client, makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001)));
  EXPECT_STATUS(0, bench.send(second, IOCTL_DRAVIK_REGISTER_INITIATOR, uint32_t{0}));
  DravikMessage got;
  EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(second, false, got));
  EXPECT_STATUS(0, bench.post(client, makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001)));
  EXPECT_STATUS(0, bench.read(second, false, got));

  // A handle registers once; types beyond 4 do not exist.
  EXPECT_STATUS(DRAVIK_STATUS_ALREADY_DONE, bench.send(client, IOCTL_DRAVIK_REGISTER_INITIATOR, uint32_t{3}));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.send(bench.open(), IOCTL_DRAVIK_REGISTER_INITIATOR, uint32_t{5}));
}

TEST(SimRelayQueues, FullQueuesRefuseDirectMessagesAndSkipBroadcasts) {
  SimDriverConfig config = manualClockConfig();
  config.queueCapacity = 3;
  SimBench bench(config);
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  const SimHandleId client = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN);
  for (int i = 0; i < 3; ++i) EXPECT_STATUS(0, bench.post(client, makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001)));
  EXPECT_STATUS(DRAVIK_STATUS_NO_RESOURCES, bench.post(client, makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001)));

  for (int i = 0; i < 4; ++i) EXPECT_STATUS(0, bench.post(server, makeMessage(DRAVIK_MSG_TYPE_NOTIFICATION, 3010 + i)));
  const std::vector<uint32_t> codes = bench.drainNotifications(client);
  EXPECT_EQ((std::vector<uint32_t>{3010, 3011, 3012}), codes) << "the oldest are kept, the overflow is dropped";
  for (const SimHandleInfo& info : bench.scenario().handles())
    if (info.id == client) {
      EXPECT_EQ(1u, info.droppedNotifications);
    }
}

TEST(SimRelayEvents, HandingOverAnEventWithMessagesQueuedSignalsItAndZeroWithdraws) {
  SimBench bench;
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  const SimHandleId client = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN);
  ASSERT_STATUS(0, bench.post(server, makeMessage(DRAVIK_MSG_TYPE_NOTIFICATION, 3030)));
  ClientEvents events;
  ASSERT_STATUS(0, bench.send(client, IOCTL_DRAVIK_SET_MESSAGE_EVENTS, events.record()));
  EXPECT_TRUE(signalled(events.notification, kEventTimeoutMs));
  EXPECT_FALSE(signalled(events.message));

  // The driver keeps its own reference: the client closing its handle does
  // not make the driver signal a dead one.
  ASSERT_STATUS(0, bench.send(client, IOCTL_DRAVIK_SET_MESSAGE_EVENTS, DravikMessageEvents{0, 0}));
  ASSERT_STATUS(0, bench.post(server, makeMessage(DRAVIK_MSG_TYPE_NOTIFICATION, 3030)));
  EXPECT_FALSE(signalled(events.notification));
  for (const SimHandleInfo& info : bench.scenario().handles())
    if (info.id == client) {
      EXPECT_FALSE(info.hasNotificationEvent);
    }

  // A handle value that is no event of this process.
  EXPECT_STATUS(WN_ERROR_INVALID_HANDLE,
                bench.send(client, IOCTL_DRAVIK_SET_MESSAGE_EVENTS, DravikMessageEvents{0x7FFFFFF0u, 0}));
}

TEST(SimRelayEvents, AnEventStaysUsableAfterTheClientClosedItsOwnHandle) {
  SimBench bench;
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  auto events = std::make_unique<ClientEvents>();
  const SimHandleId client = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN, events.get());
  events.reset();
  EXPECT_STATUS(0, bench.post(server, makeMessage(DRAVIK_MSG_TYPE_NOTIFICATION, 3030)));
  EXPECT_EQ((std::vector<uint32_t>{3030}), bench.drainNotifications(client));
}

TEST_F(SimRelayBench, HeldRepliesWaitForTheReleaseInOrder) {
  ASSERT_STATUS(0, bench.scenario().holdReplies(a));
  const DravikMessage r1 = requestThroughServer(a, 1, 44100);
  const DravikMessage r2 = requestThroughServer(a, 2, 48000);
  ASSERT_STATUS(0, bench.post(server, replyTo(r1, 0)));
  ASSERT_STATUS(0, bench.post(server, replyTo(r2, 0)));
  DravikMessage got;
  EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(a, false, got));
  EXPECT_FALSE(signalled(aEvents.message));

  ASSERT_STATUS(0, bench.scenario().releaseReplies(a));
  EXPECT_TRUE(signalled(aEvents.message, kEventTimeoutMs));
  ASSERT_STATUS(0, bench.read(a, false, got));
  EXPECT_EQ(1u, got.sequence);
  ASSERT_STATUS(0, bench.read(a, false, got));
  EXPECT_EQ(2u, got.sequence);
  // Released: the next reply comes at once again.
  const DravikMessage r3 = requestThroughServer(a, 3, 96000);
  ASSERT_STATUS(0, bench.post(server, replyTo(r3, 0)));
  ASSERT_STATUS(0, bench.read(a, false, got));
  EXPECT_EQ(3u, got.sequence);
}

TEST_F(SimRelayBench, DelayedRepliesArriveLater) {
  ASSERT_STATUS(0, bench.scenario().delayReplies(a, 3000));
  const DravikMessage r = requestThroughServer(a, 9, 44100);
  ASSERT_STATUS(0, bench.post(server, replyTo(r, 0)));
  size_t parked = 0;
  for (const SimHandleInfo& info : bench.scenario().handles())
    if (info.id == a) parked = info.parkedReplies;
  EXPECT_EQ(1u, parked) << "the reply is parked, not queued";
  EXPECT_TRUE(signalled(aEvents.message, kEventTimeoutMs));
  DravikMessage got;
  ASSERT_STATUS(0, bench.read(a, false, got));
  EXPECT_EQ(9u, got.sequence);
}

}  // namespace
