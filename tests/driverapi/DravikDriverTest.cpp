// The driver object: connecting, the device list and the message primitives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "FakeDriver.h"
#include "driverapi/DravikDriver.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnWait.h"

namespace {

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}
uint64_t u64At(const std::vector<uint8_t>& bytes, size_t offset) {
  uint64_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 8);
  return v;
}

// --- Connecting.

class DriverApiConnect : public ::testing::Test {
protected:
  FakeDriver fake;
  DravikDriver driver;
};

TEST_F(DriverApiConnect, ConnectHandsOverBothEventsAndRegistersTheMainConnection) {
  ASSERT_EQ(driver.connect(DRAVIK_DEVICE_NAME), 0u);
  ASSERT_NE(driver.messageEventHandle(), nullptr);
  ASSERT_NE(driver.notificationEventHandle(), nullptr);
  const auto events = fake.callsOf(IOCTL_DRAVIK_SET_MESSAGE_EVENTS);
  ASSERT_EQ(events.size(), 1u);
  ASSERT_EQ(events[0].in.size(), 16u);
  EXPECT_EQ(u64At(events[0].in, 0), reinterpret_cast<uintptr_t>(driver.messageEventHandle()));
  EXPECT_EQ(u64At(events[0].in, 8), reinterpret_cast<uintptr_t>(driver.notificationEventHandle()));
  EXPECT_EQ(fake.handle(fake.lastHandle()).initiator, DRAVIK_INITIATOR_CPL_MAIN);
  EXPECT_EQ(std::u16string(driver.driverName()), DRAVIK_DEVICE_NAME);

  // Connected already: nothing more happens.
  fake.clearCalls();
  EXPECT_EQ(driver.connect(DRAVIK_DEVICE_NAME), 0u);
  EXPECT_EQ(driver.connectPlain(DRAVIK_DEVICE_NAME, 3), 0u);
  EXPECT_TRUE(fake.calls().empty());
  EXPECT_EQ(fake.openCount(), 1);
}

TEST_F(DriverApiConnect, TheEventsAreTheOnesTheDriverSignals) {
  ASSERT_EQ(driver.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_ASIO), 0u);
  EXPECT_EQ(fake.handle(fake.lastHandle()).initiator, DRAVIK_INITIATOR_ASIO);
  fake.deliverNotification(fake.lastHandle(), fakeNotification(DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED));
  EXPECT_EQ(wnWaitForSingle(driver.notificationEventHandle(), 10000), WN_WAIT_OBJECT_0);
  EXPECT_EQ(wnWaitForSingle(driver.messageEventHandle(), 0), WN_WAIT_TIMEOUT);
  fake.deliverMessage(fake.lastHandle(), fakeReply(1));
  EXPECT_EQ(wnWaitForSingle(driver.messageEventHandle(), 10000), WN_WAIT_OBJECT_0);
}

TEST_F(DriverApiConnect, AFailedRegistrationDisconnects) {
  fake.failCode(IOCTL_DRAVIK_REGISTER_INITIATOR, DRAVIK_STATUS_ALREADY_DONE);
  EXPECT_EQ(driver.connect(DRAVIK_DEVICE_NAME), DRAVIK_STATUS_ALREADY_DONE);
  EXPECT_FALSE(driver.isOpen());
  EXPECT_EQ(driver.messageEventHandle(), nullptr);
  EXPECT_EQ(driver.notificationEventHandle(), nullptr);
  const auto events = fake.callsOf(IOCTL_DRAVIK_SET_MESSAGE_EVENTS);
  ASSERT_EQ(events.size(), 2u) << "handed over, then withdrawn";
  EXPECT_EQ(u64At(events[1].in, 0), 0u);
  EXPECT_EQ(u64At(events[1].in, 8), 0u);
  EXPECT_TRUE(fake.handle(fake.lastHandle()).closed);
}

