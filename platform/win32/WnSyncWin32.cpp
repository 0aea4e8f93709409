// WnRecursiveLock on Win32: a critical section in the object's storage.
#include <windows.h>

#include <new>

#include "platform/WnSync.h"

static_assert(sizeof(CRITICAL_SECTION) <= 48 && alignof(CRITICAL_SECTION) <= 8, "WnRecursiveLock storage too small");

namespace {
CRITICAL_SECTION* native(unsigned char* storage) { return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage)); }
}  // namespace

WnRecursiveLock::WnRecursiveLock() { InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }
WnRecursiveLock::~WnRecursiveLock() { DeleteCriticalSection(native(storage_)); }
void WnRecursiveLock::lock() { EnterCriticalSection(native(storage_)); }
void WnRecursiveLock::unlock() { LeaveCriticalSection(native(storage_)); }
bool WnRecursiveLock::tryLock() { return TryEnterCriticalSection(native(storage_)) != FALSE; }
