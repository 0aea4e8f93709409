// The harness's checking logic on made-up switch streams: the switch
// checks, the loopback ramp and its verifier, latency summaries, dispatch
// timing from signals and from the schedule, the verdict and the command
// line. Every fault a driver could make must be seen, and counted once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/asiohost/AsioDispatchTimeline.h"
#include "tools/asiohost/AsioHostOptions.h"
#include "tools/asiohost/AsioHostReport.h"
#include "tools/asiohost/AsioLatencySamples.h"
#include "tools/asiohost/AsioLoopbackVerifier.h"
#include "tools/asiohost/AsioSwitchChecks.h"

namespace {

struct Switch {
  AsioLong index;
  uint64_t position;
  uint64_t stamp;
};

TEST(AsioSwitchChecksTest, EachBrokenExpectationCountsOnce) {
  struct Case {
    const char* name;
    std::vector<Switch> switches;
    uint64_t alternation, position, stamps;
  };
  const Case cases[] = {
      {"good", {{0, 0, 5}, {1, 256, 5}, {0, 512, 6}, {1, 768, 9}}, 0, 0, 0},
      {"starts with half 1", {{1, 0, 5}, {0, 256, 5}, {1, 512, 6}}, 1, 0, 0},
      {"a half twice, then alternating again", {{0, 0, 5}, {1, 256, 5}, {1, 512, 6}, {0, 768, 6}}, 1, 0, 0},
      {"a position jump is one error", {{0, 0, 5}, {1, 256, 5}, {0, 1024, 6}, {1, 1280, 6}}, 0, 1, 0},
      {"a position that stands still", {{0, 0, 5}, {1, 256, 5}, {0, 256, 6}}, 0, 1, 0},
      {"starts at a position other than 0", {{0, 256, 5}, {1, 512, 5}}, 0, 1, 0},
      {"time goes back", {{0, 0, 9}, {1, 256, 8}, {0, 512, 9}}, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AsioSwitchChecks checks;
    checks.begin(256);
    for (const Switch& s : c.switches) checks.onSwitch(s.index, s.position, s.stamp);
    checks.end();
    EXPECT_EQ(checks.switches(), c.switches.size());
    EXPECT_EQ(checks.alternationErrors(), c.alternation);
    EXPECT_EQ(checks.positionErrors(), c.position);
    EXPECT_EQ(checks.timeStampErrors(), c.stamps);
    EXPECT_EQ(checks.frozenClockRuns(), 0u);
  }
}

TEST(AsioSwitchChecksTest, EveryRunStartsAgainAtHalfZeroAndPositionZero) {
  AsioSwitchChecks checks;
  checks.begin(64);
  checks.onSwitch(0, 0, 1);
  checks.onSwitch(1, 64, 1);
  checks.begin(128);  // a restart
  checks.onSwitch(0, 0, 2);
  checks.onSwitch(1, 128, 2);
  checks.end();
  EXPECT_EQ(checks.switches(), 4u);
  EXPECT_EQ(checks.alternationErrors() + checks.positionErrors() + checks.timeStampErrors(), 0u);
}

TEST(AsioSwitchChecksTest, AClockThatNeverMovesIsReportedOncePerRun) {
  AsioSwitchChecks checks;
  for (int run = 0; run < 2; ++run) {
    checks.begin(32);
    for (uint64_t i = 0; i < 150; ++i) checks.onSwitch(static_cast<AsioLong>(i & 1), i * 32, 77);
  }
  checks.end();
  EXPECT_EQ(checks.frozenClockRuns(), 2u);
  EXPECT_EQ(checks.timeStampErrors(), 0u);
}

TEST(AsioSwitchChecksTest, TimeInfoMustClaimItsFieldsValidAtSpeedOne) {
  struct Case {
    AsioULong flags;
    double speed;
    double rate;
    uint64_t errors;
  };
  const Case cases[] = {{15, 1.0, 48000, 0}, {7, 1.0, 48000, 1}, {15, 0.5, 48000, 1}, {15, 1.0, 0, 1}, {31, 1.0, 44100, 0}};
  for (const Case& c : cases) {
    AsioSwitchChecks checks;
    AsioTimeInfo info{};
    info.flags = c.flags;
    info.speed = c.speed;
    info.sampleRate = c.rate;
    checks.onTimeInfo(info);
    EXPECT_EQ(checks.timeInfoErrors(), c.errors) << c.flags << " " << c.speed << " " << c.rate;
  }
}

// Plays what a loopback does: input half k carries the output written
// `delayHalves` halves before (silence before that), except where the case
// breaks it.
class LoopbackPlay {
public:
  LoopbackPlay(uint32_t channels, uint32_t frames) : channels_(channels), frames_(frames) {
    verifier.begin(channels, channels, frames);
  }

  // Output halves as the host writes them, kept by their half number.
  std::vector<uint32_t> output(uint32_t channel, uint64_t half) const {
    std::vector<uint32_t> out(frames_);
    verifier.writeOutput(channel, out.data(), half * frames_);
    return out;
  }
  bool feed(uint32_t channel, uint64_t half, const std::vector<uint32_t>& input) {
    return verifier.checkInput(channel, input.data(), half * frames_);
  }

  AsioLoopbackVerifier verifier;

private:
  uint32_t channels_;
  uint32_t frames_;
};

TEST(AsioLoopbackVerifierTest, FindsTheDelayAndAcceptsAnUnbrokenRamp) {
  constexpr uint32_t kFrames = 64;
  const uint64_t delays[] = {0, 2, 3};
  for (uint64_t delay : delays) {
    SCOPED_TRACE(delay);
    LoopbackPlay play(4, kFrames);
    for (uint64_t half = 0; half < 40; ++half)
      for (uint32_t ch = 0; ch < 4; ++ch) {
        const std::vector<uint32_t> in =
            half < delay ? std::vector<uint32_t>(kFrames, 0) : play.output(ch, half - delay);
        EXPECT_TRUE(play.feed(ch, half, in));
      }
    EXPECT_EQ(play.verifier.errors(), 0u);
    EXPECT_EQ(play.verifier.lockedChannels(), 4u);
    EXPECT_EQ(play.verifier.firstDelay(), delay * kFrames);
    EXPECT_EQ(play.verifier.delayMismatches(), 0u);
  }
}

TEST(AsioLoopbackVerifierTest, SeesEveryKindOfBreak) {
  constexpr uint32_t kFrames = 32;
  enum class Fault { SkippedHalf, RepeatedHalf, SilenceAfterward, GarbageFirst, OtherChannel, OneSample };
  struct Case {
    const char* name;
    Fault fault;
    uint64_t minErrors, maxErrors;
  };
  const Case cases[] = {
      {"a half skipped, then continuous again", Fault::SkippedHalf, 1, 1},
      {"a half played twice", Fault::RepeatedHalf, 1, 2},
      {"the ramp stops (silence)", Fault::SilenceAfterward, 10, 40},
      {"noise before the ramp arrives", Fault::GarbageFirst, 1, 1},
      {"another channel's ramp", Fault::OtherChannel, 1, 40},
      {"one wrong sample", Fault::OneSample, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPlay play(2, kFrames);
    uint64_t source = 0;  // the output half this input half carries
    for (uint64_t half = 0; half < 40; ++half) {
      std::vector<uint32_t> in;
      if (half < 2) {
        in.assign(kFrames, c.fault == Fault::GarbageFirst && half == 1 ? 0x1234u : 0u);
      } else {
        if (c.fault == Fault::SkippedHalf && half == 20) ++source;
        in = play.output(c.fault == Fault::OtherChannel && half >= 20 ? 0 : 1, source);
        if (c.fault == Fault::SilenceAfterward && half >= 20) in.assign(kFrames, 0);
        if (c.fault == Fault::OneSample && half == 20) in[7] ^= 0x100;
        if (!(c.fault == Fault::RepeatedHalf && half == 20)) ++source;
      }
      play.feed(1, half, in);
    }
    EXPECT_GE(play.verifier.errors(), c.minErrors);
    EXPECT_LE(play.verifier.errors(), c.maxErrors);
  }
}

TEST(AsioLoopbackVerifierTest, InputsWithoutAnOutputMustStaySilent) {
  AsioLoopbackVerifier v;
  v.begin(3, 2, 16);
  std::vector<uint32_t> half(16, 0);
  EXPECT_TRUE(v.checkInput(2, half.data(), 0));
  half[5] = asioRampSample(2, 5);
  EXPECT_FALSE(v.checkInput(2, half.data(), 16));
  EXPECT_EQ(v.errors(), 1u);
}

TEST(AsioLoopbackVerifierTest, ChannelsWithDifferentDelaysAreReported) {
  LoopbackPlay play(2, 16);
  for (uint64_t half = 0; half < 10; ++half) {
    play.feed(0, half, half < 2 ? std::vector<uint32_t>(16, 0) : play.output(0, half - 2));
    play.feed(1, half, half < 3 ? std::vector<uint32_t>(16, 0) : play.output(1, half - 3));
  }
  EXPECT_EQ(play.verifier.errors(), 0u);
  EXPECT_EQ(play.verifier.delayMismatches(), 1u);
}

TEST(AsioLoopbackVerifierTest, RampSamplesNameChannelAndFrameAndAreNeverSilence) {
  EXPECT_EQ(asioRampSample(0, 0), 0x80u);
  EXPECT_EQ(asioRampSample(5, 1), 0x185u);
  EXPECT_EQ(asioRampSample(1, 0x1000000), asioRampSample(1, 0));  // the frame wraps at 2^24
  EXPECT_NE(asioRampSample(3, 7), asioRampSample(4, 7));
}

TEST(AsioLatencySamplesTest, NearestRankPercentiles) {
  AsioLatencySamples samples(1000);
  for (uint64_t v = 1000; v >= 1; --v) samples.add(v);
  const AsioLatencySummary s = samples.summary();
  EXPECT_EQ(s.count, 1000u);
  EXPECT_EQ(s.p50, 500u);
  EXPECT_EQ(s.p99, 990u);
  EXPECT_EQ(s.p999, 999u);
  EXPECT_EQ(s.max, 1000u);
  EXPECT_EQ(s.mean, 500u);

  AsioLatencySamples few(2);
  few.add(10);
  few.add(30);
  few.add(99);  // no room
  EXPECT_EQ(few.dropped(), 1u);
  EXPECT_EQ(few.summary().p50, 10u);
  EXPECT_EQ(few.summary().max, 30u);
  EXPECT_EQ(AsioLatencySamples(4).summary().count, 0u);
  EXPECT_EQ(asioMicros(12345), "12.3");
}

TEST(AsioDispatchTimelineTest, LatencyFromSignalsLeavesOutThePrimingCalls) {
  AsioDispatchTimeline t;
  t.reserve(16);
  t.beginRun(1000000);                 // 1 ms period
  t.record(100, 0);                    // priming
  t.record(200, 0);                    // priming
  t.record(5000 + 40000, 5000);        // 40 us
  t.record(1005000 + 60000, 1005000);  // 60 us
  t.record(2005000 + 1500000, 2005000);  // 1.5 ms: late
  t.beginRun(2000000);
  t.record(9000000, 0);
  t.record(9000100, 0);
  t.record(9500000 + 20000, 9500000);
  const AsioDispatchTimeline::Result r = t.analyse();
  EXPECT_TRUE(r.fromSignals);
  EXPECT_EQ(r.measured, 4u);
  EXPECT_EQ(r.late, 1u);
  const AsioLatencySummary s = r.latency.summary();
  EXPECT_EQ(s.max, 1500000u);
  EXPECT_EQ(s.p50, 40000u);
}

TEST(AsioDispatchTimelineTest, WithoutSignalsLatenessIsMeasuredAgainstThePeriod) {
  constexpr uint64_t kPeriod = 1000000;
  AsioDispatchTimeline t;
  t.reserve(512);
  t.beginRun(kPeriod);
  t.record(0, 0);
  t.record(10, 0);
  // A regular stream with two late switches (the second by more than a
  // period, the one after it comes at once), then a pause of 250 ms (a rate
  // change) and regular again.
  for (uint64_t i = 0; i < 100; ++i) {
    uint64_t entry = 50000000 + i * kPeriod;
    if (i == 30) entry += 300000;
    if (i == 60) entry += 1200000;
    if (i == 61) entry += 300000;  // served right after the late one
    t.record(entry, 0);
  }
  for (uint64_t i = 0; i < 100; ++i) t.record(400000000 + i * kPeriod, 0);
  const AsioDispatchTimeline::Result r = t.analyse();
  EXPECT_FALSE(r.fromSignals);
  EXPECT_EQ(r.measured, 199u);  // the calls after the first one driven by the clock
  EXPECT_EQ(r.late, 2u);        // the switch late by 1.2 ms and the one after the pause
  AsioLatencySamples late;
  late.reserve(r.latency.size());
  for (size_t i = 0; i < r.latency.size(); ++i)
    if (r.latency.at(i) != 0) late.add(r.latency.at(i));
  // Each late switch counts once; the early one after it counts nothing.
  ASSERT_EQ(late.size(), 3u);
  EXPECT_EQ(late.at(0), 300000u);
  EXPECT_EQ(late.at(1), 1200000u);
  EXPECT_EQ(late.at(2), 400000000u - (50000000u + 99 * kPeriod) - kPeriod);
}

AsioHostReport goodReport() {
  AsioHostReport r;
  r.streamed = true;
  r.switches = 1000;
  r.periodNanos = 1333333;
  r.loopbackChecked = true;
  r.loopbackChannels = 18;
  r.loopbackLocked = 18;
  r.missedKnown = true;
  return r;
}

TEST(AsioHostReportTest, TheVerdictHoldsEveryCheck) {
  struct Case {
    const char* name;
    void (*spoil)(AsioHostReport&);
    bool passes;
  };
  const Case cases[] = {
      {"good", [](AsioHostReport&) {}, true},
      {"missed switches alone do not fail", [](AsioHostReport& r) { r.missed = 3; }, true},
      {"did not stream", [](AsioHostReport& r) { r.streamed = false; }, false},
      {"a restart that did not come back", [](AsioHostReport& r) { r.failure = "start failed"; }, false},
      {"no switch", [](AsioHostReport& r) { r.switches = 0; }, false},
      {"alternation", [](AsioHostReport& r) { r.alternationErrors = 1; }, false},
      {"position", [](AsioHostReport& r) { r.positionErrors = 1; }, false},
      {"time stamps", [](AsioHostReport& r) { r.timeStampErrors = 1; }, false},
      {"frozen clock", [](AsioHostReport& r) { r.frozenClockRuns = 1; }, false},
      {"time info", [](AsioHostReport& r) { r.timeInfoErrors = 1; }, false},
      {"loopback broken", [](AsioHostReport& r) { r.loopbackErrors = 1; }, false},
      {"loopback missing on a channel", [](AsioHostReport& r) { r.loopbackLocked = 17; }, false},
      {"loopback delays differ", [](AsioHostReport& r) { r.loopbackDelayMismatches = 1; }, false},
      {"loopback not checked: its faults do not count",
       [](AsioHostReport& r) {
         r.loopbackChecked = false;
         r.loopbackLocked = 0;
       },
       true},
      {"slow host, misses counted: stream faults expected",
       [](AsioHostReport& r) {
         r.delayMicros = 2000;
         r.missed = 10;
         r.alternationErrors = 5;
         r.loopbackErrors = 50;
       },
       true},
      {"slow host, no miss counted",
       [](AsioHostReport& r) {
         r.delayMicros = 2000;
         r.missed = 0;
       },
       false},
      {"slow host, counters unreadable",
       [](AsioHostReport& r) {
         r.delayMicros = 2000;
         r.missedKnown = false;
       },
       false},
      {"a delay within the period is no excuse",
       [](AsioHostReport& r) {
         r.delayMicros = 500;
         r.alternationErrors = 1;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AsioHostReport r = goodReport();
    c.spoil(r);
    asioHostEvaluate(r);
    EXPECT_EQ(r.passed, c.passes);
    EXPECT_EQ(r.failedChecks.empty(), c.passes);
    const std::string text = asioHostFormatReport(r);
    EXPECT_NE(text.find(c.passes ? "result: PASS\n" : "result: FAIL\n"), std::string::npos) << text;
  }
}

TEST(AsioHostReportTest, TheTextCarriesTheFiguresScriptsLookFor) {
  AsioHostReport r = goodReport();
  r.rateBefore = 48000;
  r.rateAfter = 96000;
  r.missed = 2;
  r.dispatch.count = 10;
  r.dispatch.p50 = 45100;
  r.dispatch.p99 = 120000;
  r.dispatchFromSignals = true;
  r.requests = {{kAsioResetRequest, 0, 5012300000ull}, {kAsioBufferSizeChange, 0, 5012400000ull}};
  r.restartsAtNanos = {5013000000ull};
  asioHostEvaluate(r);
  const std::string text = asioHostFormatReport(r);
  for (const char* line : {"switches delivered: 1000\n", "switches missed: 2\n", "rate before: 48000\n",
                           "rate after: 96000\n", "requests: reset at 5012.3 ms, buffer-size-change at 5012.4 ms\n",
                           "restarts: 1 (at 5013.0 ms)\n", "dispatch latency: p50 45.1 us, p99 120.0 us"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST(AsioHostOptionsTest, CommandLine) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
    AsioHostOptions expected;
  };
  AsioHostOptions all;
  all.bufferFrames = 64;
  all.rate = 96000;
  all.seconds = 2.5;
  all.switchLimit = 100;
  all.timeInfo = false;
  all.delayMicros = 900;
  all.loopback = false;
  all.reportFile = "r.txt";
  all.inProcess = true;
  const Case cases[] = {
      {{}, true, AsioHostOptions()},
      {{"--buffer", "64", "--rate", "96000", "--seconds", "2.5", "--switches", "100", "--timeinfo", "off", "--delay-us",
        "900", "--loopback", "off", "--report", "r.txt", "--inprocess"},
       true,
       all},
      {{"--buffer"}, false, {}},
      {{"--buffer", "0"}, false, {}},
      {{"--buffer", "65537"}, false, {}},
      {{"--seconds", "0"}, false, {}},
      {{"--seconds", "-1"}, false, {}},
      {{"--seconds", "1.2.3"}, false, {}},
      {{"--timeinfo", "maybe"}, false, {}},
      {{"--rate", "48k"}, false, {}},
      {{"--frobnicate"}, false, {}},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"asiohost"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    AsioHostOptions out;
    std::string error;
    const bool ok = asioHostParseCommandLine(static_cast<int>(argv.size()), argv.data(), out, error);
    std::string joined;
    for (const char* a : c.args) joined += std::string(a) + " ";
    SCOPED_TRACE(joined);
    ASSERT_EQ(ok, c.ok) << error;
    if (!ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(out.bufferFrames, c.expected.bufferFrames);
    EXPECT_EQ(out.rate, c.expected.rate);
    EXPECT_EQ(out.seconds, c.expected.seconds);
    EXPECT_EQ(out.switchLimit, c.expected.switchLimit);
    EXPECT_EQ(out.timeInfo, c.expected.timeInfo);
    EXPECT_EQ(out.delayMicros, c.expected.delayMicros);
    EXPECT_EQ(out.loopback, c.expected.loopback);
    EXPECT_EQ(out.reportFile, c.expected.reportFile);
    EXPECT_EQ(out.inProcess, c.expected.inProcess);
  }
}

}  // namespace
