#include "AsioTestSupport.h"

#include <chrono>
#include <cstring>

#include "asio/AsioProduct.h"
#include "asio/AsioServer.h"
#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessageHandlers.h"
#include "platform/WnMemory.h"
#include "platform/WnWait.h"

namespace asiotest {

// --- TestService.

TestService::TestService(SimDriver& sim) : sim_(sim) { stop_.create(true, false); }

TestService::~TestService() { stop(); }

DravikStatus TestService::start() {
  if (DravikStatus s = driver_.openDriver(DRAVIK_DEVICE_NAME, true, true)) return s;
  if (DravikStatus s = driver_.registerInitiator(DRAVIK_INITIATOR_SERVICE)) {
    driver_.disconnect();
    return s;
  }
  stop_.reset();
  thread_ = std::thread([this] { run(); });
  return 0;
}

void TestService::stop() {
  stop_.set();
  if (thread_.joinable()) thread_.join();
  driver_.disconnect();
}

std::vector<uint32_t> TestService::rates() {
  std::lock_guard<std::mutex> lock(mutex_);
  return rates_;
}

std::vector<uint8_t> TestService::formats() {
  std::lock_guard<std::mutex> lock(mutex_);
  return formats_;
}

void TestService::run() {
  DravikRequestHandlerForwarderT<TestService> requests(this, &TestService::onRequest);
  const WnRawHandle handles[2] = {stop_.get(), driver_.messageEventHandle()};
  for (;;) {
    if (wnWaitForMultiple(2, handles, WN_INFINITE, false) != WN_WAIT_OBJECT_0 + 1) return;
    driver_.processRequests(requests);
  }
}

DravikStatus TestService::onRequest(const DravikMessage& request, DravikMessage& /*reply*/) {
  switch (request.code) {
    case DRAVIK_MSG_SET_SAMPLE_RATE: {
      uint32_t rate = 0;
      if (DravikStatus s = request.readExact(&rate, sizeof rate)) return s;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        rates_.push_back(rate);
      }
      const DravikStatus status = rateStatus.load();
      if (status != 0) return status;
      const SimSettings settings = sim_.scenario().settings();
      std::vector<uint32_t> list(settings.sampleRates.rates, settings.sampleRates.rates + settings.sampleRates.count);
      sim_.scenario().setSampleRates(list, rate);
      if (changeLayoutOnRate.exchange(false))
        sim_.scenario().failRequest(IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO, DRAVIK_STATUS_FAILED, 1);
      return 0;
    }
    case DRAVIK_MSG_SET_IO_FORMAT: {
      uint8_t format = 0;
      if (DravikStatus s = request.readExact(&format, sizeof format)) return s;
      std::lock_guard<std::mutex> lock(mutex_);
      formats_.push_back(format);
      return formatStatus.load();
    }
    default:
      return DRAVIK_STATUS_INVALID_COMMAND;
  }
}

// --- ShapingTransportFactory.

namespace {

class ShapingTransport : public DravikTransport {
public:
  ShapingTransport(ShapingTransportFactory& factory, std::unique_ptr<DravikTransport> inner)
      : factory_(factory), inner_(std::move(inner)) {}
  DravikStatus ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* bytesReturned) override {
    const DravikStatus status = inner_->ioControl(code, in, inSize, out, outSize, bytesReturned);
    if (status == 0 && out) factory_.reshape(code, out, outSize);
    return status;
  }

private:
  ShapingTransportFactory& factory_;
  std::unique_ptr<DravikTransport> inner_;
};

}  // namespace

DravikStatus ShapingTransportFactory::open(const char16_t* path, WnRawHandle ioEvent,
                                           std::unique_ptr<DravikTransport>& out) {
  std::unique_ptr<DravikTransport> inner;
  if (DravikStatus s = inner_.open(path, ioEvent, inner)) return s;
  out = std::make_unique<ShapingTransport>(*this, std::move(inner));
  return 0;
}

void ShapingTransportFactory::setShaper(Shaper shaper) {
  std::lock_guard<std::mutex> lock(mutex_);
  shaper_ = std::move(shaper);
}

void ShapingTransportFactory::reshape(uint32_t code, void* out, uint32_t outSize) {
  Shaper shaper;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shaper = shaper_;
  }
  if (shaper) shaper(code, out, outSize);
}

// --- TestHost.

TestHost* TestHost::current_ = nullptr;

TestHost::TestHost() {
  current_ = this;
  callbacks.bufferSwitch = &TestHost::bufferSwitch;
  callbacks.sampleRateDidChange = nullptr;
  callbacks.asioMessage = &TestHost::asioMessage;
  callbacks.bufferSwitchTimeInfo = &TestHost::bufferSwitchTimeInfo;
}

