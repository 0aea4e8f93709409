#include "driverapi/DravikApiContext.h"

#include <cstring>

#include "driverapi/DravikIoctl.h"

namespace {

// "\\.\%s" into capacity wide characters; a longer name is cut to fit.
void formatDevicePath(const char16_t* name, char16_t* out, size_t capacity) {
  static constexpr char16_t prefix[] = u"\\\\.\\";
  size_t n = 0;
  for (const char16_t* p = prefix; *p && n + 1 < capacity; ++p) out[n++] = *p;
  for (const char16_t* p = name; p && *p && n + 1 < capacity; ++p) out[n++] = *p;
  out[n] = 0;
}

}  // namespace

DravikApiContext::DravikApiContext() = default;

DravikApiContext::~DravikApiContext() { close(); }

DravikStatus DravikApiContext::open(const char16_t* name) {
  WnLockGuard guard(lock_);
  if (transport_) return DRAVIK_STATUS_REJECTED;

  if (!ioEvent_.isValid()) {
    if (uint32_t err = ioEvent_.create(true, false)) return err;
  }

  char16_t path[DRAVIK_DEVICE_PATH_CHARS];
  formatDevicePath(name, path, DRAVIK_DEVICE_PATH_CHARS);

  std::unique_ptr<DravikTransport> transport;
  DravikStatus status = dravikTransportFactory().open(path, ioEvent_.get(), transport);
  if (status == DRAVIK_STATUS_SUCCESS && !transport) status = DRAVIK_STATUS_FAILED;
  if (status != DRAVIK_STATUS_SUCCESS) {
    close();
    return status;
  }
  transport_ = std::move(transport);
  open_.store(true, std::memory_order_release);

  DravikDriverInfo info;
  status = getDriverInfo(info);
  if (status != DRAVIK_STATUS_SUCCESS) {
    close();
    return status;
  }
  if (info.interfaceMajor != DRAVIK_INTERFACE_MAJOR) {
    close();
    return DRAVIK_STATUS_VERSION_MISMATCH;
  }
  return DRAVIK_STATUS_SUCCESS;
}

void DravikApiContext::close() {
  WnLockGuard guard(lock_);
  open_.store(false, std::memory_order_release);
  transport_.reset();
  ioEvent_.close();
}

DravikStatus DravikApiContext::ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                                         uint32_t* bytesReturned) {
  WnLockGuard guard(lock_);
  if (!transport_) {
    if (bytesReturned) *bytesReturned = 0;
    return DRAVIK_STATUS_NOT_OPENED;
  }
  uint32_t bytes = 0;
  const DravikStatus status = transport_->ioControl(code, in, inSize, out, outSize, &bytes);
  if (bytesReturned) *bytesReturned = bytes;
  return status;
}

DravikStatus DravikApiContext::getDriverInfo(DravikDriverInfo& out) {
  std::memset(&out, 0, sizeof out);
  return ioControl(IOCTL_DRAVIK_GET_DRIVER_INFO, nullptr, 0, &out, sizeof out);
}
