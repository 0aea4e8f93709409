// The command line's switches, texts and exit codes against a recording
// host, and the UTF-16 formatting the texts go through.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/ServiceCommandLine.h"
#include "service/ServiceIdentity.h"
#include "service/ServiceRegistration.h"
#include "service/WideFormat.h"

namespace {

class CaptureOutput : public ServiceOutput {
public:
  void print(const char16_t* text) override { printed += text; }
  std::u16string printed;
};

class RecordingHost : public ServiceCommandHost {
public:
  bool hasServiceControlManager() const override { return scm; }
  uint32_t install() override { return call("install", installResult); }
  uint32_t uninstall() override { return call("uninstall", uninstallResult); }
  uint32_t start() override { return call("start", startResult); }
  uint32_t stop() override { return call("stop", stopResult); }
  bool runConsole() override { return call("console", 0), consoleOk; }
  bool runService() override { return call("service", 0), serviceOk; }

  bool scm = true;
  uint32_t installResult = 0, uninstallResult = 0, startResult = 0, stopResult = 0;
  bool consoleOk = true, serviceOk = true;
  std::string calls;

private:
  uint32_t call(const char* name, uint32_t result) {
    if (!calls.empty()) calls += ',';
    calls += name;
    return result;
  }
};

int run(RecordingHost& host, CaptureOutput& out, std::vector<const char16_t*> args) {
  args.insert(args.begin(), u"tovix8svc.exe");
  return runServiceCommandLine(static_cast<int>(args.size()), args.data(), host, out, TOVIX8_SERVICE_NAME,
                               TOVIX8_SERVICE_DISPLAY_NAME);
}

const std::u16string kHelp =
    u"\ntovix8svc V1.36\nTovix8 control Service\n\nSupported command line options:\n"
    u" -install    Install the service.\n -uninstall  Uninstall the service.\n"
    u" -start      Start the service.\n -stop       Stop the service.\n"
    u" -console    Start service in console mode.\n -h, -?      Print this help message.\n\n";

struct SwitchCase {
  std::vector<const char16_t*> args;
  uint32_t hostResult;  // for the action that decides the exit code
  bool runOk;
  const char* calls;
  std::u16string printed;
  int exitCode;
};

TEST(ServiceCommandLine, SwitchesTextsAndExitCodes) {
  const SwitchCase cases[] = {
      {{}, 0, true, "", u"No arguments given, use -h.\n", 1},
      {{u"-install"}, 0, true, "stop,uninstall,install", u"Service installed successfully.\n", 0},
      {{u"-install"}, 1073, true, "stop,uninstall,install", u"Error installing service.\n", 1073},
      {{u"-uninstall"}, 0, true, "stop,uninstall", u"Service uninstalled successfully.\n", 0},
      {{u"-uninstall"}, 1060, true, "stop,uninstall", u"Error uninstalling service.\n", 1060},
      {{u"-start"}, 0, true, "start", u"Service started successfully.\n", 0},
      {{u"-start"}, 1056, true, "start", u"Error starting service.\n", 1056},
      {{u"-stop"}, 0, true, "stop", u"Service stopped successfully.\n", 0},
      {{u"-stop"}, 1062, true, "stop", u"Error stopping service.\n", 1062},
      {{u"-stop"}, 1460, true, "stop", u"Error stopping service.\n", 1460},
      {{u"-h"}, 0, true, "", kHelp, 0},
      {{u"-?"}, 0, true, "", kHelp, 0},
      {{u"-console"}, 0, true, "console", u"", 0},
      {{u"-console"}, 0, false, "console", u"", -1},
      {{u"-service"}, 0, true, "service", u"", 0},
      {{u"-service"}, 0, false, "service", u"", -1},
      {{u"-INSTALL"}, 0, true, "", u"Unknown argument -INSTALL, use -h.\n", 1},
      {{u"-Console"}, 0, true, "", u"Unknown argument -Console, use -h.\n", 1},
      {{u"/install"}, 0, true, "", u"Unknown argument /install, use -h.\n", 1},
      {{u"-help"}, 0, true, "", u"Unknown argument -help, use -h.\n", 1},
      {{u""}, 0, true, "", u"Unknown argument , use -h.\n", 1},
      // Only the first argument counts.
      {{u"-start", u"-stop"}, 0, true, "start", u"Service started successfully.\n", 0},
      {{u"-x", u"-h"}, 0, true, "", u"Unknown argument -x, use -h.\n", 1},
  };
  for (const SwitchCase& c : cases) {
    RecordingHost host;
    host.installResult = host.uninstallResult = host.startResult = host.stopResult = c.hostResult;
    host.consoleOk = host.serviceOk = c.runOk;
    // install and uninstall stop first and ignore that result.
    if (c.calls == std::string("stop,uninstall,install")) host.stopResult = host.uninstallResult = 1062;
    if (c.calls == std::string("stop,uninstall")) host.stopResult = 1062;
    CaptureOutput out;
    const std::string label = c.args.empty() ? "(none)" : wideToUtf8(c.args[0]);
    EXPECT_EQ(c.exitCode, run(host, out, c.args)) << label;
    EXPECT_EQ(c.printed, out.printed) << label;
    EXPECT_EQ(c.calls, host.calls) << label;
  }
}

TEST(ServiceCommandLine, LongUnknownArgumentIsPrintedWhole) {
  const std::u16string arg(2000, u'x');
  RecordingHost host;
  CaptureOutput out;
  EXPECT_EQ(1, run(host, out, {arg.c_str()}));
  EXPECT_EQ(u"Unknown argument " + arg + u", use -h.\n", out.printed);
}

// Without a service control manager the switches that need one say so and
// end with 1; help and console mode stay.
TEST(ServiceCommandLine, NoServiceControlManager) {
  for (const char16_t* sw : {u"-install", u"-uninstall", u"-start", u"-stop", u"-service"}) {
    RecordingHost host;
    host.scm = false;
    CaptureOutput out;
    EXPECT_EQ(1, run(host, out, {sw}));
    EXPECT_EQ(std::u16string(sw) + u" is not available: this platform has no service control manager (use -console).\n",
              out.printed);
    EXPECT_EQ("", host.calls);
  }
  RecordingHost host;
  host.scm = false;
  CaptureOutput out;
  EXPECT_EQ(0, run(host, out, {u"-console"}));
  EXPECT_EQ("console", host.calls);
}

TEST(WideFormat, Conversions) {
  char16_t out[64];
  EXPECT_EQ(13u, wideFormat(out, 64, u"Tovix8 Out %u", 16u));
  EXPECT_EQ(u"Tovix8 Out 16", std::u16string(out));
  wideFormat(out, 64, u"%s V%d.%02d", u"tovix8svc", 1, 36);
  EXPECT_EQ(u"tovix8svc V1.36", std::u16string(out));
  wideFormat(out, 64, u"V%d.%02d %d %u", 1, 5, -42, 4294967295u);
  EXPECT_EQ(u"V1.05 -42 4294967295", std::u16string(out));
  wideFormat(out, 64, u"%hs|%s|100%%|%x|%", "narrow", static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(u"narrow||100%|%x|%", std::u16string(out));
}

TEST(WideFormat, TruncatesAndAlwaysTerminates) {
  char16_t out[8];
  EXPECT_EQ(16u, wideFormat(out, 8, u"Tovix8 Out %u/%u", 15u, 16u));
  EXPECT_EQ(u"Tovix8 ", std::u16string(out));
  // A name field of 41 characters: at most 40 and the terminator.
  char16_t name[41];
  const std::u16string longName(60, u'n');
  wideFormat(name, 41, u"%s", longName.c_str());
  EXPECT_EQ(std::u16string(40, u'n'), std::u16string(name));
  EXPECT_EQ(0u, wideFormat(nullptr, 0, u""));
}

TEST(WideFormat, Utf8Conversions) {
  EXPECT_EQ("-console", wideToUtf8(u"-console"));
  EXPECT_EQ("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5", wideToUtf8(u"\u00E9\u20AC\U0001F3B5"));
  EXPECT_EQ(u"\u00E9\u20AC\U0001F3B5", utf8ToWide("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5"));
  EXPECT_EQ(u"a\uFFFDb", utf8ToWide("a\xFF" "b"));
}

// The registered command line quotes the program's path.
TEST(ServiceRegistration, ImagePathIsQuoted) {
  char16_t image[TOVIX8_IMAGE_PATH_CHARS];
  ASSERT_TRUE(formatServiceImagePath(image, TOVIX8_IMAGE_PATH_CHARS, u"C:\\Program Files\\Tovix8\\tovix8svc.exe"));
  EXPECT_EQ(u"\"C:\\Program Files\\Tovix8\\tovix8svc.exe\" -service", std::u16string(image));
  // The longest module path (259 characters) still fits.
  const std::u16string longest(259, u'p');
  ASSERT_TRUE(formatServiceImagePath(image, TOVIX8_IMAGE_PATH_CHARS, longest.c_str()));
  EXPECT_EQ(u"\"" + longest + u"\" -service", std::u16string(image));
  char16_t tiny[16];
  EXPECT_FALSE(formatServiceImagePath(tiny, 16, u"C:\\a\\tovix8svc.exe"));
  EXPECT_EQ(u"", std::u16string(tiny));
  EXPECT_EQ(u"eventlog", std::u16string(TOVIX8_SERVICE_DEPENDENCIES));
  EXPECT_EQ(u"PlugPlay", std::u16string(TOVIX8_SERVICE_DEPENDENCIES + 9));
  EXPECT_EQ(0, TOVIX8_SERVICE_DEPENDENCIES[18]);
}

}  // namespace