TestHost::~TestHost() { current_ = nullptr; }

void TestHost::record(const SwitchCall& call) {
  if (onSwitch) onSwitch(call.index);
  std::lock_guard<std::mutex> lock(mutex_);
  switches_.push_back(call);
  changed_.notify_all();
}

void WN_CDECL TestHost::bufferSwitch(AsioLong index, ASIOBool /*directProcess*/) {
  TestHost* host = current_;
  SwitchCall call{index, false, 0, 0, 0.0, 0.0, 0};
  if (host->driver) {
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    host->driver->getSamplePosition(&position, &stamp);
    call.samplePosition = asioJoin(position);
    call.systemTime = asioJoin(stamp);
  }
  host->record(call);
}

ASIOTime* WN_CDECL TestHost::bufferSwitchTimeInfo(ASIOTime* params, AsioLong index, ASIOBool /*directProcess*/) {
  SwitchCall call{index,
                  true,
                  asioJoin(params->timeInfo.samplePosition),
                  asioJoin(params->timeInfo.systemTime),
                  params->timeInfo.speed,
                  params->timeInfo.sampleRate,
                  params->timeInfo.flags};
  current_->record(call);
  return params;
}

AsioLong WN_CDECL TestHost::asioMessage(AsioLong selector, AsioLong value, void* /*message*/, double* /*opt*/) {
  TestHost* host = current_;
  AsioLong answer = 0;
  if (selector == kAsioSupportsTimeInfo)
    answer = host->supportsTimeInfo ? 1 : 0;
  else if (selector == kAsioSelectorSupported)
    answer = host->supported.count(value) ? 1 : 0;
  else if (selector == kAsioEngineVersion)
    answer = 2;
  std::lock_guard<std::mutex> lock(host->mutex_);
  host->messages_.emplace_back(selector, value);
  host->changed_.notify_all();
  return answer;
}

std::vector<SwitchCall> TestHost::switches() {
  std::lock_guard<std::mutex> lock(mutex_);
  return switches_;
}

std::vector<std::pair<AsioLong, AsioLong>> TestHost::messages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

void TestHost::clearMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
}

size_t TestHost::countMessages(AsioLong selector) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const auto& m : messages_)
    if (m.first == selector) ++n;
  return n;
}

bool TestHost::waitForSwitches(size_t count, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return switches_.size() >= count; });
}

bool TestHost::waitForMessage(AsioLong selector, size_t count, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    size_t n = 0;
    for (const auto& m : messages_)
      if (m.first == selector) ++n;
    return n >= count;
  });
}

// --- RecordingAllocator.

void* RecordingAllocator::allocate(size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int call = calls_++;
  if (failFrom_ >= 0 && call >= failFrom_) return nullptr;
  void* block = wnVirtualAlloc(bytes);
  if (block) blocks_.push_back(Block{reinterpret_cast<uintptr_t>(block), bytes});
  return block;
}

void RecordingAllocator::release(void* block, size_t bytes) {
  if (!block) return;
  const std::vector<SimJournalEntry> journal = sim_.scenario().journal();
  const uint64_t serial = journal.empty() ? 0 : journal.back().serial;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Block& b : blocks_)
      if (b.address == reinterpret_cast<uintptr_t>(block) && !b.released) {
        EXPECT_EQ(b.bytes, bytes) << "a block is released with another size than it was taken";
        b.released = true;
        b.releasedAfterSerial = serial;
      }
  }
  wnVirtualFree(block);
}

void RecordingAllocator::failAfter(int n) {
  std::lock_guard<std::mutex> lock(mutex_);
  failFrom_ = n < 0 ? -1 : calls_ + n;
}

std::vector<RecordingAllocator::Block> RecordingAllocator::blocks() {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_;
}

// --- TestModuleServices.

uint32_t TestModuleServices::modulePath(WnInstance, char16_t* out, uint32_t capacity, uint32_t* error) {
  if (!out || capacity == 0) return 0;
  size_t n = 0;
  for (; n < path.size() && n + 1 < capacity; ++n) out[n] = path[n];
  out[n] = 0;
  if (n == 0 && error) *error = WN_ERROR_FILE_NOT_FOUND;
  return static_cast<uint32_t>(n);
}

uint32_t TestModuleServices::startProcess(const char16_t* commandLine) {
  started.emplace_back(commandLine);
  return 0;
}

// --- AsioSimTest.

