// WnRecursiveLock: a lock that its owning thread may take again (a critical
// section on Win32). WnLockGuard holds one for a scope.
//
//   WnLockGuard guard(lock_);   // released at the end of the scope
#pragma once

#include "platform/WnTypes.h"

class WnRecursiveLock {
public:
  WnRecursiveLock();
  ~WnRecursiveLock();
  WnRecursiveLock(const WnRecursiveLock&) = delete;
  WnRecursiveLock& operator=(const WnRecursiveLock&) = delete;
  void lock();
  void unlock();
  bool tryLock();

private:
  alignas(8) unsigned char storage_[48];
};

class WnLockGuard {
public:
  explicit WnLockGuard(WnRecursiveLock& lock) : lock_(lock) { lock_.lock(); }
  ~WnLockGuard() { lock_.unlock(); }
  WnLockGuard(const WnLockGuard&) = delete;
  WnLockGuard& operator=(const WnLockGuard&) = delete;

private:
  WnRecursiveLock& lock_;
};
