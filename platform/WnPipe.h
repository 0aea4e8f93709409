// Byte-stream pipes between processes of one machine: WnPipe (one connected
// end) and WnPipeListener (the server side that accepts connections).
//
// On Win32 these are named pipes: the listener creates the instances of
// "\\.\pipe\<name>" with CreateNamedPipeW (byte mode, overlapped, local
// clients only) and accepts with ConnectNamedPipe; a client opens the name
// with CreateFileW (overlapped, identification-level security quality of
// service, so that whoever serves the pipe can never act with the client's
// identity) and waits with WaitNamedPipeW while every instance is busy. On
// POSIX they are Unix stream sockets in the abstract namespace, named after
// the same text, so the portable code above runs unchanged in native builds.
//
// Names: "\\.\pipe\<name>" or the bare <name> (the prefix is added).
//
// Errors: the operating-system codes of WnTypes.h plus those below. A peer
// that closed its end gives WN_ERROR_BROKEN_PIPE; an end or listener that
// was aborted gives WN_ERROR_OPERATION_ABORTED; a name nobody serves gives
// WN_ERROR_FILE_NOT_FOUND.
//
// Lifetime: each object owns its end and closes it on destruction; close()
// and the destructor must not run while another thread is inside read,
// write or accept (abort() first and let those calls return).
// Threading: one read and one write may run at the same time on one end
// (from two threads); abort() may be called from any thread at any time and
// makes every pending and later operation fail with
// WN_ERROR_OPERATION_ABORTED.
//
//   WnPipeListener listener;
//   if (uint32_t e = listener.create(u"\\\\.\\pipe\\tovix8sim")) return e;
//   WnPipe client;
//   while (listener.accept(client) == 0) { ...hand client over... }
//
//   WnPipe pipe;
//   if (pipe.connect(u"\\\\.\\pipe\\tovix8sim", 5000) == 0) pipe.write(&frame, sizeof frame);
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WnTypes.h"

enum : uint32_t {
  WN_ERROR_BROKEN_PIPE = 109,
  WN_ERROR_SEM_TIMEOUT = 121,
  WN_ERROR_BAD_PATHNAME = 161,
  WN_ERROR_PIPE_BUSY = 231,
  WN_ERROR_PIPE_CONNECTED = 535,
  WN_ERROR_OPERATION_ABORTED = 995,
};

// Characters of a pipe path, terminator included.
constexpr size_t WN_PIPE_NAME_CHARS = 256;

// "\\.\pipe\" + name unless name already starts with "\\". False when the
// name is empty or does not fit (out is then empty).
bool wnFormatPipePath(const char16_t* name, char16_t (&out)[WN_PIPE_NAME_CHARS]);

class WnPipe {
public:
  WnPipe();
  ~WnPipe();
  WnPipe(const WnPipe&) = delete;
  WnPipe& operator=(const WnPipe&) = delete;

  // Client side: closes a held end, then connects to the pipe. While every
  // instance is busy it waits, up to timeoutMs in all; then
  // WN_ERROR_PIPE_BUSY (or WN_ERROR_SEM_TIMEOUT).
  uint32_t connect(const char16_t* name, uint32_t timeoutMs);
  // Reads exactly size bytes (fewer only on failure). A peer that closed
  // before all arrived: WN_ERROR_BROKEN_PIPE.
  uint32_t read(void* buffer, uint32_t size);
  // Writes all size bytes. timeoutMs bounds the wait for a peer that does
  // not read (WN_ERROR_SEM_TIMEOUT; the end is then aborted, as the stream
  // is no longer in step).
  uint32_t write(const void* data, uint32_t size, uint32_t timeoutMs = WN_INFINITE);
  // Any thread: makes pending and later operations fail (see above).
  void abort();
  void close();
  bool isOpen() const;
  // The process at the other end: the client of a server end, the server of
  // a client end, as the operating system reports it. 0 or the error code.
  uint32_t peerProcessId(uint32_t& processId) const;

private:
  friend class WnPipeListener;
  struct State;
  State* state_ = nullptr;
};

class WnPipeListener {
public:
  WnPipeListener();
  ~WnPipeListener();
  WnPipeListener(const WnPipeListener&) = delete;
  WnPipeListener& operator=(const WnPipeListener&) = delete;

  // Closes a held listener, then starts serving the name. A name another
  // listener serves: WN_ERROR_ACCESS_DENIED where the system can tell.
  uint32_t create(const char16_t* name);
  // Waits for the next client and hands its connected end to out (closing
  // what out held). Abort: WN_ERROR_OPERATION_ABORTED.
  uint32_t accept(WnPipe& out);
  // Any thread: ends a pending accept and makes later ones fail.
  void abort();
  void close();
  bool isOpen() const;

private:
  struct State;
  State* state_ = nullptr;
};