TEST_F(DriverApiConnect, OpenDriverHandsOverOnlyTheWantedEvents) {
  ASSERT_EQ(driver.openDriver(DRAVIK_DEVICE_NAME, false, true), 0u);
  EXPECT_EQ(driver.messageEventHandle(), nullptr);
  ASSERT_NE(driver.notificationEventHandle(), nullptr);
  const auto events = fake.callsOf(IOCTL_DRAVIK_SET_MESSAGE_EVENTS);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(u64At(events[0].in, 0), 0u);
  EXPECT_EQ(u64At(events[0].in, 8), reinterpret_cast<uintptr_t>(driver.notificationEventHandle()));
  EXPECT_TRUE(fake.callsOf(IOCTL_DRAVIK_REGISTER_INITIATOR).empty());
}

TEST_F(DriverApiConnect, AFailedEventHandOverClosesTheChannel) {
  fake.failCode(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, DRAVIK_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(driver.openDriver(DRAVIK_DEVICE_NAME, true, true), DRAVIK_STATUS_INVALID_PARAMETER);
  EXPECT_FALSE(driver.isOpen());
  EXPECT_EQ(driver.connectPlain(DRAVIK_DEVICE_NAME, 4), DRAVIK_STATUS_INVALID_PARAMETER);
  EXPECT_FALSE(driver.isOpen());
  EXPECT_TRUE(fake.callsOf(IOCTL_DRAVIK_REGISTER_INITIATOR).empty());
}

TEST_F(DriverApiConnect, ConnectPlainHandsOverNoEvents) {
  ASSERT_EQ(driver.connectPlain(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_MIXER), 0u);
  EXPECT_EQ(driver.messageEventHandle(), nullptr);
  const auto events = fake.callsOf(IOCTL_DRAVIK_SET_MESSAGE_EVENTS);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(u64At(events[0].in, 0), 0u);
  EXPECT_EQ(u64At(events[0].in, 8), 0u);
  EXPECT_EQ(fake.handle(fake.lastHandle()).initiator, DRAVIK_INITIATOR_CPL_MIXER);

  driver.disconnect();
  fake.failCode(IOCTL_DRAVIK_REGISTER_INITIATOR, DRAVIK_STATUS_NO_SERVER);
  EXPECT_EQ(driver.connectPlain(DRAVIK_DEVICE_NAME, 3), DRAVIK_STATUS_NO_SERVER);
  EXPECT_FALSE(driver.isOpen());
}

TEST_F(DriverApiConnect, DisconnectWithdrawsTheEventsAndCanReconnect) {
  ASSERT_EQ(driver.connect(DRAVIK_DEVICE_NAME), 0u);
  const int first = fake.lastHandle();
  driver.disconnect();
  EXPECT_FALSE(driver.isOpen());
  EXPECT_EQ(driver.messageEventHandle(), nullptr);
  const auto events = fake.callsOf(IOCTL_DRAVIK_SET_MESSAGE_EVENTS);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].handle, first);
  EXPECT_EQ(u64At(events[1].in, 0), 0u);
  EXPECT_TRUE(fake.handle(first).closed);
  driver.disconnect();  // harmless when disconnected

  ASSERT_EQ(driver.connect(DRAVIK_DEVICE_NAME), 0u);
  EXPECT_NE(fake.lastHandle(), first);
  EXPECT_NE(driver.messageEventHandle(), nullptr);
}

// --- Device list.

struct Journal {
  std::vector<std::u16string> opened;  // serial and id0, one entry per onOpened
  std::vector<std::u16string> destroyed;
  std::set<uint32_t> failOnOpenedId0;
};

std::u16string serialOf(const DravikDeviceRecord& r) { return std::u16string(r.serialNumber); }

class JournalDevice : public DravikDevice {
public:
  explicit JournalDevice(Journal& journal) : journal_(journal) {}
  ~JournalDevice() override { journal_.destroyed.push_back(serialOf(record())); }
  DravikStatus onOpened() override {
    journal_.opened.push_back(serialOf(record()) + u":" + static_cast<char16_t>(u'0' + record().deviceId0));
    return journal_.failOnOpenedId0.count(record().deviceId0) ? DravikStatus{DRAVIK_STATUS_NO_RESOURCES} : 0u;
  }

private:
  Journal& journal_;
};