SimDriverConfig AsioSimTest::manualClock() {
  SimDriverConfig config;
  config.clockMode = SimClockMode::Manual;
  return config;
}

AsioSimTest::AsioSimTest() : AsioSimTest(manualClock()) {}

AsioSimTest::AsioSimTest(const SimDriverConfig& config) : sim(config) {}

void AsioSimTest::SetUp() {
  dravikSetTransportFactory(&factory);
  asioSetBufferAllocator(&allocator);
  sim.scenario().forceStreamState(DRAVIK_STREAM_RUNNING);
  ASSERT_EQ(service.start(), 0u);
}

void AsioSimTest::TearDown() {
  if (asio) {
    EXPECT_EQ(asio->Release(), 0u);
    asio = nullptr;
  }
  expectClosedBeforeReleased();
  service.stop();
  asioSetBufferAllocator(nullptr);
  dravikSetTransportFactory(nullptr);
  EXPECT_EQ(CBaseObject::objectsActive(), 0);
}

IASIO* AsioSimTest::createDriver() {
  void* factoryItf = nullptr;
  EXPECT_EQ(asioDllGetClassObject(kTovix8AsioClsid, WN_IID_ICLASSFACTORY, &factoryItf), WN_S_OK);
  if (!factoryItf) return nullptr;
  auto* classFactory = static_cast<WnIClassFactory*>(factoryItf);
  void* itf = nullptr;
  EXPECT_EQ(classFactory->CreateInstance(nullptr, kTovix8AsioClsid, &itf), WN_S_OK);
  classFactory->Release();
  return static_cast<IASIO*>(itf);
}

void AsioSimTest::createAndInit() {
  asio = createDriver();
  ASSERT_NE(asio, nullptr);
  ASSERT_EQ(asio->init(nullptr), ASIOTrue);
  host.driver = asio;
}

std::vector<ASIOBufferInfo> AsioSimTest::bufferInfos(int nIn, int nOut) {
  std::vector<ASIOBufferInfo> infos;
  for (int i = 0; i < nIn; ++i) infos.push_back(ASIOBufferInfo{ASIOTrue, i, {nullptr, nullptr}});
  for (int i = 0; i < nOut; ++i) infos.push_back(ASIOBufferInfo{ASIOFalse, i, {nullptr, nullptr}});
  return infos;
}

std::vector<SimJournalEntry> AsioSimTest::journalOf(uint32_t code) {
  std::vector<SimJournalEntry> out;
  for (const SimJournalEntry& e : sim.scenario().journal())
    if (e.code == code) out.push_back(e);
  return out;
}

bool AsioSimTest::waitForNotificationHandled(uint64_t afterSerial) {
  const SimHandleId handle = asioHandle();
  for (;;) {
    const std::vector<SimJournalEntry> journal = sim.scenario().journal(handle);
    size_t reads = 0;
    bool found = false;
    for (const SimJournalEntry& e : journal) {
      if (e.code != IOCTL_DRAVIK_READ_NOTIFICATION) continue;
      ++reads;
      if (e.serial <= afterSerial) continue;
      if (e.status == 0) found = true;
      else if (found && e.status == DRAVIK_STATUS_NO_MORE_ITEMS) return true;
    }
    if (!sim.scenario().waitForRequest(IOCTL_DRAVIK_READ_NOTIFICATION, reads + 1, kWaitMs, handle)) return false;
  }
}

void AsioSimTest::expectClosedBeforeReleased() {
  const std::vector<SimJournalEntry> journal = sim.scenario().journal();
  for (const RecordingAllocator::Block& block : allocator.blocks()) {
    if (!block.released) continue;
    for (const SimJournalEntry& lent : journal) {
      if (lent.code != IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER || lent.status != 0 || lent.input.size() != 24) continue;
      ChannelBuffer record;
      std::memcpy(&record, lent.input.data(), sizeof record);
      if (record.address != block.address || lent.serial > block.releasedAfterSerial) continue;
      bool closed = false;
      for (const SimJournalEntry& close : journal) {
        if (close.code != IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL || close.serial < lent.serial ||
            close.serial > block.releasedAfterSerial || close.input.size() != 8)
          continue;
        DravikChannelKey key;
        std::memcpy(&key, close.input.data(), sizeof key);
        if (key.channelKey0 == record.channelKey0 && key.channelKey1 == record.channelKey1) closed = true;
      }
      EXPECT_TRUE(closed) << "the buffer of channel " << std::hex << record.channelKey1
                          << " was released while the kernel driver held it";
    }
  }
}

}  // namespace asiotest
