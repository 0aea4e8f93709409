// bench_switch_path: the buffer switch path of the driver object with the
// simulated driver's clock stepped by hand, for instruction counts under
// callgrind (bench/run divides its totals by the switches) and for two
// promises of that path: it allocates nothing (every operator new of this
// program is counted, by thread) and sends no request to the driver (the
// simulator's journal). The host is minimal: its callback only lets the
// stepping thread go on.
//
//   bench_switch_path [--switches N]
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

#include "bench/BenchArgs.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnHandle.h"
#include "platform/WnWait.h"
#include "simdriver/SimScenario.h"
#include "tools/asiohost/AsioInProcessRig.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_allocations{0};
std::atomic<uint64_t> g_streamingAllocations{0};
std::atomic<std::thread::id> g_streamingThread{};

void* countedAllocation(size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (std::this_thread::get_id() == g_streamingThread.load(std::memory_order_relaxed))
      g_streamingAllocations.fetch_add(1, std::memory_order_relaxed);
  }
  return std::malloc(size ? size : 1);
}

WnEvent g_served;  // auto-reset: the host took a switch

ASIOTime* WN_CDECL onSwitchTimeInfo(ASIOTime* params, AsioLong, ASIOBool) {
  g_streamingThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  g_served.set();
  return params;
}

void WN_CDECL onSwitch(AsioLong, ASIOBool) {
  g_streamingThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  g_served.set();
}

AsioLong WN_CDECL onMessage(AsioLong selector, AsioLong value, void*, double*) {
  if (selector == kAsioSupportsTimeInfo) return 1;
  if (selector == kAsioSelectorSupported) return value == kAsioResetRequest || value == kAsioBufferSizeChange;
  return 0;
}

void WN_CDECL onRateChange(ASIOSampleRate) {}

uint64_t lastSerial(SimScenario& sc, SimHandleId handle) {
  const std::vector<SimJournalEntry> j = sc.journal(handle);
  return j.empty() ? 0 : j.back().serial;
}

}  // namespace

void* operator new(size_t size) {
  if (void* p = countedAllocation(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* p = countedAllocation(size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

int main(int argc, char** argv) {
  BenchArgs args;
  if (!args.parse(argc, argv, {"switches", "buffer"})) {
    std::fprintf(stderr, "bench_switch_path: %s\nusage: bench_switch_path [--switches N] [--buffer FRAMES]\n",
                 args.error().c_str());
    return 2;
  }
  const uint64_t switches = static_cast<uint64_t>(args.number("switches", 10000));
  const AsioLong frames = static_cast<AsioLong>(args.number("buffer", 64));
  g_served.create(false, false);

  SimDriverConfig config;
  config.clockMode = SimClockMode::Manual;
  AsioInProcessRig rig(config);
  std::string error;
  IASIO* asio = rig.start(error) == 0 ? rig.createDriver(error) : nullptr;
  if (!asio || asio->init(nullptr) != ASIOTrue) {
    std::fprintf(stderr, "bench_switch_path: no driver: %s\n", error.c_str());
    return 3;
  }
  ASIOCallbacks callbacks{&onSwitch, &onRateChange, &onMessage, &onSwitchTimeInfo};
  // A stereo host: two inputs, two outputs.
  ASIOBufferInfo infos[4] = {{ASIOTrue, 0, {}}, {ASIOTrue, 1, {}}, {ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
  if (asio->createBuffers(infos, 4, frames, &callbacks) != ASE_OK || asio->start() != ASE_OK) {
    std::fprintf(stderr, "bench_switch_path: the driver does not stream\n");
    return 1;
  }
  SimScenario& sc = rig.sim().scenario();
  // The two priming calls, then the stream started in the driver.
  wnWaitForSingle(g_served.get(), 10000);
  wnWaitForSingle(g_served.get(), 10000);
  if (!sc.waitForRequest(IOCTL_DRAVIK_ASIO_START, 1, 10000)) {
    std::fprintf(stderr, "bench_switch_path: the stream did not start\n");
    return 1;
  }
  const SimHandleId handle = sc.findHandle(DRAVIK_INITIATOR_ASIO);
  const uint64_t driverMark = lastSerial(sc, handle);
  const uint64_t allMark = lastSerial(sc, SIM_NO_HANDLE);
  const uint64_t missedBefore = sc.settings().errorCounters.asioErrors;

  g_counting.store(true);
  uint64_t served = 0;
  for (uint64_t i = 0; i < switches; ++i) {
    if (sc.stepSwitch() != 0) break;
    if (wnWaitForSingle(g_served.get(), 10000) != WN_WAIT_OBJECT_0) break;
    ++served;
  }
  g_counting.store(false);

  const uint64_t driverRequests = lastSerial(sc, handle) - driverMark;
  const uint64_t allRequests = lastSerial(sc, SIM_NO_HANDLE) - allMark;
  const uint64_t missed = sc.settings().errorCounters.asioErrors - missedBefore;
  asio->stop();
  asio->disposeBuffers();
  asio->Release();
  rig.stop();

  std::printf("switch path: %llu switches of %d frames (2 in, 2 out), clock stepped by hand\n",
              static_cast<unsigned long long>(served), static_cast<int>(frames));
  std::printf("  allocations on the streaming thread: %llu\n",
              static_cast<unsigned long long>(g_streamingAllocations.load()));
  std::printf("  allocations on other threads meanwhile: %llu\n",
              static_cast<unsigned long long>(g_allocations.load() - g_streamingAllocations.load()));
  std::printf("  driver requests from the ASIO driver meanwhile: %llu (all handles: %llu)\n",
              static_cast<unsigned long long>(driverRequests), static_cast<unsigned long long>(allRequests));
  std::printf("  switches the driver counted as missed: %llu (the stepping thread does not wait for the acknowledge)\n",
              static_cast<unsigned long long>(missed));
  const bool clean = served == switches && g_streamingAllocations.load() == 0 && driverRequests == 0;
  std::printf("  switch path: %s\n", clean ? "no allocation, no request" : "NOT clean");
  return clean ? 0 : 1;
}
