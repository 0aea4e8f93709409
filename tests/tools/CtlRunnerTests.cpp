// tovix8ctl's commands against the simulator's host in this process (over
// its pipe) and a stand-in service: the output formats, the status names on
// failure and the exit codes.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>

#include "ToolsTestSupport.h"
#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikPipeTransport.h"
#include "simdriver/SimScenario.h"
#include "simdriver/process/SimHost.h"
#include "simdriver/process/SimText.h"
#include "tools/tovix8ctl/CtlCommands.h"
#include "tools/tovix8ctl/CtlNotificationNames.h"

namespace {

using tooltest::kLongWaitMs;
using tooltest::waitUntil;

class Capture : public CtlOutput {
public:
  void out(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m_);
    out_ += text;
  }
  void err(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m_);
    err_ += text;
  }
  std::string stdOut() {
    std::lock_guard<std::mutex> lock(m_);
    return out_;
  }
  std::string stdErr() {
    std::lock_guard<std::mutex> lock(m_);
    return err_;
  }

private:
  std::mutex m_;
  std::string out_;
  std::string err_;
};

class CtlAgainstTheSimulator : public ::testing::Test {
protected:
  void SetUp() override {
    SimHostOptions options;
    options.pipe = tooltest::uniquePipe("ctl");
    host = std::make_unique<SimHost>(options);
    std::string error;
    ASSERT_EQ(host->start(error), 0u) << error;
    pipe = simToUtf8(host->pipePath(), WN_PIPE_NAME_CHARS);
    factory = std::make_unique<DravikPipeTransportFactory>(host->pipePath());
    dravikSetTransportFactory(factory.get());  // for the stand-in service and other clients
  }
  void TearDown() override {
    service.stop();
    dravikSetTransportFactory(nullptr);
    host->stop();
  }
  // Runs "tovix8ctl --pipe <host> words..." and returns the exit code.
  int ctl(std::vector<const char*> words, Capture& capture) {
    std::vector<const char*> argv = {"tovix8ctl", "--pipe", pipe.c_str()};
    argv.insert(argv.end(), words.begin(), words.end());
    CtlCommandLine cl;
    std::string error;
    if (!ctlParseCommandLine(static_cast<int>(argv.size()), argv.data(), cl, error)) {
      capture.err(error);
      return CTL_EXIT_USAGE;
    }
    CtlRunner runner(capture);
    return runner.run(cl);
  }

  std::unique_ptr<SimHost> host;
  std::unique_ptr<DravikPipeTransportFactory> factory;
  std::string pipe;
  tooltest::StandInService service;
};

