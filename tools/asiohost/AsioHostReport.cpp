#include "tools/asiohost/AsioHostReport.h"

#include <cstdarg>
#include <cstdio>

namespace {

std::string format(const char* f, ...) {
  char text[512];
  va_list args;
  va_start(args, f);
  std::vsnprintf(text, sizeof text, f, args);
  va_end(args);
  return text;
}

std::string millis(uint64_t nanos) {
  return format("%llu.%llu ms", static_cast<unsigned long long>(nanos / 1000000),
                static_cast<unsigned long long>((nanos % 1000000) / 100000));
}

unsigned long long ull(uint64_t v) { return static_cast<unsigned long long>(v); }

}  // namespace

std::string asioHostRequestName(AsioLong selector) {
  switch (selector) {
    case kAsioResetRequest:
      return "reset";
    case kAsioBufferSizeChange:
      return "buffer-size-change";
    case kAsioResyncRequest:
      return "resync";
    case kAsioLatenciesChanged:
      return "latencies-changed";
    default:
      return format("%d", static_cast<int>(selector));
  }
}

void asioHostEvaluate(AsioHostReport& r) {
  r.failedChecks.clear();
  auto fail = [&](const std::string& what) { r.failedChecks.push_back(what); };
  if (!r.failure.empty()) fail(r.failure);
  if (!r.streamed) {
    if (r.failure.empty()) fail("the driver did not stream");
  } else if (r.switches == 0) {
    fail("no buffer switch was delivered");
  } else {
    const bool slowHost = r.delayMicros > 0 && r.periodNanos > 0 && uint64_t{r.delayMicros} * 1000 >= r.periodNanos;
    if (slowHost) {
      if (!r.missedKnown) fail("the driver's error counters could not be read");
      else if (r.missed == 0) fail("a host slower than the buffer period missed no switch by the driver's count");
    } else {
      if (r.alternationErrors) fail("half indices did not alternate");
      if (r.positionErrors) fail("sample positions did not advance by the buffer size");
      if (r.timeStampErrors || r.frozenClockRuns) fail("time stamps went back or never moved");
      if (r.timeInfoErrors) fail("time info without the valid flags or speed 1");
      if (r.loopbackChecked) {
        if (r.loopbackErrors) fail("the loopback was broken");
        if (r.loopbackLocked < r.loopbackChannels) fail("the outputs did not come back on every input");
        if (r.loopbackDelayMismatches) fail("the loopback delay differed between channels");
      }
    }
  }
  r.passed = r.failedChecks.empty();
}

std::string asioHostFormatReport(const AsioHostReport& r) {
  std::string t = "asiohost report\n";
  if (!r.driverName.empty())
    t += format("driver: %s (version %d)\n", r.driverName.c_str(), static_cast<int>(r.driverVersion));
  t += format("channels: %d in, %d out\n", static_cast<int>(r.inputs), static_cast<int>(r.outputs));
  std::string rates;
  for (uint32_t rate : r.rates) rates += format("%s%u", rates.empty() ? "" : " ", rate);
  t += "rates: " + (rates.empty() ? std::string("none") : rates) + "\n";
  t += format("buffer sizes: min %d, max %d, preferred %d, granularity %d; used %u", static_cast<int>(r.bufferMin),
              static_cast<int>(r.bufferMax), static_cast<int>(r.bufferPreferred),
              static_cast<int>(r.bufferGranularity), r.bufferUsed);
  if (r.bufferUsedLast && r.bufferUsedLast != r.bufferUsed) t += format(", after the restarts %u", r.bufferUsedLast);
  t += "\n";
  t += format("latencies: in %d, out %d frames\n", static_cast<int>(r.inputLatency), static_cast<int>(r.outputLatency));
  t += format("time info: %s\n", r.timeInfo ? "on" : "off");
  if (r.delayMicros) t += format("host delay: %u us per switch\n", r.delayMicros);
  t += format("rate before: %.0f\n", r.rateBefore);
  t += format("rate after: %.0f\n", r.rateAfter);
  t += format("seconds streamed: %.1f\n", r.secondsStreamed);
  t += format("runs: %u\n", r.runs);
  t += format("switches delivered: %llu\n", ull(r.switches));
  if (r.switchesDue)
    t += format("switches due: %llu (delivered %.1f%%)\n", ull(r.switchesDue),
                100.0 * static_cast<double>(r.switches) / static_cast<double>(r.switchesDue));
  if (r.missedKnown)
    t += format("switches missed: %llu\n", ull(r.missed));
  else
    t += "switches missed: unknown (the error counters could not be read)\n";
  t += format("late callbacks: %llu\n", ull(r.late));
  if (r.dispatch.count)
    t += format("dispatch latency: p50 %s us, p99 %s us, p99.9 %s us, max %s us over %zu switches (%s)\n",
                asioMicros(r.dispatch.p50).c_str(), asioMicros(r.dispatch.p99).c_str(),
                asioMicros(r.dispatch.p999).c_str(), asioMicros(r.dispatch.max).c_str(), r.dispatch.count,
                r.dispatchFromSignals ? "from the driver's switch signals"
                                      : "estimated: lateness of each call against one period after the one before; no signal times published");
  else
    t += "dispatch latency: none measured\n";
  t += format("alternation errors: %llu\n", ull(r.alternationErrors));
  t += format("position errors: %llu\n", ull(r.positionErrors));
  t += format("time stamp errors: %llu\n", ull(r.timeStampErrors + r.frozenClockRuns));
  if (r.timeInfo) t += format("time info errors: %llu\n", ull(r.timeInfoErrors));
  if (r.loopbackChecked)
    t += format("loopback: %u of %u channels, delay %llu frames, errors %llu\n", r.loopbackLocked, r.loopbackChannels,
                ull(r.loopbackDelay), ull(r.loopbackErrors));
  else
    t += "loopback: not checked\n";
  std::string requests;
  for (const AsioHostRequest& q : r.requests)
    requests += (requests.empty() ? "" : ", ") + asioHostRequestName(q.selector) + " at " + millis(q.atNanos);
  t += "requests: " + (requests.empty() ? std::string("none") : requests) + "\n";
  std::string restarts;
  for (uint64_t at : r.restartsAtNanos) restarts += (restarts.empty() ? "" : ", ") + millis(at);
  t += format("restarts: %zu%s%s%s\n", r.restartsAtNanos.size(), restarts.empty() ? "" : " (at ", restarts.c_str(),
              restarts.empty() ? "" : ")");
  if (r.droppedRecords) t += format("timing records dropped: %llu\n", ull(r.droppedRecords));
  if (!r.failure.empty()) t += "failure: " + r.failure + "\n";
  for (const std::string& f : r.failedChecks) t += "failed check: " + f + "\n";
  t += std::string("result: ") + (r.passed ? "PASS" : "FAIL") + "\n";
  return t;
}
