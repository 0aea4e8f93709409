#include "ServerFixture.h"

#include <cstring>

#include "driverapi/DravikMessage.h"
#include "platform/WnRegistryKey.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"
#include "service/ServiceIdentity.h"

namespace {

const char16_t* const kTestSerials[] = {u"T8-0001", u"T8-0002", u"T8-0003"};

std::u16string devicesPath() {
  return std::u16string(TOVIX8_REGISTRY_ROOT) + u"\\" + TOVIX8_DEVICES_SUBKEY;
}

}  // namespace

void clearDeviceRegistry() {
  WnRegistryKey devices;
  if (devices.openExisting(wnHkeyLocalMachine(), devicesPath().c_str(), WN_KEY_READ | WN_KEY_WRITE) != 0) return;
  for (const char16_t* serial : kTestSerials) devices.deleteSubKey(serial);
}

void writeDeviceValue(const std::u16string& serial, const char16_t* name, uint32_t type, const void* data,
                      uint32_t size) {
  WnRegistryKey key;
  ASSERT_EQ(0u, key.create(wnHkeyLocalMachine(), (devicesPath() + u"\\" + serial).c_str(), WN_KEY_READ | WN_KEY_WRITE));
  ASSERT_EQ(0u, key.writeRaw(name, type, data, size));
}

bool readDeviceDword(const std::u16string& serial, const char16_t* name, uint32_t& value) {
  WnRegistryKey key;
  if (key.openExisting(wnHkeyLocalMachine(), (devicesPath() + u"\\" + serial).c_str(), WN_KEY_READ) != 0) return false;
  return key.readDword(name, value) == 0;
}

std::vector<uint32_t> streamCommands(const std::vector<SimJournalEntry>& entries) {
  std::vector<uint32_t> out;
  for (const SimJournalEntry& e : entries) {
    if (e.code != IOCTL_DRAVIK_STREAM_COMMAND || e.input.size() < 8) continue;
    uint32_t command = 0;
    std::memcpy(&command, e.input.data(), 4);
    out.push_back(command);
  }
  return out;
}

std::vector<uint32_t> postedCodes(const std::vector<SimJournalEntry>& entries, uint32_t type) {
  std::vector<uint32_t> out;
  for (const SimJournalEntry& e : entries) {
    if (e.code != IOCTL_DRAVIK_POST_MESSAGE || e.input.size() < DRAVIK_MSG_HEADER_SIZE) continue;
    uint32_t header[8];
    std::memcpy(header, e.input.data(), sizeof header);
    if (header[2] == type) out.push_back(header[3]);
  }
  return out;
}

size_t countCode(const std::vector<SimJournalEntry>& entries, uint32_t code) {
  size_t n = 0;
  for (const SimJournalEntry& e : entries)
    if (e.code == code) ++n;
  return n;
}

ServerFixture::ServerFixture()
    : server_(std::make_unique<CustomServer>()),
      body_(this, &ServerFixture::serverBody),
      pnpForwarder_(this, &ServerFixture::onDeviceChange) {
  stop_.create(false, false);
  arrival_.create(false, false);
  client_.setRequestTimeout(kRequestTimeoutMs);
  clearDeviceRegistry();
}

ServerFixture::~ServerFixture() {
  stopServer();
  pnp_.stop();
  client_.disconnect();
  server_.reset();
  dravikSetTransportFactory(nullptr);
  factory_.reset();
  sim_.reset();
  clearDeviceRegistry();
}

void ServerFixture::TearDown() { stopServer(); }

void ServerFixture::startSim(const SimDriverConfig& config) {
  sim_ = std::make_unique<SimDriver>(config);
  factory_ = std::make_unique<SimInProcessTransportFactory>(*sim_);
  dravikSetTransportFactory(factory_.get());
}

uint32_t ServerFixture::serverBody() {
  runResult_ = server_->run(stop_.get(), arrival_.get());
  return 0;
}

void ServerFixture::onDeviceChange(uint32_t eventType, const WnDeviceInterfaceBroadcast*) {
  if (eventType == WN_DBT_DEVICEARRIVAL) arrival_.set();
}