TEST_F(CtlAgainstTheSimulator, StatusAndCountersPrintTheDriversState) {
  host->driver().scenario().setErrorCounters(DravikErrorCounters{1, 2, 3, 4, 5});
  Capture c;
  ASSERT_EQ(ctl({"status"}, c), CTL_EXIT_OK) << c.stdErr();
  const std::string out = c.stdOut();
  for (const char* line :
       {"driver interface=2.0 version=1.36.1\n", "stream state=1 name=Down mode=0 rate=48000\n",
        "rates current=48000 list=44100,48000,88200,96000,176400,192000,2822400,5644800\n",
        "buffers streaming=2 asio=2 setting3=0 ", "policy flags=0x00000000 rate-changes=allowed\n",
        "devices count=1\n", "device 1 id=00005101:7A009E37 serial=T8-0001 name=\"Tovix8\" vid=1E2D pid=0108 speed=high streaming=1\n",
        "counters streaming=1 fifo=2 asio=3 wdm-audio=4 wdm-midi=5\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_TRUE(c.stdErr().empty());

  Capture counters;
  ASSERT_EQ(ctl({"counters"}, counters), CTL_EXIT_OK);
  EXPECT_EQ(counters.stdOut(), "counters streaming=1 fifo=2 asio=3 wdm-audio=4 wdm-midi=5\n");
}

TEST_F(CtlAgainstTheSimulator, RequestsGoThroughTheServiceAndFailuresNameTheStatus) {
  Capture noServer;
  EXPECT_EQ(ctl({"set-rate", "96000"}, noServer), CTL_EXIT_FAILED);
  EXPECT_EQ(noServer.stdErr(), "tovix8ctl: set-rate 96000 failed: DRAVIK_STATUS_NO_SERVER (0xE0000025)\n");

  ASSERT_EQ(service.start(), 0u);
  Capture ok;
  EXPECT_EQ(ctl({"set-rate", "96000"}, ok), CTL_EXIT_OK) << ok.stdErr();
  EXPECT_EQ(ok.stdOut(), "set-rate 96000: ok\n");
  EXPECT_EQ(service.lastRate.load(), 96000u);

  struct Case {
    std::vector<const char*> words;
    int exit;
    const char* text;  // expected in stdout (exit 0) or stderr
  };
  const Case cases[] = {
      {{"set-rate", "12345"}, CTL_EXIT_FAILED,
       "tovix8ctl: set-rate 12345 failed: DRAVIK_STATUS_INVALID_SAMPLE_RATE (0xE0000034)\n"},
      {{"set-buffers", "1", "2"}, CTL_EXIT_FAILED, "set-buffers 1 2 failed: DRAVIK_STATUS_INVALID_COMMAND"},
      {{"policy", "on"}, CTL_EXIT_FAILED, "policy on failed: DRAVIK_STATUS_INVALID_COMMAND"},
      {{"select-device", "all"}, CTL_EXIT_FAILED, "select-device all failed: DRAVIK_STATUS_INVALID_COMMAND"},
      {{"select-device", "NO-SUCH"}, CTL_EXIT_FAILED, "no device with serial NO-SUCH"},
      {{"set-rate"}, CTL_EXIT_USAGE, "set-rate HZ"},
  };
  for (const Case& k : cases) {
    Capture c;
    EXPECT_EQ(ctl(k.words, c), k.exit) << k.words[0];
    const std::string text = k.exit == CTL_EXIT_OK ? c.stdOut() : c.stdErr();
    EXPECT_NE(text.find(k.text), std::string::npos) << k.words[0] << ": " << text;
  }
}

TEST_F(CtlAgainstTheSimulator, WatchPrintsEveryNotificationWithItsName) {
  ASSERT_EQ(service.start(), 0u);
  Capture watched;
  int exitCode = -1;
  std::thread watcher([&] { exitCode = ctl({"watch", "3"}, watched); });
  struct Join {
    std::thread& t;
    ~Join() {
      if (t.joinable()) t.join();
    }
  } join{watcher};
  ASSERT_TRUE(waitUntil([&] { return watched.stdOut().find("watching for 3 s\n") != std::string::npos; }));

  DravikCplClient other;
  ASSERT_EQ(other.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES), 0u);
  EXPECT_EQ(other.setSampleRate(88200, kLongWaitMs), 0u);
  other.disconnect();
  const uint32_t payload[2] = {0x5101, 0x7A009E37};
  host->driver().scenario().raiseNotification(DRAVIK_NOTIFY_DEVICE_STATE, payload, sizeof payload);
  ASSERT_TRUE(waitUntil([&] { return watched.stdOut().find("3040 ") != std::string::npos; }));
  watcher.join();

  EXPECT_EQ(exitCode, CTL_EXIT_OK);
  const std::string out = watched.stdOut();
  const size_t restarted = out.find("3010 STREAM_RESTARTED\n");
  const size_t rate = out.find("3011 SAMPLE_RATE_CHANGED\n");
  ASSERT_NE(restarted, std::string::npos) << out;
  ASSERT_NE(rate, std::string::npos) << out;
  EXPECT_LT(restarted, rate);
  EXPECT_NE(out.find("3040 DEVICE_STATE payload=00005101,7A009E37\n"), std::string::npos) << out;
}

TEST_F(CtlAgainstTheSimulator, NoDriverIsExitCodeThree) {
  Capture c;
  std::vector<const char*> argv = {"tovix8ctl", "--pipe", "h6-nobody-serves-this", "status"};
  CtlCommandLine cl;
  std::string error;
  ASSERT_TRUE(ctlParseCommandLine(4, argv.data(), cl, error));
  CtlRunner runner(c);
  EXPECT_EQ(runner.run(cl), CTL_EXIT_NO_DRIVER);
  EXPECT_EQ(c.stdErr(), "tovix8ctl: cannot open the driver: system error 2\n");
}

TEST(CtlNames, EveryDriverNotificationHasAName) {
  struct Case {
    uint32_t code;
    const char* name;
  };
  const Case cases[] = {{3001, "SETTINGS_CHANGED"},  {3003, "ACTIVITY_STARTED"}, {3004, "ACTIVITY_ENDED"},
                        {3005, "DEVICE_ARRIVED"},    {3006, "STREAM_WANTED"},    {3010, "STREAM_RESTARTED"},
                        {3011, "SAMPLE_RATE_CHANGED"}, {3015, "USE_STARTED"},    {3016, "USE_ENDED"},
                        {3020, "DEVICE_REMOVED"},    {3021, "DEVICE_CHANGED"},   {3030, "DEVICE_LIST_CHANGED"},
                        {3040, "DEVICE_STATE"},      {3050, "MIXER_TOPOLOGY"},   {3051, "MIXER_GAINS"},
                        {3052, "MIXER_CROSSPOINTS"}, {3060, "ENDPOINT_VOLUME"},  {3002, "UNKNOWN"},
                        {2001, "UNKNOWN"}};
  for (const Case& c : cases) EXPECT_STREQ(ctlNotificationName(c.code), c.name) << c.code;
}

}  // namespace