class JournalDriver : public DravikDriver {
public:
  explicit JournalDriver(Journal& journal) : journal_(journal) {}
  DravikDevice* createDevice() override {
    ++created;
    return new JournalDevice(journal_);
  }
  int created = 0;

private:
  Journal& journal_;
};

class DriverApiDeviceList : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(driver.connect(DRAVIK_DEVICE_NAME), 0u); }

  std::vector<std::u16string> serials() const {
    std::vector<std::u16string> result;
    for (size_t i = 0; i < driver.deviceCount(); ++i) result.push_back(serialOf(driver.deviceAt(i)->record()));
    return result;
  }
  bool update() {
    bool changed = true;
    EXPECT_EQ(driver.updateDeviceList(changed), 0u);
    return changed;
  }

  FakeDriver fake;
  Journal journal;
  JournalDriver driver{journal};
  const DravikDeviceRecord a = fakeDeviceRecord(1, 10, u"SER-A");
  const DravikDeviceRecord b = fakeDeviceRecord(2, 20, u"SER-B");
  const DravikDeviceRecord c = fakeDeviceRecord(3, 30, u"SER-C");
};

TEST_F(DriverApiDeviceList, NewDevicesAreCreatedBoundAndOpened) {
  fake.setDevices({a, b});
  EXPECT_TRUE(update());
  EXPECT_EQ(serials(), (std::vector<std::u16string>{u"SER-A", u"SER-B"}));
  EXPECT_EQ(journal.opened, (std::vector<std::u16string>{u"SER-A:1", u"SER-B:2"}));
  DravikDevice* devB = driver.findDevice(2, 20);
  ASSERT_NE(devB, nullptr);
  EXPECT_EQ(devB, driver.deviceAt(1));
  EXPECT_TRUE(devB->isOpen());
  EXPECT_EQ(std::u16string(devB->driverName()), DRAVIK_DEVICE_NAME);
  EXPECT_EQ(driver.findDevice(2, 21), nullptr);
  EXPECT_EQ(driver.findDevice(20, 2), nullptr);
  EXPECT_EQ(driver.deviceAt(2), nullptr);

  // Each device has a channel of its own, bound to its identifiers.
  const auto binds = fake.callsOf(IOCTL_DRAVIK_OPEN_DEVICE);
  ASSERT_EQ(binds.size(), 2u);
  EXPECT_NE(binds[0].handle, binds[1].handle);
  const FakeHandle hb = fake.handle(binds[1].handle);
  EXPECT_TRUE(hb.bound);
  EXPECT_EQ(hb.deviceId0, 2u);
  EXPECT_EQ(hb.deviceId1, 20u);
  EXPECT_EQ(hb.path, u"\\\\.\\{4033B9FA-A338-489F-8F9D-10A89289268B}");
}

TEST_F(DriverApiDeviceList, SwappedOrderKeepsTheObjects) {
  fake.setDevices({a, b});
  ASSERT_TRUE(update());
  DravikDevice* devA = driver.findDevice(1, 10);
  DravikDevice* devB = driver.findDevice(2, 20);

  DravikDeviceRecord b2 = b;
  b2.streamingFlags = 1;  // the refreshed record is taken over
  fake.setDevices({b2, a});
  EXPECT_FALSE(update());
  EXPECT_EQ(driver.deviceAt(0), devB);
  EXPECT_EQ(driver.deviceAt(1), devA);
  EXPECT_EQ(devB->record().streamingFlags, 1);
  EXPECT_EQ(driver.created, 2);
  EXPECT_EQ(journal.opened.size(), 2u) << "kept objects are not opened again";
  EXPECT_TRUE(journal.destroyed.empty());
  EXPECT_EQ(fake.callsOf(IOCTL_DRAVIK_OPEN_DEVICE).size(), 2u);
}

