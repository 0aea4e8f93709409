// Test support for the ASIO driver: a stand-in for the device control
// service that answers the driver's rate and format requests, an ASIO host
// (the callbacks a host hands to createBuffers, recording every call), a
// buffer allocator that records when lent memory is released, module
// services with a made-up module path, and the fixture that puts the driver
// object in front of the simulated kernel driver.
//
// Threading: the host's callbacks run on the driver's streaming thread and
// record under a mutex; tests wait for what they expect with time-outs of
// seconds, never by sleeping.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "asio/AsioBufferAllocator.h"
#include "asio/AsioDriver.h"
#include "asio/AsioModuleServices.h"
#include "asio/AsioRecords.h"
#include "driverapi/DravikDriver.h"
#include "platform/WnHandle.h"
#include "simdriver/SimDriver.h"
#include "simdriver/SimInProcessTransport.h"
#include "simdriver/SimScenario.h"

namespace asiotest {

constexpr uint32_t kWaitMs = 20000;

// Answers DRAVIK_MSG_SET_SAMPLE_RATE and DRAVIK_MSG_SET_IO_FORMAT on its own
// thread, registered as the service. A successful rate request sets the
// simulated driver's current rate, as the service would.
class TestService {
public:
  explicit TestService(SimDriver& sim);
  ~TestService();

  DravikStatus start();
  void stop();

  // The status the next requests answer (success by default).
  std::atomic<DravikStatus> rateStatus{0};
  std::atomic<DravikStatus> formatStatus{0};
  // Makes the next rate change look like a new channel layout: the first
  // channel description the ASIO driver asks for afterwards fails once.
  std::atomic<bool> changeLayoutOnRate{false};

  std::vector<uint32_t> rates();
  std::vector<uint8_t> formats();

private:
  void run();
  DravikStatus onRequest(const DravikMessage& request, DravikMessage& reply);

  SimDriver& sim_;
  DravikDriver driver_;
  WnEvent stop_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<uint32_t> rates_;
  std::vector<uint8_t> formats_;
};

// Passes every request to the simulated driver's transports and lets a test
// reshape successful answers (channel lists, stream format) on their way
// back, as a kernel driver with another configuration would answer.
class ShapingTransportFactory : public DravikTransportFactory {
public:
  explicit ShapingTransportFactory(DravikTransportFactory& inner) : inner_(inner) {}
  DravikStatus open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) override;

  // Called with each successful answer; set while no request runs.
  using Shaper = std::function<void(uint32_t code, void* out, uint32_t outSize)>;
  void setShaper(Shaper shaper);
  void reshape(uint32_t code, void* out, uint32_t outSize);

private:
  DravikTransportFactory& inner_;
  std::mutex mutex_;
  Shaper shaper_;
};

// One call of the host's buffer switch.
struct SwitchCall {
  AsioLong index;
  bool timeInfo;             // bufferSwitchTimeInfo (else bufferSwitch)
  uint64_t samplePosition;   // from the ASIOTime (time info) or getSamplePosition
  uint64_t systemTime;
  double speed;
  double sampleRate;
  AsioULong flags;
};

// An ASIO host. Only one exists at a time (the callbacks are plain C
// functions that find it through a static pointer).
class TestHost {
public:
  TestHost();
  ~TestHost();

  ASIOCallbacks callbacks{};
  // Answers of asioMessage: kAsioSupportsTimeInfo, and the selectors it
  // reports supported through kAsioSelectorSupported.
  bool supportsTimeInfo = true;
  std::set<AsioLong> supported = {kAsioResetRequest, kAsioBufferSizeChange, kAsioEngineVersion};
  // The driver whose getSamplePosition the plain bufferSwitch reads.
  IASIO* driver = nullptr;
  // Called on the streaming thread inside each buffer switch.
  std::function<void(AsioLong index)> onSwitch;

  std::vector<SwitchCall> switches();
  // asioMessage calls as (selector, value).
  std::vector<std::pair<AsioLong, AsioLong>> messages();
  void clearMessages();
  size_t countMessages(AsioLong selector);
  bool waitForSwitches(size_t count, uint32_t timeoutMs = kWaitMs);
  bool waitForMessage(AsioLong selector, size_t count, uint32_t timeoutMs = kWaitMs);

private:
  static void WN_CDECL bufferSwitch(AsioLong index, ASIOBool directProcess);
  static AsioLong WN_CDECL asioMessage(AsioLong selector, AsioLong value, void* message, double* opt);
  static ASIOTime* WN_CDECL bufferSwitchTimeInfo(ASIOTime* params, AsioLong index, ASIOBool directProcess);
  void record(const SwitchCall& call);

  static TestHost* current_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<SwitchCall> switches_;
  std::vector<std::pair<AsioLong, AsioLong>> messages_;
};

// Hands out page memory like the default and records every block with the
// simulated driver's journal position at its release.
class RecordingAllocator : public AsioBufferAllocator {
public:
  explicit RecordingAllocator(SimDriver& sim) : sim_(sim) {}
  void* allocate(size_t bytes) override;
  void release(void* block, size_t bytes) override;

  struct Block {
    uint64_t address;
    size_t bytes;
    bool released = false;
    uint64_t releasedAfterSerial = 0;  // the last journal serial when it was released
  };
  std::vector<Block> blocks();
  // Refuses every allocation from the n-th one from now on (0: the next);
  // -1 allows them again.
  void failAfter(int n);

private:
  SimDriver& sim_;
  std::mutex mutex_;
  std::vector<Block> blocks_;
  int calls_ = 0;
  int failFrom_ = -1;
};

class TestModuleServices : public AsioModuleServices {
public:
  uint32_t modulePath(WnInstance instance, char16_t* out, uint32_t capacity, uint32_t* error) override;
  uint32_t startProcess(const char16_t* commandLine) override;

  std::u16string path;
  std::vector<std::u16string> started;
};

// The driver object in front of the simulated kernel driver (stream state
// forced to Running, manual switch clock unless a test changes it), the
// stand-in service and one host.
class AsioSimTest : public ::testing::Test {
protected:
  AsioSimTest();
  explicit AsioSimTest(const SimDriverConfig& config);
  void SetUp() override;
  void TearDown() override;

  static SimDriverConfig manualClock();

  // A new driver object through the class factory, as hosts create it.
  IASIO* createDriver();
  AsioDriver* object() { return static_cast<AsioDriver*>(asio); }
  // createDriver and init; fails the test when init does not succeed.
  void createAndInit();
  // Buffers for the first nIn inputs and nOut outputs.
  std::vector<ASIOBufferInfo> bufferInfos(int nIn, int nOut);
  // The driver's handle on the simulated driver.
  SimHandleId asioHandle() { return sim.scenario().findHandle(DRAVIK_INITIATOR_ASIO); }
  std::vector<SimJournalEntry> journalOf(uint32_t code);
  // Every buffer that the driver lent with SET_CHANNEL_BUFFER and later
  // released had its channel closed in between (the test fails otherwise).
  void expectClosedBeforeReleased();
  // Waits until the streaming thread read a notification after the journal
  // entry with this serial and then found the queue empty: whatever it told
  // the host about it, it has told by then.
  bool waitForNotificationHandled(uint64_t afterSerial);

  SimDriver sim;
  SimInProcessTransportFactory simFactory{sim};
  ShapingTransportFactory factory{simFactory};
  RecordingAllocator allocator{sim};
  TestService service{sim};
  TestHost host;
  IASIO* asio = nullptr;
};

}  // namespace asiotest
