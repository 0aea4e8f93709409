// POSIX backend of the kernel objects: emulated events, mutexes, threads and
// waitable timers behind WnRawHandle, with Win32 wait semantics and codes.
//
// Model. Every object lives under one process-wide mutex (g().m). A handle
// is a small heap record pointing at a reference-counted object; the handle
// table validates handles, so a closed or foreign handle gives 6 instead of
// undefined behaviour, and wnDuplicateHandle yields a distinct handle to the
// same object. A waiting thread registers its own condition variable with
// each object it waits for; signalling an object notifies those waiters,
// which rescan their handles in order (lowest signalled index wins, an
// auto-reset object is consumed by the waiter that returns with it).
//
// Timers. A timer service thread of the layer's own keeps the armed timers.
// An expiry signals the timer and, when a callback is set, queues one APC to
// the thread that called set (at most one pending per timer, as the kernel's
// single timer APC). APCs run only inside that thread's alertable waits and
// sleeps; cancel, re-arm and destruction withdraw a pending APC.
//
// Named mutexes. An in-process name table answers 183 for a second create in
// this process; across processes a shared flock on a lock file named after
// the (sanitised, hashed) mutex name tells whether another process holds the
// name. Ownership itself is per process.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/WnThread.h"
#include "platform/WnWait.h"
#include "platform/WnWaitableTimer.h"
#include "platform/detail/WnBackend.h"
#include "platform/posix/WnPosixInternal.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kStillActive = WN_STILL_ACTIVE;

thread_local uint32_t t_lastError = 0;

uint32_t fail(uint32_t err) {
  t_lastError = err;
  return err;
}

struct ThreadState;

enum class Kind { Event, Mutex, Thread, Timer };

struct KObject {
  explicit KObject(Kind k) : kind(k) {}
  virtual ~KObject() = default;
  Kind kind;
  int refs = 1;  // handles + internal holders; guarded by g().m
  bool signalled = false;
  std::vector<ThreadState*> waiters;
};

struct EventObj : KObject {
  EventObj() : KObject(Kind::Event) {}
  bool manualReset = false;
};

void releasePresence(int fd, const std::string& path);

struct MutexObj : KObject {
  MutexObj() : KObject(Kind::Mutex) {}
  ~MutexObj() override {
    if (presenceFd >= 0) releasePresence(presenceFd, presencePath);
  }
  uint32_t ownerTid = 0;
  ThreadState* owner = nullptr;  // its owned list names this mutex
  uint32_t recursion = 0;
  bool abandoned = false;
  std::u16string name;
  int presenceFd = -1;
  std::string presencePath;
};

struct ThreadObj : KObject {
  ThreadObj() : KObject(Kind::Thread) {}
  uint32_t exitCode = kStillActive;
  uint32_t tid = 0;
};

struct TimerObj : KObject {
  TimerObj() : KObject(Kind::Timer) {}
  bool manualReset = false;
  bool armed = false;
  Clock::time_point due{};
  Clock::duration period{};
  WnWaitableTimerCallbackInterface* callback = nullptr;
  std::shared_ptr<ThreadState> target;
  bool apcPending = false;
};

struct Apc {
  TimerObj* timer;
  WnWaitableTimerCallbackInterface* callback;
  uint32_t low, high;
};

struct ThreadState {
  uint32_t tid = 0;
  bool dead = false;
  std::condition_variable cv;
  std::deque<Apc> apcs;
  std::vector<MutexObj*> owned;
};

struct Handle {
  KObject* obj;
};

struct Global {
  std::mutex m;
  std::unordered_set<Handle*> handles;
  std::unordered_map<std::u16string, MutexObj*> names;
  // Timer service.
  std::vector<TimerObj*> armed;
  std::condition_variable serviceCv;
  bool serviceStarted = false;
};

// Never destroyed: detached threads may still use it while the process exits.
Global& g() {
  static Global* p = new Global;
  return *p;
}

uint32_t osThreadId() { return static_cast<uint32_t>(::gettid()); }

void threadCleanupLocked(ThreadState& st);

