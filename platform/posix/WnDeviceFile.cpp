#include "platform/WnDeviceFile.h"

// There are no kernel devices of this kind on POSIX; programs reach the
// simulated driver through another transport.
WnDeviceFile::~WnDeviceFile() { close(); }

uint32_t WnDeviceFile::open(const char16_t*) {
  close();
  return WN_ERROR_FILE_NOT_FOUND;
}

void WnDeviceFile::close() { handle_ = nullptr; }

uint32_t WnDeviceFile::ioControl(uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t* bytesReturned,
                                 WnRawHandle) {
  if (bytesReturned) *bytesReturned = 0;
  return WN_ERROR_INVALID_HANDLE;
}