TEST_F(DriverApiDeviceList, RemovalAndAdditionAreChanges) {
  fake.setDevices({a, b});
  ASSERT_TRUE(update());
  const int handleOfA = fake.callsOf(IOCTL_DRAVIK_OPEN_DEVICE)[0].handle;

  fake.setDevices({b});
  EXPECT_TRUE(update());
  EXPECT_EQ(serials(), (std::vector<std::u16string>{u"SER-B"}));
  EXPECT_EQ(journal.destroyed, (std::vector<std::u16string>{u"SER-A"}));
  EXPECT_TRUE(fake.handle(handleOfA).closed) << "a destroyed device closes its channel";

  fake.setDevices({b, c});
  EXPECT_TRUE(update());
  EXPECT_EQ(serials(), (std::vector<std::u16string>{u"SER-B", u"SER-C"}));

  EXPECT_FALSE(update()) << "nothing changed";
}

TEST_F(DriverApiDeviceList, IdentityIsVendorProductAndExactSerial) {
  fake.setDevices({a});
  ASSERT_TRUE(update());
  struct Case {
    const char* what;
    DravikDeviceRecord record;
  };
  DravikDeviceRecord otherVendor = a, otherProduct = a, lowerSerial = a, longerSerial = a;
  otherVendor.vendorId ^= 1;
  otherProduct.productId ^= 1;
  lowerSerial.serialNumber[0] = u's';
  longerSerial.serialNumber[5] = u'X';
  const Case cases[] = {{"vendor", otherVendor}, {"product", otherProduct}, {"case", lowerSerial},
                        {"length", longerSerial}};
  for (const Case& k : cases) {
    DravikDevice* before = driver.deviceAt(0);
    fake.setDevices({k.record});
    EXPECT_TRUE(update()) << k.what;
    ASSERT_EQ(driver.deviceCount(), 1u);
    EXPECT_NE(driver.deviceAt(0), before) << k.what << ": another device, another object";
  }
}

TEST_F(DriverApiDeviceList, AFailedListRequestEmptiesTheList) {
  fake.setDevices({a, b});
  ASSERT_TRUE(update());
  fake.failCode(IOCTL_DRAVIK_GET_DEVICE_LIST, DRAVIK_STATUS_DEVICE_REMOVED);
  bool changed = false;
  EXPECT_EQ(driver.updateDeviceList(changed), DRAVIK_STATUS_DEVICE_REMOVED);
  EXPECT_TRUE(changed);
  EXPECT_EQ(driver.deviceCount(), 0u);
  EXPECT_EQ(journal.destroyed.size(), 2u);

  EXPECT_EQ(driver.updateDeviceList(changed), DRAVIK_STATUS_DEVICE_REMOVED);
  EXPECT_FALSE(changed) << "an empty list stays empty";
}

TEST_F(DriverApiDeviceList, ADeviceThatCannotBeOpenedIsLeftOutAndTriedAgain) {
  fake.failOpenDevice(2, 20, DRAVIK_STATUS_NO_DEVICE);
  journal.failOnOpenedId0.insert(3);
  fake.setDevices({a, b, c});
  EXPECT_TRUE(update());
  EXPECT_EQ(serials(), (std::vector<std::u16string>{u"SER-A"}));
  EXPECT_EQ(journal.destroyed.size(), 2u);
  // The failed channels were closed again.
  const auto binds = fake.callsOf(IOCTL_DRAVIK_OPEN_DEVICE);
  ASSERT_EQ(binds.size(), 3u);
  EXPECT_FALSE(fake.handle(binds[0].handle).closed);
  EXPECT_TRUE(fake.handle(binds[1].handle).closed);
  EXPECT_TRUE(fake.handle(binds[2].handle).closed);

  fake.failOpenDevice(2, 20, 0);
  journal.failOnOpenedId0.clear();
  EXPECT_TRUE(update());
  EXPECT_EQ(serials(), (std::vector<std::u16string>{u"SER-A", u"SER-B", u"SER-C"}));
}

