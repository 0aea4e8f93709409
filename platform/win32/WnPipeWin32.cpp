// Pipes on Win32: named pipes in byte mode with overlapped I/O. Every wait
// for a completion also waits for the end's abort event; an abort cancels
// the operation (CancelIoEx) and waits for the cancellation to complete, so
// no OVERLAPPED outlives its call.
#include <windows.h>

#include <atomic>
#include <new>

#include "platform/WnPipe.h"

static_assert(WN_ERROR_BROKEN_PIPE == ERROR_BROKEN_PIPE && WN_ERROR_PIPE_BUSY == ERROR_PIPE_BUSY);
static_assert(WN_ERROR_OPERATION_ABORTED == ERROR_OPERATION_ABORTED && WN_ERROR_SEM_TIMEOUT == ERROR_SEM_TIMEOUT);
static_assert(WN_ERROR_PIPE_CONNECTED == ERROR_PIPE_CONNECTED);

namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

uint32_t lastErrorOr(uint32_t fallback) {
  DWORD e = GetLastError();
  return e ? e : fallback;
}

// Waits for an overlapped operation that went pending. 0 and the byte
// count, the completion's error, WN_ERROR_OPERATION_ABORTED (abort event) or
// WN_ERROR_SEM_TIMEOUT; the latter two cancel the operation first.
uint32_t finishPending(HANDLE h, OVERLAPPED& ov, HANDLE abortEvent, DWORD timeoutMs, DWORD& bytes) {
  HANDLE waits[2] = {ov.hEvent, abortEvent};
  const DWORD w = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
  if (w == WAIT_OBJECT_0) {
    if (GetOverlappedResult(h, &ov, &bytes, FALSE)) return 0;
    return lastErrorOr(ERROR_BROKEN_PIPE);
  }
  CancelIoEx(h, &ov);
  GetOverlappedResult(h, &ov, &bytes, TRUE);  // the cancellation (or a late completion)
  return w == WAIT_TIMEOUT ? uint32_t{ERROR_SEM_TIMEOUT} : uint32_t{ERROR_OPERATION_ABORTED};
}

HANDLE newEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

void closeIf(HANDLE& h) {
  if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  h = nullptr;
}

}  // namespace

struct WnPipe::State {
  HANDLE pipe = nullptr;
  HANDLE abortEvent = nullptr;
  HANDLE readEvent = nullptr;
  HANDLE writeEvent = nullptr;
  bool serverEnd = false;
  std::atomic<bool> aborted{false};

  ~State() {
    closeIf(pipe);
    closeIf(abortEvent);
    closeIf(readEvent);
    closeIf(writeEvent);
  }
  // The events of a fresh end; false when one could not be created.
  bool makeEvents() {
    abortEvent = newEvent();
    readEvent = newEvent();
    writeEvent = newEvent();
    return abortEvent && readEvent && writeEvent;
  }
};

WnPipe::WnPipe() = default;

WnPipe::~WnPipe() { close(); }

void WnPipe::close() {
  delete state_;
  state_ = nullptr;
}

bool WnPipe::isOpen() const { return state_ != nullptr; }

void WnPipe::abort() {
  if (!state_) return;
  state_->aborted.store(true);
  SetEvent(state_->abortEvent);
}

uint32_t WnPipe::connect(const char16_t* name, uint32_t timeoutMs) {
  close();
  char16_t path[WN_PIPE_NAME_CHARS];
  if (!wnFormatPipePath(name, path)) return ERROR_BAD_PATHNAME;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    HANDLE h = CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      auto* s = new (std::nothrow) State;
      if (!s) {
        CloseHandle(h);
        return ERROR_NOT_ENOUGH_MEMORY;
      }
      s->pipe = h;
      if (!s->makeEvents()) {
        const uint32_t err = lastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
        delete s;
        return err;
      }
      state_ = s;
      return 0;
    }
    const uint32_t err = GetLastError();
    if (err != ERROR_PIPE_BUSY) return err ? err : uint32_t{ERROR_FILE_NOT_FOUND};
    const ULONGLONG now = GetTickCount64();
    if (timeoutMs != WN_INFINITE && now >= deadline) return ERROR_PIPE_BUSY;
    const DWORD slice = timeoutMs == WN_INFINITE ? 1000 : static_cast<DWORD>(deadline - now);
    // An instance may be freed and taken again before the open: loop.
    WaitNamedPipeW(wide(path), slice ? slice : 1);
  }
}

uint32_t WnPipe::read(void* buffer, uint32_t size) {
  if (!state_) return ERROR_INVALID_HANDLE;
  auto* p = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    if (state_->aborted.load()) return ERROR_OPERATION_ABORTED;
    OVERLAPPED ov = {};
    ov.hEvent = state_->readEvent;
    ResetEvent(ov.hEvent);
    DWORD bytes = 0;
    uint32_t err = 0;
    if (!ReadFile(state_->pipe, p, size, &bytes, &ov)) {
      err = GetLastError();
      if (err == ERROR_IO_PENDING) err = finishPending(state_->pipe, ov, state_->abortEvent, INFINITE, bytes);
      if (err == ERROR_MORE_DATA) err = 0;  // message-mode peers: keep reading
    }
    if (err) return err;
    if (bytes == 0) return ERROR_BROKEN_PIPE;  // end of stream
    p += bytes;
    size -= bytes;
  }
  return 0;
}

