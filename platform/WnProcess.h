// WnProcess: an owned handle to another process (or this one), for what a
// server does on behalf of a client process: duplicating the client's
// event handles into this process, reading and writing memory the client
// lent, and noticing when the client ended. It can also start a program and
// end it (tests and tools that run several processes).
//
// On Win32: OpenProcess (duplicate handle, memory read/write/operation,
// query, synchronize), DuplicateHandle with only the rights an event needs
// to be set and waited for (a client that names another kind of object gets
// a handle that can do nothing with it), ReadProcessMemory /
// WriteProcessMemory (a bad address is an error, never a fault of this
// process), CreateProcessW, TerminateProcess. On POSIX, where kernel objects
// are private to their process, only this process's own handles and memory
// can be reached (the native builds run client and server in one process to
// use them); another process can be opened, but duplicating its handles and
// copying its memory, like starting programs, answer WN_ERROR_NOT_SUPPORTED.
//
// Lifetime: owns its handle and closes it on destruction; open/start close
// a held one first. A duplicated event belongs to the caller (wnCloseHandle).
// Threading: the operations do not change the object and may run from
// several threads at once; open, start and close belong to the owner.
//
//   WnProcess client;
//   if (uint32_t e = client.open(clientPid)) return e;
//   WnRawHandle event = nullptr;
//   if (client.duplicateEvent(handleValue, &event) == 0) { wnSetEvent(event); wnCloseHandle(event); }
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WnTypes.h"

enum : uint32_t {
  WN_ERROR_PARTIAL_COPY = 299,
  WN_ERROR_NOACCESS = 998,
};

class WnProcess {
public:
  WnProcess() = default;
  ~WnProcess();
  WnProcess(const WnProcess&) = delete;
  WnProcess& operator=(const WnProcess&) = delete;

  uint32_t open(uint32_t processId);
  // Starts commandLine (program path first, quoted when it has spaces).
  uint32_t start(const char16_t* commandLine);
  void close();
  bool isOpen() const { return handle_ != nullptr; }
  uint32_t processId() const { return processId_; }

  // A duplicate, in this process, of the event with this handle value in
  // the process. A value that does not fit a handle: WN_ERROR_INVALID_HANDLE.
  uint32_t duplicateEvent(uint64_t handleValue, WnRawHandle* copy) const;
  // Copies exactly size bytes; a range that cannot be reached (null, beyond
  // the address space, not mapped, not writable): its error, nothing copied
  // as far as the system can tell.
  uint32_t readMemory(uint64_t address, void* buffer, size_t size) const;
  uint32_t writeMemory(uint64_t address, const void* data, size_t size) const;

  // 0 when the process ended within timeoutMs, WN_WAIT_TIMEOUT when not.
  uint32_t wait(uint32_t timeoutMs) const;
  // The exit code, or 259 (still active).
  uint32_t exitCode(uint32_t& code) const;
  uint32_t terminate(uint32_t exitCode);

private:
  void* handle_ = nullptr;
  uint32_t processId_ = 0;
};