TEST_F(DriverApiDeviceList, AReplugWithNewIdentifiersReopensTheObject) {
  fake.setDevices({a, b});
  ASSERT_TRUE(update());
  DravikDevice* devA = driver.findDevice(1, 10);
  const int oldHandle = fake.callsOf(IOCTL_DRAVIK_OPEN_DEVICE)[0].handle;

  DravikDeviceRecord replugged = a;
  replugged.deviceId0 = 7;
  replugged.deviceId1 = 70;
  fake.setDevices({replugged, b});
  EXPECT_TRUE(update());
  EXPECT_EQ(driver.deviceAt(0), devA) << "the object is kept";
  EXPECT_EQ(driver.findDevice(7, 70), devA);
  EXPECT_EQ(driver.findDevice(1, 10), nullptr);
  EXPECT_TRUE(devA->isOpen());
  EXPECT_EQ(journal.opened.back(), u"SER-A:7") << "onOpened runs again with the new record";
  EXPECT_EQ(driver.created, 2);
  EXPECT_TRUE(fake.handle(oldHandle).closed) << "the stale binding is closed";
  const FakeHandle bound = fake.handle(fake.callsOf(IOCTL_DRAVIK_OPEN_DEVICE).back().handle);
  EXPECT_EQ(bound.deviceId0, 7u);
  EXPECT_EQ(bound.deviceId1, 70u);
}

TEST_F(DriverApiDeviceList, AFailingReopenDropsTheDevice) {
  fake.setDevices({a, b});
  ASSERT_TRUE(update());
  DravikDeviceRecord replugged = a;
  replugged.deviceId0 = 8;
  journal.failOnOpenedId0.insert(8);
  fake.setDevices({replugged, b});
  EXPECT_TRUE(update());
  EXPECT_EQ(serials(), (std::vector<std::u16string>{u"SER-B"}));
  EXPECT_EQ(journal.destroyed, (std::vector<std::u16string>{u"SER-A"}));

  journal.failOnOpenedId0.clear();
  EXPECT_TRUE(update()) << "the next update tries again";
  EXPECT_EQ(serials(), (std::vector<std::u16string>{u"SER-A", u"SER-B"}));
}

TEST_F(DriverApiDeviceList, DevicesOutliveADisconnectAndDieWithTheDriver) {
  fake.setDevices({a});
  ASSERT_TRUE(update());
  driver.disconnect();
  ASSERT_EQ(driver.deviceCount(), 1u);
  EXPECT_TRUE(driver.deviceAt(0)->isOpen());
  {
    JournalDriver other(journal);
    ASSERT_EQ(other.connect(DRAVIK_DEVICE_NAME), 0u);
    bool changed = false;
    ASSERT_EQ(other.updateDeviceList(changed), 0u);
    journal.destroyed.clear();
  }
  EXPECT_EQ(journal.destroyed, (std::vector<std::u16string>{u"SER-A"}));
}

// --- Message primitives.

class DriverApiMessages : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(driver.connect(DRAVIK_DEVICE_NAME), 0u);
    handle = fake.lastHandle();
    fake.clearCalls();
  }
  FakeDriver fake;
  DravikDriver driver;
  int handle = 0;
};

TEST_F(DriverApiMessages, PostSendsHeaderAndPayloadOnly) {
  for (uint32_t length : {0u, 1u, 4u, 512u}) {
    DravikMessage m;
    m.init(DRAVIK_MSG_TYPE_REQUEST, 1001);
    uint8_t data[512];
    std::memset(data, 0x5A, sizeof data);
    ASSERT_EQ(m.setPayload(data, length), 0u);
    fake.clearCalls();
    ASSERT_EQ(driver.postMessage(m), 0u);
    const auto posts = fake.callsOf(IOCTL_DRAVIK_POST_MESSAGE);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].in.size(), 32u + length);
    EXPECT_EQ(posts[0].outSize, 0u);
    EXPECT_EQ(u32At(posts[0].in, 4), length);
  }
  DravikMessage corrupt;
  corrupt.init(DRAVIK_MSG_TYPE_REQUEST, 1001);
  corrupt.payloadLength = 513;
  fake.clearCalls();
  EXPECT_EQ(driver.postMessage(corrupt), DRAVIK_STATUS_INVALID_LENGTH);
  EXPECT_TRUE(fake.calls().empty());
}

