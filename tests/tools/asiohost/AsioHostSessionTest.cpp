// The harness's session against the real driver object, the simulated
// kernel driver and the device control service, all in this process. The
// switch clock is stepped by hand and every step waits for the host, so
// what the session sees does not depend on how busy the machine is.
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "driverapi/DravikIoctl.h"
#include "platform/WnHandle.h"
#include "platform/WnWait.h"
#include "simdriver/SimScenario.h"
#include "tools/asiohost/AsioHostSession.h"
#include "tools/asiohost/AsioInProcessRig.h"

namespace {

constexpr uint32_t kWaitMs = 30000;

SimDriverConfig manualClock() {
  SimDriverConfig config;
  config.clockMode = SimClockMode::Manual;
  return config;
}

// Counts what the session reports from its threads; tests wait on it.
class Progress {
public:
  void switched(uint64_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_ = n;
    changed_.notify_all();
  }
  void started(uint32_t runs) {
    std::lock_guard<std::mutex> lock(mutex_);
    runs_ = runs;
    changed_.notify_all();
  }
  bool waitForSwitches(uint64_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return switches_ >= n; });
  }
  bool waitForRuns(uint32_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return runs_ >= n; });
  }
  uint64_t switches() {
    std::lock_guard<std::mutex> lock(mutex_);
    return switches_;
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t switches_ = 0;
  uint32_t runs_ = 0;
};

class AsioHostSessionTest : public ::testing::Test {
protected:
  explicit AsioHostSessionTest(const SimDriverConfig& config = manualClock()) : rig(config) {}

  void SetUp() override {
    std::string error;
    ASSERT_EQ(rig.start(error), 0u) << error;
    asio = rig.createDriver(error);
    ASSERT_NE(asio, nullptr) << error;
    options.seconds = 600;  // the tests end the session themselves
  }
  void TearDown() override {
    if (thread.joinable()) {
      session->requestStop();
      thread.join();
    }
    session.reset();
    if (asio) asio->Release();
    rig.stop();
  }

  // Runs the session on a thread of its own, as the host's thread.
  void startSession(bool withSignals = true) {
    session = std::make_unique<AsioHostSession>(*asio, options, withSignals ? &rig.signals() : nullptr);
    session->onSwitch = [this](uint64_t n) {
      if (hook) hook(n);
      progress.switched(n);
    };
    session->onStarted = [this](uint32_t runs) { progress.started(runs); };
    thread = std::thread([this] { report = session->run(); });
  }
  AsioHostReport finish() {
    session->requestStop();
    thread.join();
    return report;
  }

  // Waits for the run's start request, then delivers switches one at a
  // time, each after the host has taken the one before.
  void stepSwitches(size_t startRequests, int count) {
    ASSERT_TRUE(rig.sim().scenario().waitForRequest(IOCTL_DRAVIK_ASIO_START, startRequests, kWaitMs));
    for (int i = 0; i < count; ++i) {
      const uint64_t before = progress.switches();
      ASSERT_EQ(rig.sim().scenario().stepSwitch(), 0u);
      ASSERT_TRUE(progress.waitForSwitches(before + 1));
    }
  }

  AsioInProcessRig rig;
  IASIO* asio = nullptr;
  AsioHostOptions options;
  std::unique_ptr<AsioHostSession> session;
  std::thread thread;
  AsioHostReport report;
  Progress progress;
  std::function<void(uint64_t)> hook;
};

TEST_F(AsioHostSessionTest, AGoodDriverPassesEveryCheckWithAndWithoutTimeInfo) {
  struct Case {
    bool timeInfo;
    uint32_t buffer;
  };
  const Case cases[] = {{true, 256}, {false, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeInfo ? "time info" : "plain switches");
    options.timeInfo = c.timeInfo;
    options.bufferFrames = c.buffer;
    progress.started(0);
    progress.switched(0);
    startSession();
    ASSERT_TRUE(progress.waitForRuns(1));
    stepSwitches(c.timeInfo ? 1 : 2, 40);
    const AsioHostReport r = finish();
    EXPECT_TRUE(r.passed) << asioHostFormatReport(r);
    EXPECT_EQ(r.driverName, "Tovix8 ASIO Driver");
    EXPECT_EQ(r.inputs, 18);
    EXPECT_EQ(r.outputs, 18);
    EXPECT_EQ(r.bufferUsed, c.buffer);
    EXPECT_EQ(r.switches, 42u);  // two priming calls and the stepped ones
    EXPECT_EQ(r.alternationErrors + r.positionErrors + r.timeStampErrors + r.timeInfoErrors, 0u);
    EXPECT_TRUE(r.loopbackChecked);
    EXPECT_EQ(r.loopbackLocked, 18u);
    EXPECT_EQ(r.loopbackErrors, 0u);
    EXPECT_EQ(r.loopbackDelay, 2u * c.buffer);  // the simulator loops back two halves later
    EXPECT_TRUE(r.dispatchFromSignals);
    EXPECT_EQ(r.dispatch.count, 40u);  // every stepped switch, timed from its signal
    EXPECT_TRUE(r.missedKnown);
    EXPECT_EQ(r.rateBefore, 48000.0);
    EXPECT_EQ(r.rateAfter, 48000.0);
    EXPECT_EQ(r.runs, 1u);
    // The driver was left as found: no channel open, no switch control.
    EXPECT_EQ(rig.sim().scenario().asioStats().openChannels, 0u);
    EXPECT_FALSE(rig.sim().scenario().asioStats().switchControlSet);
    session.reset();
  }
}

