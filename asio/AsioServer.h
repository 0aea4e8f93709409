// The process-wide state and the class-object logic of the in-process COM
// server: the module instance remembered at process attach, the server lock
// count, the class table's attach and detach calls, and what the exports
// DllGetClassObject and DllCanUnloadNow answer. The Win32 DLL's exports are
// thin calls into these functions, so the logic builds and is tested on
// every platform.
//
// Threading: the instance is set at process attach before any object
// exists; the lock count is a plain integer changed by LockServer (hosts use
// it from their apartment); DllCanUnloadNow reads both counters.
//
//   asioServerProcessAttach(instance);            // DllMain
//   return asioDllGetClassObject(rclsid, riid, ppv);
#pragma once

#include <cstdint>

#include "platform/WnCom.h"
#include "platform/WnTypes.h"

// Remembers the instance and calls each class entry's init function that is
// set with true (and the entry's class identifier).
void asioServerProcessAttach(WnInstance instance);
// Calls each set init function with false.
void asioServerProcessDetach();
WnInstance asioModuleInstance();

// IID_IUnknown or IID_IClassFactory for a class of the table: a new factory
// for that class, AddRef'd, and S_OK. Other riid: E_NOINTERFACE; unknown
// class: CLASS_E_CLASSNOTAVAILABLE; no memory: E_OUTOFMEMORY (*ppv null).
WnHResult asioDllGetClassObject(const WnGuid& rclsid, const WnGuid& riid, void** ppv);
// S_FALSE while the server is locked or any object of the module lives.
WnHResult asioDllCanUnloadNow();

// The server lock count (LockServer adds and subtracts 1).
int32_t asioServerLockCount();
void asioServerLock(bool lock);