TEST_F(DriverApiMessages, ReadsZeroTypeAndCodeFirst) {
  // A driver that completes a read without writing anything.
  fake.setResponder([](FakeHandle&, uint32_t code, const uint8_t*, uint32_t, uint8_t*, uint32_t, uint32_t& bytes,
                       DravikStatus& status) {
    if (code != IOCTL_DRAVIK_READ_MESSAGE && code != IOCTL_DRAVIK_READ_NOTIFICATION) return false;
    bytes = 0;
    status = 0;
    return true;
  });
  DravikMessage m;
  m.init(DRAVIK_MSG_TYPE_REPLY, 2001);
  ASSERT_EQ(driver.readMessage(m), 0u);
  EXPECT_EQ(m.type, 0u);
  EXPECT_EQ(m.code, 0u);
  m.init(DRAVIK_MSG_TYPE_NOTIFICATION, 3010);
  ASSERT_EQ(driver.readNotification(m), 0u);
  EXPECT_EQ(m.type, 0u);
  EXPECT_EQ(m.code, 0u);
  for (const FakeCall& call : fake.calls()) {
    EXPECT_TRUE(call.in.empty());
    EXPECT_EQ(call.outSize, 544u);
  }
}

TEST_F(DriverApiMessages, NextNotificationDropsOtherTypes) {
  fake.deliverNotification(handle, fakeNotification(3001, DRAVIK_MSG_TYPE_REPLY));
  fake.deliverNotification(handle, fakeNotification(3002, DRAVIK_MSG_TYPE_NONE));
  fake.deliverNotification(handle, fakeNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED));
  fake.deliverNotification(handle, fakeNotification(3004, DRAVIK_MSG_TYPE_REQUEST));
  DravikMessage m;
  ASSERT_EQ(driver.nextNotification(m), 0u);
  EXPECT_EQ(m.code, 3030u);
  EXPECT_EQ(driver.nextNotification(m), DRAVIK_STATUS_NO_MORE_ITEMS);
  EXPECT_EQ(fake.callsOf(IOCTL_DRAVIK_READ_NOTIFICATION).size(), 5u);

  fake.failCode(IOCTL_DRAVIK_READ_NOTIFICATION, DRAVIK_STATUS_ABORTED);
  EXPECT_EQ(driver.nextNotification(m), DRAVIK_STATUS_ABORTED);
}

TEST_F(DriverApiMessages, DrainTreatsAnEmptyQueueAsSuccess) {
  EXPECT_EQ(driver.drainNotifications(), 0u);
  for (uint32_t code : {3010u, 3011u, 3030u}) fake.deliverNotification(handle, fakeNotification(code));
  EXPECT_EQ(driver.drainNotifications(), 0u);
  DravikMessage m;
  EXPECT_EQ(driver.readNotification(m), DRAVIK_STATUS_NO_MORE_ITEMS);

  fake.failCode(IOCTL_DRAVIK_READ_NOTIFICATION, DRAVIK_STATUS_DEVICE_REMOVED);
  EXPECT_EQ(driver.drainNotifications(), DRAVIK_STATUS_DEVICE_REMOVED);
}

// A request handler that answers by code, as the service does.
class Dispatcher {
public:
  DravikStatus onRequest(const DravikMessage& request, DravikMessage& reply) {
    seen.push_back(request.code);
    EXPECT_EQ(reply.status, DRAVIK_STATUS_INVALID_COMMAND) << "the reply starts as 'unknown command'";
    switch (request.code) {
      case DRAVIK_MSG_SET_SAMPLE_RATE: {
        uint32_t rate = 0;
        return request.readExact(&rate, 4);
      }
      case DRAVIK_MSG_GET_DEVICE_CONFIG: {
        const uint32_t answer[4] = {1, 10, 0, 2};
        reply.code = DRAVIK_MSG_REPLY_DEVICE_CONFIG;
        reply.setPayload(answer, 16);
        return 0;
      }
      case DRAVIK_MSG_SET_POLICY:
        return DRAVIK_STATUS_PENDING;
      default:
        return DRAVIK_STATUS_INVALID_COMMAND;
    }
  }
  void onNotification(const DravikMessage& message) { notified.push_back(message.code); }
  std::vector<uint32_t> seen;
  std::vector<uint32_t> notified;
};

