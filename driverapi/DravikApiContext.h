// DravikApiContext: one open channel to the kernel driver. It wraps a handle
// to one of the driver's device objects (a DravikTransport obtained from the
// process-wide transport factory), the manual-reset event used to complete
// its overlapped requests, and a recursive lock.
//
// Lifetime: Closed -> open() -> Open -> close() -> Closed; the object may be
// opened again after close(). The destructor closes the channel. Every
// request of the system to the driver passes through ioControl().
// Threading: open, close and every request take the channel's lock for their
// whole duration, so requests on one channel never overlap; the lock is
// recursive for its owner (a request-and-reply exchange holds it and issues
// requests inside it). isOpen() takes no lock. Different channels run in
// parallel.
//
//   DravikApiContext channel;
//   if (DravikStatus s = channel.open(DRAVIK_DEVICE_NAME)) return s;
//   DravikDriverInfo info;
//   channel.getDriverInfo(info);
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "driverapi/DravikRecords.h"
#include "driverapi/DravikStatus.h"
#include "driverapi/DravikTransport.h"
#include "platform/WnHandle.h"
#include "platform/WnSync.h"

// Wide characters of the formatted device path, terminator included.
constexpr size_t DRAVIK_DEVICE_PATH_CHARS = 300;

class DravikApiContext {
public:
  DravikApiContext();
  virtual ~DravikApiContext();
  DravikApiContext(const DravikApiContext&) = delete;
  DravikApiContext& operator=(const DravikApiContext&) = delete;

  // Opens the channel to the device object called name ("\\.\" is put in
  // front) and checks the driver's interface version. Already open:
  // DRAVIK_STATUS_REJECTED (the open channel is kept). Interface major
  // version other than 2: DRAVIK_STATUS_VERSION_MISMATCH, channel closed.
  // Other failures: the operating-system error code, channel closed.
  DravikStatus open(const char16_t* name);
  // Closes the handle and the completion event; safe on a closed channel.
  void close();
  bool isOpen() const { return open_.load(std::memory_order_acquire); }

  // Sends one request and waits for its completion without a time limit.
  // Closed channel: DRAVIK_STATUS_NOT_OPENED, nothing sent. Otherwise the
  // driver's completion code unchanged (0 on success). *bytesReturned, when
  // given, receives the byte count, also on failure.
  DravikStatus ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* bytesReturned = nullptr);

  // IOCTL_DRAVIK_GET_DRIVER_INFO; out is zeroed first.
  DravikStatus getDriverInfo(DravikDriverInfo& out);

protected:
  // Held for the whole of each request; exchanges that span several
  // requests (DravikClient::sendRequest) hold it too.
  WnRecursiveLock lock_;

private:
  std::unique_ptr<DravikTransport> transport_;  // the device handle; null when closed
  WnEvent ioEvent_;                              // created by open, closed by close
  std::atomic<bool> open_{false};
};
