// The simulator's configuration file and command line, and tovix8ctl's
// command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simdriver/process/SimHostConfig.h"
#include "simdriver/process/SimText.h"
#include "tools/tovix8ctl/CtlCommandLine.h"

namespace {

TEST(HostConfig, AFullFileSetsTheDriverAndThePipe) {
  const std::string text =
      "# two devices, the second on a USB 1.1 port\n"
      "pipe = \\\\.\\pipe\\custom\n"
      "\n"
      "devices = 1\n"
      "device.2.serial = AB-77\n"
      "  device.2.name = Second one  \n"
      "device.2.speed = full\n"
      "device.2.echo = no\n"
      "device.2.vid = 0x1234\n"
      "; rates\n"
      "rates = 44100, 48000,96000\n"
      "rate = 96000\n"
      "streaming-buffer = 5\n"
      "asio-buffer = 0\n"
      "clock = manual\n"
      "input = tone\n"
      "tone = 440\n"
      "driver-version = 1.40.7\n";
  SimHostOptions o;
  std::string error;
  ASSERT_TRUE(simParseHostConfig(text, "t.conf", o, error)) << error;
  EXPECT_EQ(o.pipe, u"\\\\.\\pipe\\custom");
  ASSERT_EQ(o.driver.devices.size(), 2u);
  EXPECT_EQ(o.driver.devices[0].serial, u"T8-0001");
  EXPECT_TRUE(o.driver.devices[0].highSpeed);
  EXPECT_EQ(o.driver.devices[1].serial, u"AB-77");
  EXPECT_EQ(o.driver.devices[1].name, u"Second one");
  EXPECT_FALSE(o.driver.devices[1].highSpeed);
  EXPECT_FALSE(o.driver.devices[1].echoEffect);
  EXPECT_EQ(o.driver.devices[1].vendorId, 0x1234);
  EXPECT_EQ(o.driver.sampleRates, (std::vector<uint32_t>{44100, 48000, 96000}));
  EXPECT_EQ(o.driver.sampleRate, 96000u);
  EXPECT_EQ(o.driver.streamingBufferSize, 5u);
  EXPECT_EQ(o.driver.asioBufferSize, 0u);
  EXPECT_EQ(o.driver.clockMode, SimClockMode::Manual);
  EXPECT_EQ(o.driver.inputSource.kind, SimInputSource::Kind::Tone);
  EXPECT_EQ(o.driver.inputSource.toneHz, 440u);
  EXPECT_EQ(o.driver.driverInfo.driverMinor, 40u);
  EXPECT_EQ(o.driver.driverInfo.interfaceMajor, 2u) << "the interface version is not the file's";
}

TEST(HostConfig, BadLinesAreReportedWithTheirLineAndLeaveTheOptionsAlone) {
  struct Case {
    const char* text;
    const char* message;  // part of the expected error
  };
  const Case cases[] = {
      {"devices = 2\nbogus\n", "t.conf:2: expected 'key = value'"},
      {"= 3\n", "t.conf:1: missing key"},
      {"colour = blue\n", "t.conf:1: colour: unknown setting 'colour'"},
      {"devices = 9\n", "t.conf:1: devices: expected a device count 0..8"},
      {"device.0.serial = X\n", "device index must be 1..8"},
      {"device.9.serial = X\n", "device index must be 1..8"},
      {"device.1.colour = X\n", "unknown device setting 'colour'"},
      {"device.1.vid = 0x10000\n", "expected a number 0..0xFFFF"},
      {"device.1.echo = maybe\n", "expected yes or no"},
      {"rates = 44100,,48000\n", "expected 1 to 12 rates"},
      {"rates = 1,2,3,4,5,6,7,8,9,10,11,12,13\n", "expected 1 to 12 rates"},
      {"streaming-buffer = 6\n", "expected 0..5"},
      {"asio-buffer = -1\n", "expected 0..3"},
      {"clock = sometimes\n", "expected realtime or manual"},
      {"driver-version = 1.2\n", "expected MAJOR.MINOR.BUILD"},
      {"rate = 12345\n", "t.conf: rate 12345 is not in the rate list"},
      {"device.2.serial = T8-0001\n", "serial T8-0001 is used twice"},
      {"device.1.serial = 12345678901234567890\n", "the serial must have 1 to 19 characters"},
  };
  for (const Case& c : cases) {
    SimHostOptions o;
    o.pipe = u"unchanged";
    std::string error;
    EXPECT_FALSE(simParseHostConfig(c.text, "t.conf", o, error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
    EXPECT_EQ(o.pipe, u"unchanged") << c.text;
    EXPECT_EQ(o.driver.devices.size(), 1u) << c.text;
  }
  SimHostOptions o;
  std::string error;
  EXPECT_FALSE(simLoadHostConfig("/nonexistent/dir/sim.conf", o, error));
  EXPECT_NE(error.find("cannot be read"), std::string::npos);
}

TEST(HostConfig, DeviceCountKeepsTheFirstDevicesAndNumbersNewOnes) {
  SimDriverConfig c;
  c.devices[0].name = u"kept";
  simSetDeviceCount(c, 3);
  ASSERT_EQ(c.devices.size(), 3u);
  EXPECT_EQ(c.devices[0].name, u"kept");
  EXPECT_EQ(c.devices[2].serial, u"T8-0003");
  simSetDeviceCount(c, 12);
  EXPECT_EQ(c.devices.size(), 8u);
  simSetDeviceCount(c, 0);
  EXPECT_TRUE(c.devices.empty());
  std::string error;
  EXPECT_TRUE(simCheckDriverConfig(c, error)) << error;
}

TEST(HostCommandLine, ServeAndControlForms) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
    SimCommandLine::Mode mode;
    const char* detail;  // error part, or the joined ctl command
  };
  const Case cases[] = {
      {{"tovix8sim"}, true, SimCommandLine::Mode::Serve, ""},
      {{"tovix8sim", "--pipe", "p", "--devices", "3", "--config", "f.conf"}, true, SimCommandLine::Mode::Serve, ""},
      {{"tovix8sim", "--help"}, true, SimCommandLine::Mode::Help, ""},
      {{"tovix8sim", "ctl", "--pipe", "p", "fail", "GET_STREAM_STATE", "--odd"}, true, SimCommandLine::Mode::Control,
       "fail GET_STREAM_STATE --odd"},
      {{"tovix8sim", "ctl"}, false, SimCommandLine::Mode::Control, "ctl needs a command"},
      {{"tovix8sim", "--devices", "9"}, false, SimCommandLine::Mode::Serve, "--devices needs a count"},
      {{"tovix8sim", "--pipe"}, false, SimCommandLine::Mode::Serve, "--pipe needs a value"},
      {{"tovix8sim", "--frobnicate"}, false, SimCommandLine::Mode::Serve, "unknown argument '--frobnicate'"},
      {{"tovix8sim", "ctl", "--config", "x", "dump"}, false, SimCommandLine::Mode::Control, "--config is for serving"},
  };
  for (const Case& c : cases) {
    SimCommandLine cl;
    std::string error;
    const bool ok = simParseCommandLine(static_cast<int>(c.args.size()), c.args.data(), cl, error);
    ASSERT_EQ(ok, c.ok) << c.args.back() << " " << error;
    if (!ok) {
      EXPECT_NE(error.find(c.detail), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(cl.mode, c.mode);
    std::string joined;
    for (const std::string& w : cl.command) joined += (joined.empty() ? "" : " ") + w;
    EXPECT_EQ(joined, c.detail);
  }
  SimCommandLine cl;
  std::string error;
  const char* args[] = {"tovix8sim", "--pipe", "p", "--devices", "3", "--config", "f.conf"};
  ASSERT_TRUE(simParseCommandLine(7, args, cl, error));
  EXPECT_EQ(cl.pipe, u"p");
  EXPECT_EQ(cl.devices, 3);
  EXPECT_EQ(cl.configFile, "f.conf");
}

TEST(CtlCommandLineTest, CommandsAndTheirArguments) {
  using C = CtlCommandLine::Command;
  struct Case {
    std::vector<const char*> args;
    bool ok;
    C command;
  };
  const Case cases[] = {
      {{"tovix8ctl", "status"}, true, C::Status},
      {{"tovix8ctl", "--pipe", "x", "--timeout", "500", "counters"}, true, C::Counters},
      {{"tovix8ctl", "set-rate", "96000"}, true, C::SetRate},
      {{"tovix8ctl", "set-buffers", "2", "3"}, true, C::SetBuffers},
      {{"tovix8ctl", "select-device", "all"}, true, C::SelectDevice},
      {{"tovix8ctl", "policy", "on"}, true, C::Policy},
      {{"tovix8ctl", "watch"}, true, C::Watch},
      {{"tovix8ctl", "watch", "5"}, true, C::Watch},
      {{"tovix8ctl"}, false, C::Help},
      {{"tovix8ctl", "set-rate"}, false, C::Help},
      {{"tovix8ctl", "set-rate", "fast"}, false, C::Help},
      {{"tovix8ctl", "set-rate", "0"}, false, C::Help},
      {{"tovix8ctl", "set-buffers", "1"}, false, C::Help},
      {{"tovix8ctl", "policy", "maybe"}, false, C::Help},
      {{"tovix8ctl", "watch", "0"}, false, C::Help},
      {{"tovix8ctl", "--timeout", "0", "status"}, false, C::Help},
      {{"tovix8ctl", "status", "extra"}, false, C::Help},
      {{"tovix8ctl", "reboot"}, false, C::Help},
  };
  for (const Case& c : cases) {
    CtlCommandLine cl;
    std::string error;
    const bool ok = ctlParseCommandLine(static_cast<int>(c.args.size()), c.args.data(), cl, error);
    EXPECT_EQ(ok, c.ok) << c.args.back() << " " << error;
    if (ok) {
      EXPECT_EQ(cl.command, c.command) << c.args.back();
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
  CtlCommandLine cl;
  std::string error;
  const char* args[] = {"tovix8ctl", "--pipe", "x", "--timeout", "500", "select-device", "T8-0002"};
  ASSERT_TRUE(ctlParseCommandLine(7, args, cl, error));
  EXPECT_EQ(cl.pipe, "x");
  EXPECT_EQ(cl.timeoutMs, 500u);
  EXPECT_FALSE(cl.allDevices);
  EXPECT_EQ(cl.serial, "T8-0002");
}

TEST(HostText, NumbersWordsAndUtf8) {
  uint32_t v = 0;
  EXPECT_TRUE(simParseNumber("0x80882004", v));
  EXPECT_EQ(v, 0x80882004u);
  EXPECT_TRUE(simParseNumber("4294967295", v));
  EXPECT_FALSE(simParseNumber("4294967296", v));
  EXPECT_FALSE(simParseNumber("0x", v));
  EXPECT_FALSE(simParseNumber("12a", v));
  EXPECT_FALSE(simParseNumber("", v));

  std::vector<std::string> words;
  ASSERT_TRUE(simSplitWords("  plug  \"T8 9\" name=\"a \\\"b\\\"\"  ", words));
  EXPECT_EQ(words, (std::vector<std::string>{"plug", "T8 9", "name=a \"b\""}));
  EXPECT_FALSE(simSplitWords("plug \"open", words));

  const std::u16string text = u"Ger\u00e4t \u20ac \U0001F3B5";
  EXPECT_EQ(simFromUtf8(simToUtf8(text)), text);
  EXPECT_EQ(simFromUtf8("\xff" "a"), u"\ufffda");
  EXPECT_EQ(simQuote("a\"b\\c\n"), "\"a\\\"b\\\\c\\x0A\"");
}

}  // namespace