DravikMessage request(uint32_t code, uint32_t sequence, uint32_t routing, const void* payload, uint32_t length) {
  DravikMessage m;
  m.init(DRAVIK_MSG_TYPE_REQUEST, code);
  m.sequence = sequence;
  m.routing0 = routing;
  m.routing1 = routing + 1;
  m.setPayload(payload, length);
  return m;
}

TEST_F(DriverApiMessages, ProcessRequestsAnswersEveryRequestOfTheBatch) {
  const uint32_t rate = 44100;
  const uint16_t shortRate = 1;
  const uint32_t ids[4] = {1, 10, 0, 0};
  fake.deliverMessage(handle, request(DRAVIK_MSG_SET_SAMPLE_RATE, 5, 100, &rate, 4));
  fake.deliverMessage(handle, fakeReply(9));  // not a request: dropped
  fake.deliverMessage(handle, request(DRAVIK_MSG_SET_SAMPLE_RATE, 6, 200, &shortRate, 2));
  fake.deliverMessage(handle, request(DRAVIK_MSG_SET_POLICY, 7, 300, &rate, 4));
  fake.deliverMessage(handle, request(DRAVIK_MSG_GET_DEVICE_CONFIG, 8, 400, ids, 16));
  fake.deliverMessage(handle, request(4242, 9, 500, nullptr, 0));

  Dispatcher dispatcher;
  DravikRequestHandlerForwarderT<Dispatcher> forwarder(&dispatcher, &Dispatcher::onRequest);
  EXPECT_EQ(driver.processRequests(forwarder), 0u);
  EXPECT_EQ(dispatcher.seen, (std::vector<uint32_t>{1001, 1001, 1005, 11002, 4242}));

  const auto replies = fake.posted();
  ASSERT_EQ(replies.size(), 4u) << "no reply for the pending request";
  struct Expected {
    uint32_t sequence, routing, code, status, payloadLength;
  };
  const Expected expected[] = {{5, 100, 2001, 0, 0},
                               {6, 200, 2001, DRAVIK_STATUS_INVALID_MSG_SIZE, 0},
                               {8, 400, 12001, 0, 16},
                               {9, 500, 2001, DRAVIK_STATUS_INVALID_COMMAND, 0}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(replies[i].type, 2u);
    EXPECT_EQ(replies[i].sequence, expected[i].sequence);
    EXPECT_EQ(replies[i].routing0, expected[i].routing);
    EXPECT_EQ(replies[i].routing1, expected[i].routing + 1);
    EXPECT_EQ(replies[i].code, expected[i].code);
    EXPECT_EQ(replies[i].status, expected[i].status);
    EXPECT_EQ(replies[i].payloadLength, expected[i].payloadLength);
  }
  const auto posts = fake.callsOf(IOCTL_DRAVIK_POST_MESSAGE);
  EXPECT_EQ(posts[2].in.size(), 48u);

  fake.failCode(IOCTL_DRAVIK_READ_MESSAGE, DRAVIK_STATUS_ABORTED);
  EXPECT_EQ(driver.processRequests(forwarder), DRAVIK_STATUS_ABORTED);
}

TEST_F(DriverApiMessages, ProcessNotificationsAndPostNotification) {
  fake.deliverNotification(handle, fakeNotification(3003));
  fake.deliverNotification(handle, fakeNotification(3004, DRAVIK_MSG_TYPE_REPLY));
  fake.deliverNotification(handle, fakeNotification(3005));
  Dispatcher dispatcher;
  DravikNotificationHandlerForwarderT<Dispatcher> forwarder(&dispatcher, &Dispatcher::onNotification);
  EXPECT_EQ(driver.processNotifications(forwarder), 0u);
  EXPECT_EQ(dispatcher.notified, (std::vector<uint32_t>{3003, 3005}));

  ASSERT_EQ(driver.postNotification(DRAVIK_NOTIFY_STREAM_RESTARTED), 0u);
  const auto posted = fake.posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, 3u);
  EXPECT_EQ(posted[0].code, 3010u);
  EXPECT_EQ(posted[0].sequence, 0u);
  EXPECT_EQ(posted[0].payloadLength, 0u);
  EXPECT_EQ(fake.callsOf(IOCTL_DRAVIK_POST_MESSAGE)[0].in.size(), 32u);
}