struct ThreadStateHolder {
  std::shared_ptr<ThreadState> st;
  ~ThreadStateHolder() {
    if (!st) return;
    std::lock_guard<std::mutex> lk(g().m);
    threadCleanupLocked(*st);
  }
};
thread_local ThreadStateHolder t_self;

ThreadState& self() {
  if (!t_self.st) {
    t_self.st = std::make_shared<ThreadState>();
    t_self.st->tid = osThreadId();
  }
  return *t_self.st;
}

void wakeWaiters(KObject* o) {
  for (ThreadState* w : o->waiters) w->cv.notify_one();
}

void withdrawApcLocked(TimerObj* t) {
  if (!t->apcPending) return;
  t->apcPending = false;
  if (!t->target) return;
  auto& q = t->target->apcs;
  q.erase(std::remove_if(q.begin(), q.end(), [t](const Apc& a) { return a.timer == t; }), q.end());
}

void disarmLocked(TimerObj* t) {
  t->armed = false;
  auto& v = g().armed;
  v.erase(std::remove(v.begin(), v.end(), t), v.end());
}

void releaseLocked(KObject* o) {
  if (--o->refs > 0) return;
  switch (o->kind) {
    case Kind::Timer: {
      auto* t = static_cast<TimerObj*>(o);
      disarmLocked(t);
      withdrawApcLocked(t);
      break;
    }
    case Kind::Mutex: {
      auto* m = static_cast<MutexObj*>(o);
      if (m->owner) {  // ownership does not keep the object alive
        auto& v = m->owner->owned;
        v.erase(std::remove(v.begin(), v.end(), m), v.end());
      }
      if (!m->name.empty()) {
        auto it = g().names.find(m->name);
        if (it != g().names.end() && it->second == m) g().names.erase(it);
      }
      break;
    }
    default:
      break;
  }
  delete o;
}

void threadCleanupLocked(ThreadState& st) {
  if (st.dead) return;
  st.dead = true;
  for (const Apc& a : st.apcs) a.timer->apcPending = false;
  st.apcs.clear();
  for (MutexObj* m : st.owned) {
    m->ownerTid = 0;
    m->owner = nullptr;
    m->recursion = 0;
    m->abandoned = true;
    wakeWaiters(m);
  }
  st.owned.clear();
}

KObject* resolveLocked(WnRawHandle h) {
  if (!h) return nullptr;
  auto* hd = static_cast<Handle*>(h);
  if (!g().handles.count(hd)) return nullptr;
  return hd->obj;
}

WnRawHandle newHandleLocked(KObject* o) {
  auto* hd = new Handle{o};
  g().handles.insert(hd);
  return hd;
}

// Tries to satisfy a wait on o for the thread; consumes what a successful
// wait consumes. Sets *abandoned for an abandoned mutex.
bool trySatisfyLocked(KObject* o, ThreadState& me, bool* abandoned) {
  switch (o->kind) {
    case Kind::Event:
      if (!o->signalled) return false;
      if (!static_cast<EventObj*>(o)->manualReset) o->signalled = false;
      return true;
    case Kind::Timer:
      if (!o->signalled) return false;
      if (!static_cast<TimerObj*>(o)->manualReset) o->signalled = false;
      return true;
    case Kind::Thread:
      return o->signalled;
    case Kind::Mutex: {
      auto* m = static_cast<MutexObj*>(o);
      if (m->ownerTid != 0 && m->ownerTid != me.tid) return false;
      if (m->ownerTid == 0) {
        m->ownerTid = me.tid;
        m->owner = &me;
        m->recursion = 0;
        me.owned.push_back(m);
      }
      ++m->recursion;
      if (m->abandoned) {
        m->abandoned = false;
        *abandoned = true;
      }
      return true;
    }
  }
  return false;
}

// Runs the APCs queued to the calling thread, one at a time and without the
// lock, so that a callback may cancel or destroy any timer.
void runApcs(std::unique_lock<std::mutex>& lk, ThreadState& me) {
  while (!me.apcs.empty()) {
    Apc a = me.apcs.front();
    me.apcs.pop_front();
    a.timer->apcPending = false;
    lk.unlock();
    a.callback->onTimer(a.low, a.high);
    lk.lock();
  }
}