void ServerFixture::startServer() {
  if (!sim_) startSim();
  ASSERT_EQ(0u, client_.connect(DRAVIK_DEVICE_NAME));
  ASSERT_EQ(0u, pnp_.start(&pnpForwarder_, nullptr));
  WnGuid guid{};
  server_->interfaceGuid(guid);
  ASSERT_EQ(0u, pnp_.registerInterface(guid));
  ASSERT_EQ(0u, thread_.start(&body_, 0, 0));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "the server did not start";
}

DravikStatus ServerFixture::stopServer() {
  if (thread_.isValid()) {
    stop_.set();
    EXPECT_EQ(0u, thread_.wait(60000));
  }
  return runResult_;
}

DravikDeviceId ServerFixture::deviceIds(const std::u16string& serial) {
  DravikDeviceId ids{};
  EXPECT_EQ(0u, sc().deviceIds(serial, ids));
  return ids;
}

SimDeviceSnapshot ServerFixture::snapshot(const std::u16string& serial) {
  SimDeviceSnapshot s;
  EXPECT_EQ(0u, sc().deviceSnapshot(serial, s));
  return s;
}

uint64_t ServerFixture::mark() {
  const std::vector<SimJournalEntry> all = sc().journal();
  return all.empty() ? 0 : all.back().serial;
}

std::vector<SimJournalEntry> ServerFixture::since(uint64_t mark, SimHandleId handle) {
  std::vector<SimJournalEntry> out;
  for (SimJournalEntry& e : sc().journal(handle))
    if (e.serial > mark) out.push_back(std::move(e));
  return out;
}

void ServerFixture::drainClient() {
  DravikMessage message;
  while (client_.nextNotification(message) == DRAVIK_STATUS_SUCCESS) received_.push_back(message.code);
}

bool ServerFixture::waitForNotification(uint32_t code, uint32_t timeoutMs) {
  const uint64_t deadline = wnMonotonicNanos() + uint64_t{timeoutMs} * 1000000u;
  for (;;) {
    drainClient();
    for (size_t i = cursor_; i < received_.size(); ++i) {
      if (received_[i] == code) {
        cursor_ = i + 1;
        return true;
      }
    }
    const uint64_t now = wnMonotonicNanos();
    if (now >= deadline) return false;
    const uint32_t leftMs = static_cast<uint32_t>((deadline - now) / 1000000u) + 1;
    wnWaitForSingle(client_.notificationEventHandle(), leftMs);
  }
}

const std::vector<uint32_t>& ServerFixture::received() {
  drainClient();
  return received_;
}

void ServerFixture::forgetNotifications() {
  drainClient();
  received_.clear();
  cursor_ = 0;
}

void ServerFixture::barrier() {
  drainClient();
  cursor_ = received_.size();
  sc().raiseNotification(DRAVIK_NOTIFY_DEVICE_REMOVED);
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "the server did not answer 3020";
}

bool ServerFixture::platformRaisesInterfaceEvents() {
  // An event for a class nobody registered: only tells whether it can be raised.
  const WnGuid nobody = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
  return wnRaiseDeviceInterfaceEvent(nobody, WN_DBT_DEVICEARRIVAL) != WN_ERROR_NOT_SUPPORTED;
}

DravikStatus ServerFixture::plugDevice(const SimDeviceConfig& config) {
  const DravikStatus status = sc().plugDevice(config);
  if (status == 0 && !platformRaisesInterfaceEvents()) arrival_.set();
  return status;
}

DravikStatus ServerFixture::rawRequest(uint32_t code, const void* payload, uint32_t length, DravikMessage* replyOut) {
  DravikMessage request;
  request.init(DRAVIK_MSG_TYPE_REQUEST, code);
  if (DravikStatus s = request.setPayload(payload, length)) return s;
  DravikMessage reply;
  reply.init(DRAVIK_MSG_TYPE_NONE, 0);
  if (DravikStatus s = client_.sendRequest(request, reply, kRequestTimeoutMs)) return s;
  if (replyOut) *replyOut = reply;
  return reply.status;
}