// --- Typed requests on the driver channel: codes, sizes and payloads.

TEST_F(DriverApiMessages, TypedDriverRequestsUseTheirCodesAndSizes) {
  DravikStreamState state;
  DravikSampleRateInfo rates;
  DravikBufferInfo buffers;
  DravikErrorCounters errors;
  uint32_t policy = 0;
  DravikChannelList channels;
  ChannelDescriptor descriptor;
  struct Case {
    const char* what;
    std::function<DravikStatus()> call;
    uint32_t code;
    std::vector<uint8_t> in;
    uint32_t outSize;
  };
  auto words = [](std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> bytes;
    for (uint32_t v : values)
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return bytes;
  };
  const Case cases[] = {
      {"getStreamState", [&] { return driver.getStreamState(state); }, 0x808820D0, {}, 36},
      {"getSampleRateInfo", [&] { return driver.getSampleRateInfo(rates); }, 0x808820C0, {}, 56},
      {"getBufferInfo", [&] { return driver.getBufferInfo(buffers); }, 0x808820C4, {}, 32},
      {"getErrorCounters", [&] { return driver.getErrorCounters(errors); }, 0x808820D4, {}, 20},
      {"getPolicy", [&] { return driver.getPolicy(policy); }, 0x80882410, {}, 4},
      {"getInputChannels", [&] { return driver.getInputChannels(channels); }, 0x80882090, {}, 772},
      {"getOutputChannels", [&] { return driver.getOutputChannels(channels); }, 0x80882094, {}, 772},
      {"getChannelInfo", [&] { return driver.getChannelInfo(0x11, 0x22, descriptor); }, 0x80882098,
       words({0x11, 0x22}), 108},
      {"openDevice", [&] { return driver.openDevice(3, 4); }, 0x80882084, words({3, 4}), 0},
      {"streamCommand", [&] { return driver.streamCommand(2, 1); }, 0x80882100, words({2, 1}), 0},
      {"ioctlSetSampleRate", [&] { return driver.ioctlSetSampleRate(96000); }, 0x80882400, words({96000}), 0},
      {"ioctlSetBufferSizes", [&] { return driver.ioctlSetBufferSizes({1, 2, 3}); }, 0x80882404,
       words({1, 2, 3}), 0},
      {"ioctlSetPendingSampleRate", [&] { return driver.ioctlSetPendingSampleRate(48000); }, 0x80882408,
       words({48000}), 0},
      {"ioctlSetPolicy", [&] { return driver.ioctlSetPolicy(1); }, 0x8088240C, words({1}), 0},
      {"ioctlSelectStreamingDevice", [&] { return driver.ioctlSelectStreamingDevice({0, 0, 1}); }, 0x80882440,
       words({0, 0, 1}), 0},
      {"registerInitiator", [&] { return driver.registerInitiator(4); }, 0x80882064, words({4}), 0},
      {"getDeviceList", [&] {
         DravikDeviceList list;
         return driver.getDeviceList(list);
       }, 0x80882080, {}, 1124},
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
}

TEST_F(DriverApiMessages, TypedReadsZeroTheirOutputFirst) {
  // The driver answers with fewer bytes than the record holds.
  fake.setResponder([](FakeHandle&, uint32_t code, const uint8_t*, uint32_t, uint8_t* out, uint32_t,
                       uint32_t& bytes, DravikStatus& status) {
    if (code != IOCTL_DRAVIK_GET_STREAM_STATE) return false;
    const uint32_t running = DRAVIK_STREAM_RUNNING;
    std::memcpy(out, &running, 4);
    bytes = 4;
    status = 0;
    return true;
  });
  DravikStreamState state;
  std::memset(&state, 0xCD, sizeof state);
  ASSERT_EQ(driver.getStreamState(state), 0u);
  EXPECT_EQ(state.streamState, DRAVIK_STREAM_RUNNING);
  EXPECT_EQ(state.sampleRate, 0u);
  EXPECT_EQ(state.reserved, 0u);
}

}  // namespace