uint32_t waitCore(uint32_t count, const WnRawHandle* handles, uint32_t timeoutMs, bool alertable) {
  ThreadState& me = self();
  std::unique_lock<std::mutex> lk(g().m);
  KObject* objs[WN_MAXIMUM_WAIT_OBJECTS];
  for (uint32_t i = 0; i < count; ++i) {
    objs[i] = resolveLocked(handles[i]);
    if (!objs[i]) {
      for (uint32_t j = 0; j < i; ++j) releaseLocked(objs[j]);
      t_lastError = WN_ERROR_INVALID_HANDLE;
      return WN_WAIT_FAILED;
    }
    ++objs[i]->refs;
  }
  const bool infinite = timeoutMs == WN_INFINITE;
  const Clock::time_point deadline = infinite ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
  bool registered = false;
  uint32_t result = WN_WAIT_TIMEOUT;
  for (;;) {
    bool done = false;
    for (uint32_t i = 0; i < count && !done; ++i) {
      bool abandoned = false;
      if (trySatisfyLocked(objs[i], me, &abandoned)) {
        result = (abandoned ? WN_WAIT_ABANDONED_0 : WN_WAIT_OBJECT_0) + i;
        done = true;
      }
    }
    if (done) break;
    if (alertable && !me.apcs.empty()) {
      if (registered) {
        for (uint32_t i = 0; i < count; ++i) {
          auto& w = objs[i]->waiters;
          auto it = std::find(w.begin(), w.end(), &me);
          if (it != w.end()) w.erase(it);
        }
        registered = false;
      }
      runApcs(lk, me);
      result = WN_WAIT_IO_COMPLETION;
      break;
    }
    if (timeoutMs == 0 || (!infinite && Clock::now() >= deadline)) {
      result = WN_WAIT_TIMEOUT;
      break;
    }
    if (!registered) {
      for (uint32_t i = 0; i < count; ++i) objs[i]->waiters.push_back(&me);
      registered = true;
    }
    if (infinite)
      me.cv.wait(lk);
    else
      me.cv.wait_until(lk, deadline);
  }
  if (registered) {
    for (uint32_t i = 0; i < count; ++i) {
      auto& w = objs[i]->waiters;
      auto it = std::find(w.begin(), w.end(), &me);
      if (it != w.end()) w.erase(it);
    }
  }
  for (uint32_t i = 0; i < count; ++i) releaseLocked(objs[i]);
  return result;
}

// ---- timer service ----

uint64_t fileTimeNow() {
  using namespace std::chrono;
  auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
  return static_cast<uint64_t>(since1970) + 116444736000000000ull;
}

void fireLocked(TimerObj* t, Clock::time_point now) {
  t->signalled = true;
  wakeWaiters(t);
  if (t->callback && t->target && !t->target->dead && !t->apcPending) {
    uint64_t ft = fileTimeNow();
    t->target->apcs.push_back(Apc{t, t->callback, static_cast<uint32_t>(ft), static_cast<uint32_t>(ft >> 32)});
    t->apcPending = true;
    t->target->cv.notify_one();
  }
  if (t->period.count() > 0) {
    t->due += t->period;
    if (t->due <= now) {  // fell behind: keep the grid, skip the missed expiries
      auto behind = (now - t->due) / t->period + 1;
      t->due += behind * t->period;
    }
  } else {
    disarmLocked(t);
  }
}

void timerServiceMain() {
  Global& gl = g();
  std::unique_lock<std::mutex> lk(gl.m);
  for (;;) {
    Clock::time_point now = Clock::now();
    Clock::time_point next = Clock::time_point::max();
    // fireLocked may remove the timer from the list (one-shot): iterate a copy.
    std::vector<TimerObj*> due;
    for (TimerObj* t : gl.armed)
      if (t->due <= now) due.push_back(t);
    for (TimerObj* t : due)
      if (t->armed) fireLocked(t, now);
    for (TimerObj* t : gl.armed) next = std::min(next, t->due);
    if (next == Clock::time_point::max())
      gl.serviceCv.wait(lk);
    else
      gl.serviceCv.wait_until(lk, next);
  }
}

