// AsioSignalRecordingFactory: the in-process simulated driver's transport
// factory, with the switch signals timed. It opens the driver's device path
// exactly as SimInProcessTransportFactory does (a new simulator handle per
// open, in-process peer), and watches each handle's
// IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL: the event named there is adopted
// wrapped, so that every time the simulator signals it (right after it
// wrote the half index into the switch block) the monotonic time is taken
// first. The times are published through AsioSignalSource.
//
// Lifetime: the driver outlives the factory, the factory outlives every
// transport it opened. Threading: open and the transports as their
// in-process counterparts; the signal times are written on the simulator's
// clock thread and read lock-free.
//
//   SimDriver sim;
//   AsioSignalRecordingFactory factory(sim);
//   dravikSetTransportFactory(&factory);
//   ... host: latency = entry - factory.signalTime(n) ...
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "driverapi/DravikTransport.h"
#include "simdriver/SimDriver.h"
#include "tools/asiohost/AsioSignalSource.h"

class AsioSignalRecordingFactory : public DravikTransportFactory, public AsioSignalSource {
public:
  explicit AsioSignalRecordingFactory(SimDriver& driver) : driver_(driver) {}

  DravikStatus open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) override;

  uint64_t signalCount() const override { return count_.load(std::memory_order_acquire); }
  uint64_t signalTime(uint64_t n) const override;

  // Called by the wrapped switch event just before it is set.
  void stampSignal();

private:
  SimDriver& driver_;
  std::atomic<uint64_t> count_{0};
  std::atomic<uint64_t> times_[kHistory] = {};
};