uint32_t WnPipe::write(const void* data, uint32_t size, uint32_t timeoutMs) {
  if (!state_) return ERROR_INVALID_HANDLE;
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (state_->aborted.load()) return ERROR_OPERATION_ABORTED;
    OVERLAPPED ov = {};
    ov.hEvent = state_->writeEvent;
    ResetEvent(ov.hEvent);
    DWORD bytes = 0;
    uint32_t err = 0;
    if (!WriteFile(state_->pipe, p, size, &bytes, &ov)) {
      err = GetLastError();
      if (err == ERROR_IO_PENDING) err = finishPending(state_->pipe, ov, state_->abortEvent, timeoutMs, bytes);
    }
    if (err == ERROR_SEM_TIMEOUT) abort();
    if (err) return err;
    if (bytes == 0) return ERROR_BROKEN_PIPE;
    p += bytes;
    size -= bytes;
  }
  return 0;
}

uint32_t WnPipe::peerProcessId(uint32_t& processId) const {
  processId = 0;
  if (!state_) return ERROR_INVALID_HANDLE;
  ULONG pid = 0;
  const BOOL ok = state_->serverEnd ? GetNamedPipeClientProcessId(state_->pipe, &pid)
                                    : GetNamedPipeServerProcessId(state_->pipe, &pid);
  if (!ok) return lastErrorOr(ERROR_NOT_SUPPORTED);
  processId = pid;
  return 0;
}

// ---- WnPipeListener ----

struct WnPipeListener::State {
  char16_t path[WN_PIPE_NAME_CHARS] = {};
  HANDLE pending = nullptr;  // the instance that waits for the next client
  HANDLE abortEvent = nullptr;
  HANDLE connectEvent = nullptr;
  std::atomic<bool> aborted{false};

  ~State() {
    closeIf(pending);
    closeIf(abortEvent);
    closeIf(connectEvent);
  }
  uint32_t makeInstance(bool first) {
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first) openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    HANDLE h = CreateNamedPipeW(wide(path), openMode,
                                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastErrorOr(ERROR_INVALID_HANDLE);
    pending = h;
    return 0;
  }
};

WnPipeListener::WnPipeListener() = default;

WnPipeListener::~WnPipeListener() { close(); }

void WnPipeListener::close() {
  delete state_;
  state_ = nullptr;
}

bool WnPipeListener::isOpen() const { return state_ != nullptr; }

void WnPipeListener::abort() {
  if (!state_) return;
  state_->aborted.store(true);
  SetEvent(state_->abortEvent);
}

uint32_t WnPipeListener::create(const char16_t* name) {
  close();
  auto* s = new (std::nothrow) State;
  if (!s) return ERROR_NOT_ENOUGH_MEMORY;
  if (!wnFormatPipePath(name, s->path)) {
    delete s;
    return ERROR_BAD_PATHNAME;
  }
  s->abortEvent = newEvent();
  s->connectEvent = newEvent();
  if (!s->abortEvent || !s->connectEvent) {
    const uint32_t err = lastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    delete s;
    return err;
  }
  if (uint32_t err = s->makeInstance(true)) {
    delete s;
    return err;
  }
  state_ = s;
  return 0;
}

uint32_t WnPipeListener::accept(WnPipe& out) {
  out.close();
  if (!state_) return ERROR_INVALID_HANDLE;
  State& s = *state_;
  if (s.aborted.load()) return ERROR_OPERATION_ABORTED;
  if (!s.pending) {
    if (uint32_t err = s.makeInstance(false)) return err;
  }
  OVERLAPPED ov = {};
  ov.hEvent = s.connectEvent;
  ResetEvent(ov.hEvent);
  uint32_t err = 0;
  if (!ConnectNamedPipe(s.pending, &ov)) {
    err = GetLastError();
    if (err == ERROR_PIPE_CONNECTED) {
      err = 0;
    } else if (err == ERROR_IO_PENDING) {
      DWORD bytes = 0;
      err = finishPending(s.pending, ov, s.abortEvent, INFINITE, bytes);
    }
  }
  if (err) {
    if (err != ERROR_OPERATION_ABORTED) {
      // A client that came and went at once: drop the instance, make another next time.
      DisconnectNamedPipe(s.pending);
      closeIf(s.pending);
    }
    return err;
  }
  auto* end = new (std::nothrow) WnPipe::State;
  if (!end) {
    DisconnectNamedPipe(s.pending);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  end->pipe = s.pending;
  end->serverEnd = true;
  s.pending = nullptr;
  if (!end->makeEvents()) {
    const uint32_t e = lastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    delete end;
    return e;
  }
  out.state_ = end;
  // The next instance at once, so that the name never vanishes between clients.
  s.makeInstance(false);
  return 0;
}
