#include "platform/WnDeviceFile.h"

#include <windows.h>

WnDeviceFile::~WnDeviceFile() { close(); }

uint32_t WnDeviceFile::open(const char16_t* path) {
  close();
  HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  handle_ = h;
  return 0;
}

void WnDeviceFile::close() {
  if (handle_) {
    CloseHandle(handle_);
    handle_ = nullptr;
  }
}

uint32_t WnDeviceFile::ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                                 uint32_t* bytesReturned, WnRawHandle ioEvent) {
  OVERLAPPED ov = {};
  ov.hEvent = ioEvent;
  DWORD bytes = 0;
  uint32_t status = 0;
  if (!DeviceIoControl(handle_, code, const_cast<void*>(in), inSize, out, outSize, &bytes, &ov)) {
    status = GetLastError();
    if (status == ERROR_IO_PENDING) {
      status = GetOverlappedResult(handle_, &ov, &bytes, TRUE) ? 0 : GetLastError();
    }
  }
  if (bytesReturned) *bytesReturned = bytes;
  return status;
}