void ensureTimerServiceLocked() {
  if (g().serviceStarted) return;
  g().serviceStarted = true;
  std::thread(timerServiceMain).detach();
}

// ---- named mutexes across processes ----

std::string objectDir() {
  if (const char* d = std::getenv("TOVIX8_OBJECT_DIR"); d && *d) return d;
  struct stat st;
  if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return "/tmp";
}

std::string lockFileBase(const std::u16string& name) {
  std::string s;
  uint64_t h = 1469598103934665603ull;
  for (char16_t c : name) {
    h = (h ^ static_cast<uint16_t>(c)) * 1099511628211ull;
    bool keep = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
                c == u'_' || c == u'.';
    if (s.size() < 96) s.push_back(keep ? static_cast<char>(c) : '_');
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return objectDir() + "/tovix8-mutex-" + s + "-" + hex;
}

// Every process takes one guard lock around creating, testing and removing
// presence files, so that none decides on a file another is removing.
int lockGuard() {
  int guard = ::open((objectDir() + "/tovix8-mutex.guard").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (guard < 0) return -1;
  while (::flock(guard, LOCK_EX) != 0 && errno == EINTR) {
  }
  return guard;
}

// Takes a shared lock on the name's presence file; *existed tells whether
// another process held it already. Returns the fd or -1 (then the name is
// in-process only).
int acquirePresence(const std::u16string& name, bool* existed, std::string* path) {
  *existed = false;
  *path = lockFileBase(name) + ".lock";
  int guard = lockGuard();
  if (guard < 0) return -1;
  int fd = ::open(path->c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // Nobody else holds the name. Nobody can race the downgrade: every
      // creator holds the guard lock while it takes or tests the lock.
      ::flock(fd, LOCK_SH);
    } else {
      *existed = true;
      while (::flock(fd, LOCK_SH) != 0 && errno == EINTR) {
      }
    }
  }
  ::close(guard);
  return fd;
}

// Drops this process's hold on a presence file; the last holder removes it.
void releasePresence(int fd, const std::string& path) {
  int guard = lockGuard();
  if (guard >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
  ::close(fd);
  if (guard >= 0) ::close(guard);
}

uint32_t errnoToWin32(int e) {
  switch (e) {
    case EAGAIN:
    case ENOMEM:
      return WN_ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return WN_ERROR_INVALID_PARAMETER;
    case EPERM:
    case EACCES:
      return WN_ERROR_ACCESS_DENIED;
    default:
      return WN_ERROR_INVALID_PARAMETER;
  }
}

// ---- threads ----

struct StartContext {
  WnThreadCallbackInterface* callback;
  ThreadObj* obj;
  std::shared_ptr<ThreadState> state;
  std::condition_variable cv;
  bool ready = false;
};

void* threadTrampoline(void* arg) {
  WnThreadCallbackInterface* callback;
  ThreadObj* obj;
  {
    auto* ctx = static_cast<StartContext*>(arg);
    std::lock_guard<std::mutex> lk(g().m);
    callback = ctx->callback;
    obj = ctx->obj;
    t_self.st = ctx->state;
    t_self.st->tid = osThreadId();
    obj->tid = t_self.st->tid;
    ctx->ready = true;
    ctx->cv.notify_one();  // ctx is not touched after the lock is released
  }
  uint32_t code = callback->run();
  std::lock_guard<std::mutex> lk(g().m);
  threadCleanupLocked(*t_self.st);
  obj->exitCode = code;
  obj->signalled = true;
  wakeWaiters(obj);
  releaseLocked(obj);
  return nullptr;
}

}  // namespace

namespace wn::posix {
uint32_t currentThreadId() { return self().tid; }
void setLastError(uint32_t err) { t_lastError = err; }
}  // namespace wn::posix

// ---- backend seam ----

namespace wn::detail {

uint32_t createEvent(bool manualReset, bool initialState, WnRawHandle* out) {
  auto* e = new EventObj;
  e->manualReset = manualReset;
  e->signalled = initialState;
  std::lock_guard<std::mutex> lk(g().m);
  *out = newHandleLocked(e);
  return 0;
}

uint32_t createMutex(bool initialOwner, const char16_t* name, WnRawHandle* out) {
  *out = nullptr;
  ThreadState& me = self();
  std::u16string n = name ? std::u16string(name) : std::u16string();
  std::lock_guard<std::mutex> lk(g().m);
  if (!n.empty()) {
    auto it = g().names.find(n);
    if (it != g().names.end()) {
      ++it->second->refs;
      *out = newHandleLocked(it->second);
      return fail(WN_ERROR_ALREADY_EXISTS);  // initial ownership is not taken
    }
  }
  auto* m = new MutexObj;
  bool existed = false;
  if (!n.empty()) {
    m->name = n;
    m->presenceFd = acquirePresence(n, &existed, &m->presencePath);
    g().names.emplace(n, m);
  }
  if (initialOwner && !existed) {
    m->ownerTid = me.tid;
    m->owner = &me;
    m->recursion = 1;
    me.owned.push_back(m);
  }
  *out = newHandleLocked(m);
  t_lastError = existed ? uint32_t{WN_ERROR_ALREADY_EXISTS} : 0u;
  return t_lastError;
}

uint32_t createThread(WnThreadCallbackInterface* callback, uint32_t stackSize, uint32_t /*creationFlags*/,
                      WnRawHandle* out, uint32_t* threadId) {
  *out = nullptr;
  *threadId = 0;
  auto* obj = new ThreadObj;
  obj->refs = 2;  // the handle and the running thread
  StartContext ctx;
  ctx.callback = callback;
  ctx.obj = obj;
  ctx.state = std::make_shared<ThreadState>();

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (stackSize) {
    size_t sz = std::max<size_t>(stackSize, 256 * 1024);
    sz = (sz + 65535) & ~size_t(65535);
    pthread_attr_setstacksize(&attr, sz);
  }
  pthread_t pt;
  int rc = pthread_create(&pt, &attr, threadTrampoline, &ctx);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete obj;
    return fail(errnoToWin32(rc));
  }
  std::unique_lock<std::mutex> lk(g().m);
  ctx.cv.wait(lk, [&] { return ctx.ready; });
  *threadId = obj->tid;
  *out = newHandleLocked(obj);
  return 0;
}

uint32_t threadExitCode(WnRawHandle thread) {
  std::lock_guard<std::mutex> lk(g().m);
  KObject* o = resolveLocked(thread);
  if (!o || o->kind != Kind::Thread) return kStillActive;
  return static_cast<ThreadObj*>(o)->exitCode;
}

uint32_t createWaitableTimer(bool manualReset, void*, const char16_t*, WnRawHandle* out) {
  auto* t = new TimerObj;
  t->manualReset = manualReset;
  std::lock_guard<std::mutex> lk(g().m);
  *out = newHandleLocked(t);
  return 0;
}

uint32_t setWaitableTimer(WnRawHandle timer, int64_t dueTime100ns, int32_t periodMs,
                          WnWaitableTimerCallbackInterface* callback, bool) {
  if (periodMs < 0) return fail(WN_ERROR_INVALID_PARAMETER);
  std::shared_ptr<ThreadState> me = callback ? (self(), t_self.st) : nullptr;
  std::lock_guard<std::mutex> lk(g().m);
  KObject* o = resolveLocked(timer);
  if (!o || o->kind != Kind::Timer) return fail(WN_ERROR_INVALID_HANDLE);
  auto* t = static_cast<TimerObj*>(o);
  withdrawApcLocked(t);
  t->signalled = false;
  Clock::time_point now = Clock::now();
  if (dueTime100ns < 0) {
    t->due = now + std::chrono::nanoseconds(-dueTime100ns * 100);
  } else {
    int64_t delta100 = dueTime100ns - static_cast<int64_t>(fileTimeNow());
    t->due = now + std::chrono::nanoseconds(std::max<int64_t>(delta100, 0) * 100);
  }
  t->period = std::chrono::milliseconds(periodMs);
  t->callback = callback;
  t->target = std::move(me);
  if (!t->armed) {
    t->armed = true;
    g().armed.push_back(t);
  }
  ensureTimerServiceLocked();
  g().serviceCv.notify_one();
  return 0;
}

uint32_t cancelWaitableTimer(WnRawHandle timer) {
  std::lock_guard<std::mutex> lk(g().m);
  KObject* o = resolveLocked(timer);
  if (!o || o->kind != Kind::Timer) return fail(WN_ERROR_INVALID_HANDLE);
  auto* t = static_cast<TimerObj*>(o);
  if (t->armed) disarmLocked(t);
  withdrawApcLocked(t);
  return 0;
}

}  // namespace wn::detail

