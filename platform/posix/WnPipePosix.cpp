// Pipes on POSIX: Unix stream sockets in Linux's abstract namespace (no
// file to clean up), named "tovix8-pipe:" + the pipe path folded to lower
// case (Windows pipe names ignore case). Sockets are non-blocking; every
// wait is a poll that also watches the end's abort pipe.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "platform/WnPipe.h"

namespace {

uint64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// The socket address of a pipe path; false when it does not fit.
bool makeAddress(const char16_t* name, sockaddr_un& addr, socklen_t& len) {
  char16_t path[WN_PIPE_NAME_CHARS];
  if (!wnFormatPipePath(name, path)) return false;
  std::string text = "tovix8-pipe:";
  for (const char16_t* p = path; *p; ++p) {
    char16_t c = *p;
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {  // UTF-8 of the BMP character (names are plain text)
      if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
      } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      }
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (text.size() + 1 > sizeof addr.sun_path) return false;
  addr.sun_path[0] = 0;  // abstract namespace
  std::memcpy(addr.sun_path + 1, text.data(), text.size());
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + text.size());
  return true;
}

uint32_t mapErrno(int e) {
  switch (e) {
    case ECONNREFUSED:
    case ENOENT:
      return WN_ERROR_FILE_NOT_FOUND;
    case EPIPE:
    case ECONNRESET:
    case ENOTCONN:
      return WN_ERROR_BROKEN_PIPE;
    case EADDRINUSE:
    case EACCES:
    case EPERM:
      return WN_ERROR_ACCESS_DENIED;
    case ENOMEM:
    case ENOBUFS:
      return WN_ERROR_NOT_ENOUGH_MEMORY;
    default:
      return WN_ERROR_INVALID_HANDLE;
  }
}

// The two ends of a self-pipe whose readability means "aborted".
struct AbortPipe {
  int fds[2] = {-1, -1};
  bool make() { return ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0; }
  void fire() {
    const char b = 1;
    if (fds[1] >= 0) (void)!::write(fds[1], &b, 1);
  }
  ~AbortPipe() {
    for (int& fd : fds)
      if (fd >= 0) ::close(fd);
  }
};

// Waits for events on fd or the abort pipe. 0 (ready), WN_ERROR_OPERATION_ABORTED
// or WN_ERROR_SEM_TIMEOUT.
uint32_t waitFor(int fd, short events, int abortFd, uint32_t timeoutMs) {
  const uint64_t deadline = timeoutMs == WN_INFINITE ? 0 : nowMs() + timeoutMs;
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {abortFd, POLLIN, 0}};
    int wait = -1;
    if (timeoutMs != WN_INFINITE) {
      const uint64_t now = nowMs();
      wait = now >= deadline ? 0 : static_cast<int>(deadline - now);
    }
    const int r = ::poll(p, 2, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      return WN_ERROR_INVALID_HANDLE;
    }
    if (p[1].revents) return WN_ERROR_OPERATION_ABORTED;
    if (r == 0) return WN_ERROR_SEM_TIMEOUT;
    if (p[0].revents) return 0;
  }
}

}  // namespace

struct WnPipe::State {
  int fd = -1;
  AbortPipe abortPipe;
  std::atomic<bool> aborted{false};
  ~State() {
    if (fd >= 0) ::close(fd);
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
  state_->abortPipe.fire();
}

uint32_t WnPipe::connect(const char16_t* name, uint32_t timeoutMs) {
  close();
  sockaddr_un addr;
  socklen_t len = 0;
  if (!makeAddress(name, addr, len)) return WN_ERROR_BAD_PATHNAME;
  const uint64_t deadline = nowMs() + timeoutMs;
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return mapErrno(errno);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0) {
      auto* s = new (std::nothrow) State;
      if (!s || !s->abortPipe.make()) {
        delete s;
        ::close(fd);
        return WN_ERROR_NOT_ENOUGH_MEMORY;
      }
      s->fd = fd;
      state_ = s;
      return 0;
    }
    const int e = errno;
    ::close(fd);
    if (e != EAGAIN && e != EWOULDBLOCK) return mapErrno(e);
    // The listener's backlog is full: every instance is busy.
    if (timeoutMs != WN_INFINITE && nowMs() >= deadline) return WN_ERROR_PIPE_BUSY;
    ::usleep(5000);
  }
}

uint32_t WnPipe::read(void* buffer, uint32_t size) {
  if (!state_) return WN_ERROR_INVALID_HANDLE;
  auto* p = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    if (state_->aborted.load()) return WN_ERROR_OPERATION_ABORTED;
    const ssize_t n = ::recv(state_->fd, p, size, 0);
    if (n > 0) {
      p += n;
      size -= static_cast<uint32_t>(n);
      continue;
    }
    if (n == 0) return WN_ERROR_BROKEN_PIPE;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return mapErrno(errno);
    if (uint32_t err = waitFor(state_->fd, POLLIN, state_->abortPipe.fds[0], WN_INFINITE)) return err;
  }
  return 0;
}

uint32_t WnPipe::write(const void* data, uint32_t size, uint32_t timeoutMs) {
  if (!state_) return WN_ERROR_INVALID_HANDLE;
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (state_->aborted.load()) return WN_ERROR_OPERATION_ABORTED;
    const ssize_t n = ::send(state_->fd, p, size, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      size -= static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return mapErrno(errno);
    const uint32_t err = waitFor(state_->fd, POLLOUT, state_->abortPipe.fds[0], timeoutMs);
    if (err == WN_ERROR_SEM_TIMEOUT) abort();
    if (err) return err;
  }
  return 0;
}

uint32_t WnPipe::peerProcessId(uint32_t& processId) const {
  processId = 0;
  if (!state_) return WN_ERROR_INVALID_HANDLE;
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(state_->fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return mapErrno(errno);
  processId = static_cast<uint32_t>(cred.pid);
  return 0;
}

// ---- WnPipeListener ----

struct WnPipeListener::State {
  int fd = -1;
  AbortPipe abortPipe;
  std::atomic<bool> aborted{false};
  ~State() {
    if (fd >= 0) ::close(fd);
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
  state_->abortPipe.fire();
}

uint32_t WnPipeListener::create(const char16_t* name) {
  close();
  sockaddr_un addr;
  socklen_t len = 0;
  if (!makeAddress(name, addr, len)) return WN_ERROR_BAD_PATHNAME;
  auto* s = new (std::nothrow) State;
  if (!s) return WN_ERROR_NOT_ENOUGH_MEMORY;
  if (!s->abortPipe.make()) {
    delete s;
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  s->fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s->fd < 0 || ::bind(s->fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0 || ::listen(s->fd, 64) != 0) {
    const uint32_t err = mapErrno(errno);
    delete s;
    return err;
  }
  state_ = s;
  return 0;
}

uint32_t WnPipeListener::accept(WnPipe& out) {
  out.close();
  if (!state_) return WN_ERROR_INVALID_HANDLE;
  for (;;) {
    if (state_->aborted.load()) return WN_ERROR_OPERATION_ABORTED;
    const int fd = ::accept4(state_->fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      auto* end = new (std::nothrow) WnPipe::State;
      if (!end || !end->abortPipe.make()) {
        delete end;
        ::close(fd);
        return WN_ERROR_NOT_ENOUGH_MEMORY;
      }
      end->fd = fd;
      out.state_ = end;
      return 0;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return mapErrno(errno);
    if (uint32_t err = waitFor(state_->fd, POLLIN, state_->abortPipe.fds[0], WN_INFINITE)) return err;
  }
}
