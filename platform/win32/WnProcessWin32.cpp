// WnProcess on Win32: the process APIs one to one.
#include <windows.h>

#include <cwchar>
#include <new>

#include "platform/WnProcess.h"

static_assert(WN_ERROR_PARTIAL_COPY == ERROR_PARTIAL_COPY && WN_ERROR_NOACCESS == ERROR_NOACCESS);

namespace {

uint32_t lastErrorOr(uint32_t fallback) {
  DWORD e = GetLastError();
  return e ? e : fallback;
}

// The address range as a pointer of this build; false when it cannot be one
// (a 64-bit address seen by a 32-bit build) or wraps.
bool toRemote(uint64_t address, size_t size, void*& out) {
  if (address == 0 || address > UINTPTR_MAX) return false;
  const uintptr_t p = static_cast<uintptr_t>(address);
  if (size > UINTPTR_MAX - p) return false;
  out = reinterpret_cast<void*>(p);
  return true;
}

}  // namespace

WnProcess::~WnProcess() { close(); }

void WnProcess::close() {
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
  processId_ = 0;
}

uint32_t WnProcess::open(uint32_t processId) {
  close();
  if (processId == 0) return ERROR_INVALID_PARAMETER;
  const DWORD access = PROCESS_DUP_HANDLE | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
                       PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
  HANDLE h = OpenProcess(access, FALSE, processId);
  if (!h) return lastErrorOr(ERROR_INVALID_PARAMETER);
  handle_ = h;
  processId_ = processId;
  return 0;
}

uint32_t WnProcess::start(const char16_t* commandLine) {
  close();
  if (!commandLine || !commandLine[0]) return ERROR_INVALID_PARAMETER;
  const size_t n = std::wcslen(reinterpret_cast<const wchar_t*>(commandLine));
  wchar_t* line = new (std::nothrow) wchar_t[n + 1];
  if (!line) return ERROR_NOT_ENOUGH_MEMORY;
  std::wmemcpy(line, reinterpret_cast<const wchar_t*>(commandLine), n + 1);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const BOOL ok = CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  const uint32_t err = ok ? 0 : lastErrorOr(ERROR_FILE_NOT_FOUND);
  delete[] line;
  if (!ok) return err;
  CloseHandle(pi.hThread);
  handle_ = pi.hProcess;
  processId_ = pi.dwProcessId;
  return 0;
}

uint32_t WnProcess::duplicateEvent(uint64_t handleValue, WnRawHandle* copy) const {
  if (!copy) return ERROR_INVALID_PARAMETER;
  *copy = nullptr;
  if (!handle_) return ERROR_INVALID_HANDLE;
  if (handleValue == 0 || handleValue > UINTPTR_MAX) return ERROR_INVALID_HANDLE;
  HANDLE source = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handleValue));
  HANDLE out = nullptr;
  if (!DuplicateHandle(handle_, source, GetCurrentProcess(), &out, EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, 0))
    return lastErrorOr(ERROR_INVALID_HANDLE);
  *copy = out;
  return 0;
}

uint32_t WnProcess::readMemory(uint64_t address, void* buffer, size_t size) const {
  if (!handle_) return ERROR_INVALID_HANDLE;
  if (size == 0) return 0;
  void* remote = nullptr;
  if (!buffer || !toRemote(address, size, remote)) return ERROR_NOACCESS;
  SIZE_T done = 0;
  if (!ReadProcessMemory(handle_, remote, buffer, size, &done)) return lastErrorOr(ERROR_PARTIAL_COPY);
  return done == size ? 0u : uint32_t{ERROR_PARTIAL_COPY};
}

uint32_t WnProcess::writeMemory(uint64_t address, const void* data, size_t size) const {
  if (!handle_) return ERROR_INVALID_HANDLE;
  if (size == 0) return 0;
  void* remote = nullptr;
  if (!data || !toRemote(address, size, remote)) return ERROR_NOACCESS;
  SIZE_T done = 0;
  if (!WriteProcessMemory(handle_, remote, data, size, &done)) return lastErrorOr(ERROR_PARTIAL_COPY);
  return done == size ? 0u : uint32_t{ERROR_PARTIAL_COPY};
}

uint32_t WnProcess::wait(uint32_t timeoutMs) const {
  if (!handle_) return ERROR_INVALID_HANDLE;
  const DWORD w = WaitForSingleObject(handle_, timeoutMs);
  if (w == WAIT_OBJECT_0) return 0;
  if (w == WAIT_TIMEOUT) return WAIT_TIMEOUT;
  return lastErrorOr(ERROR_INVALID_HANDLE);
}

uint32_t WnProcess::exitCode(uint32_t& code) const {
  code = STILL_ACTIVE;
  if (!handle_) return ERROR_INVALID_HANDLE;
  DWORD c = 0;
  if (!GetExitCodeProcess(handle_, &c)) return lastErrorOr(ERROR_INVALID_HANDLE);
  code = c;
  return 0;
}

uint32_t WnProcess::terminate(uint32_t exitCode) {
  if (!handle_) return ERROR_INVALID_HANDLE;
  if (!TerminateProcess(handle_, exitCode)) return lastErrorOr(ERROR_ACCESS_DENIED);
  return 0;
}