// ---- public free operations ----

uint32_t wnWaitForMultiple(uint32_t count, const WnRawHandle* handles, uint32_t timeoutMs, bool alertable) {
  if (count == 0 || count > WN_MAXIMUM_WAIT_OBJECTS || !handles) {
    t_lastError = WN_ERROR_INVALID_PARAMETER;
    return WN_WAIT_FAILED;
  }
  return waitCore(count, handles, timeoutMs, alertable);
}

uint32_t wnWaitForSingle(WnRawHandle handle, uint32_t timeoutMs, bool alertable) {
  return wnWaitForMultiple(1, &handle, timeoutMs, alertable);
}

void wnSleep(uint32_t ms) { wnSleepEx(ms, false); }

uint32_t wnSleepEx(uint32_t ms, bool alertable) {
  if (alertable) {
    uint32_t r = waitCore(0, nullptr, ms, true);
    return r == WN_WAIT_IO_COMPLETION ? r : 0;
  }
  if (ms == 0) {
    sched_yield();
  } else if (ms == WN_INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  return 0;
}

uint32_t wnSetEvent(WnRawHandle event) {
  std::lock_guard<std::mutex> lk(g().m);
  KObject* o = resolveLocked(event);
  if (!o || o->kind != Kind::Event) return fail(WN_ERROR_INVALID_HANDLE);
  o->signalled = true;
  wakeWaiters(o);
  return 0;
}

uint32_t wnResetEvent(WnRawHandle event) {
  std::lock_guard<std::mutex> lk(g().m);
  KObject* o = resolveLocked(event);
  if (!o || o->kind != Kind::Event) return fail(WN_ERROR_INVALID_HANDLE);
  o->signalled = false;
  return 0;
}

uint32_t wnDuplicateHandle(WnRawHandle source, WnRawHandle* copy) {
  if (!copy) return fail(WN_ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lk(g().m);
  KObject* o = resolveLocked(source);
  if (!o) return fail(WN_ERROR_INVALID_HANDLE);
  ++o->refs;
  *copy = newHandleLocked(o);
  return 0;
}

uint32_t wnCloseHandle(WnRawHandle handle) {
  std::lock_guard<std::mutex> lk(g().m);
  auto* hd = static_cast<Handle*>(handle);
  if (!hd || !g().handles.erase(hd)) return fail(WN_ERROR_INVALID_HANDLE);
  KObject* o = hd->obj;
  delete hd;
  releaseLocked(o);
  return 0;
}

uint32_t wnSetCurrentThreadPriority(WnThreadPriority priority) {
  pthread_t me = pthread_self();
  sched_param sp{};
  if (priority == WnThreadPriority::TimeCritical) {
    const char* off = std::getenv("TOVIX8_NO_REALTIME");
    if (off && *off && *off != '0') return 0;
    sp.sched_priority = std::min(20, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(me, SCHED_FIFO, &sp);  // not permitted: stays normal
    return 0;
  }
  int policy = SCHED_OTHER;
  if (pthread_getschedparam(me, &policy, &sp) == 0 && policy != SCHED_OTHER) {
    sp.sched_priority = 0;
    pthread_setschedparam(me, SCHED_OTHER, &sp);
  }
  return 0;
}

uint32_t wnCurrentThreadId() { return self().tid; }
uint32_t wnCurrentProcessId() { return static_cast<uint32_t>(::getpid()); }
uint32_t wnLastError() { return t_lastError; }