TEST_F(AsioHostSessionTest, ARateChangeWhileStreamingIsAnsweredWithARestart) {
  startSession();
  ASSERT_TRUE(progress.waitForRuns(1));
  stepSwitches(1, 10);
  ASSERT_EQ(rig.setSampleRate(96000), 0u);
  // The driver passes the service's notifications on as requests; the
  // session restarts and streams again at the new rate.
  ASSERT_TRUE(progress.waitForRuns(2));
  stepSwitches(2, 10);
  const AsioHostReport r = finish();
  EXPECT_TRUE(r.passed) << asioHostFormatReport(r);
  EXPECT_EQ(r.rateBefore, 48000.0);
  EXPECT_EQ(r.rateAfter, 96000.0);
  EXPECT_EQ(r.runs, 2u);
  ASSERT_EQ(r.restartsAtNanos.size(), 1u);
  bool reset = false, sizeChange = false;
  for (const AsioHostRequest& q : r.requests) {
    reset |= q.selector == kAsioResetRequest;
    sizeChange |= q.selector == kAsioBufferSizeChange;
    EXPECT_LE(q.atNanos, r.restartsAtNanos[0]);
  }
  EXPECT_TRUE(reset);
  EXPECT_TRUE(sizeChange);
  EXPECT_EQ(r.switches, 24u);
  EXPECT_EQ(r.loopbackErrors, 0u);
}

TEST_F(AsioHostSessionTest, AHostTooLateForTheNextSwitchIsCountedByTheDriver) {
  WnEvent entered, release;
  ASSERT_EQ(entered.create(true, false), 0u);
  ASSERT_EQ(release.create(true, false), 0u);
  // The first switch the driver signals holds the host until the next one
  // has been signalled.
  hook = [&](uint64_t n) {
    if (n == 3) {
      entered.set();
      wnWaitForSingle(release.get(), kWaitMs);
    }
  };
  startSession();
  ASSERT_TRUE(progress.waitForRuns(1));
  ASSERT_TRUE(rig.sim().scenario().waitForRequest(IOCTL_DRAVIK_ASIO_START, 1, kWaitMs));
  ASSERT_EQ(rig.sim().scenario().stepSwitch(), 0u);
  ASSERT_EQ(wnWaitForSingle(entered.get(), kWaitMs), WN_WAIT_OBJECT_0);
  ASSERT_EQ(rig.sim().scenario().stepSwitch(), 0u);
  release.set();
  ASSERT_TRUE(progress.waitForSwitches(4));
  const AsioHostReport r = finish();
  ASSERT_TRUE(r.missedKnown);
  EXPECT_EQ(r.missed, 1u);
  EXPECT_EQ(r.missed, rig.sim().scenario().settings().errorCounters.asioErrors);
  // The signal came while the host was busy; it was served right after.
  EXPECT_EQ(r.switches, 4u);
  EXPECT_EQ(r.alternationErrors, 0u);
}

TEST_F(AsioHostSessionTest, ABrokenLoopbackFailsTheSession) {
  SimInputSource tone;
  tone.kind = SimInputSource::Kind::Tone;
  rig.sim().scenario().setInputSource(tone);
  startSession();
  ASSERT_TRUE(progress.waitForRuns(1));
  stepSwitches(1, 20);
  const AsioHostReport r = finish();
  EXPECT_FALSE(r.passed);
  EXPECT_GT(r.loopbackErrors, 0u);
  EXPECT_EQ(r.alternationErrors + r.positionErrors, 0u);
}

TEST_F(AsioHostSessionTest, WithoutSignalTimesLatencyIsEstimatedFromTheCallIntervals) {
  startSession(false);
  ASSERT_TRUE(progress.waitForRuns(1));
  stepSwitches(1, 30);
  const AsioHostReport r = finish();
  EXPECT_TRUE(r.passed) << asioHostFormatReport(r);
  EXPECT_FALSE(r.dispatchFromSignals);
  EXPECT_EQ(r.dispatch.count, 29u);  // the intervals between the stepped switches
}

class AsioHostNoDeviceTest : public ::testing::Test {};

TEST_F(AsioHostNoDeviceTest, ADriverThatCannotInitialiseEndsTheSessionAtOnce) {
  SimDriverConfig config = manualClock();
  config.devices.clear();
  AsioInProcessRig rig(config);
  std::string error;
  ASSERT_EQ(rig.start(error), 0u) << error;
  IASIO* asio = rig.createDriver(error);
  ASSERT_NE(asio, nullptr) << error;
  AsioHostOptions options;
  AsioHostReport r;
  {
    AsioHostSession session(*asio, options, &rig.signals());
    r = session.run();
  }
  asio->Release();
  EXPECT_TRUE(r.noDriver);
  EXPECT_FALSE(r.passed);
  EXPECT_EQ(r.switches, 0u);
  EXPECT_NE(asioHostFormatReport(r).find("failure: init failed"), std::string::npos);
}

}  // namespace
