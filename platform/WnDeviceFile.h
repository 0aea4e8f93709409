// WnDeviceFile: an owned handle to a device object opened for overlapped
// I/O, and its I/O control request.
//
// On Win32 this is CreateFileW (read/write, shared read/write, existing only,
// overlapped) and DeviceIoControl with an OVERLAPPED whose event is the
// caller's manual-reset event. On POSIX there are no such devices: open
// fails with WN_ERROR_FILE_NOT_FOUND.
// Threading: one request at a time per object (the owner serialises).
#pragma once

#include "platform/WnTypes.h"

class WnDeviceFile {
public:
  WnDeviceFile() = default;
  ~WnDeviceFile();
  WnDeviceFile(const WnDeviceFile&) = delete;
  WnDeviceFile& operator=(const WnDeviceFile&) = delete;

  // Closes a held handle first. 0 or the operating-system error code.
  uint32_t open(const char16_t* path);
  void close();
  bool isOpen() const { return handle_ != nullptr; }
  // Issues the request and waits for its completion without a time limit.
  // Returns 0 when it completed, else the completion's error code unchanged.
  // *bytesReturned (when given) receives the byte count, also on failure.
  uint32_t ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                     uint32_t* bytesReturned, WnRawHandle ioEvent);

private:
  WnRawHandle handle_ = nullptr;
};
