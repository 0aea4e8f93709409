// WnRecursiveLock on POSIX: a recursive pthread mutex in the object's storage.
#include <pthread.h>

#include <new>

#include "platform/WnSync.h"

static_assert(sizeof(pthread_mutex_t) <= 48 && alignof(pthread_mutex_t) <= 8, "WnRecursiveLock storage too small");

namespace {
pthread_mutex_t* native(unsigned char* storage) { return std::launder(reinterpret_cast<pthread_mutex_t*>(storage)); }
}  // namespace

WnRecursiveLock::WnRecursiveLock() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(new (storage_) pthread_mutex_t, &attr);
  pthread_mutexattr_destroy(&attr);
}

WnRecursiveLock::~WnRecursiveLock() { pthread_mutex_destroy(native(storage_)); }
void WnRecursiveLock::lock() { pthread_mutex_lock(native(storage_)); }
void WnRecursiveLock::unlock() { pthread_mutex_unlock(native(storage_)); }
bool WnRecursiveLock::tryLock() { return pthread_mutex_trylock(native(storage_)) == 0; }
