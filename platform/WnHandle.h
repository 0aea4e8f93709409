// Owning wrappers for kernel handles: WnHandle (any handle), WnEvent, WnMutex.
//
// Lifetime: a wrapper is the only owner of its handle and closes it on
// destruction. A create operation first closes a held handle. Wrappers are
// neither copied nor moved.
// Threading: the wrappers take no locks; their owners serialise access.
// Errors: every operation returns the operating-system error code, 0 = success.
//
//   WnEvent stop;
//   if (uint32_t err = stop.create(false, false)) return err;
//   stop.set();
#pragma once

#include "platform/WnTypes.h"

class WnHandle {
public:
  WnHandle() = default;
  virtual ~WnHandle();
  WnHandle(const WnHandle&) = delete;
  WnHandle& operator=(const WnHandle&) = delete;

  // Closes a held handle and clears it; 0, or the close's error code.
  uint32_t close();
  // The raw handle, for waits and for handing it to the driver. Null if empty.
  WnRawHandle get() const { return handle_; }
  bool isValid() const { return handle_ != nullptr; }

protected:
  // Takes ownership of a raw handle, closing a held one first.
  void attach(WnRawHandle h);
  WnRawHandle handle_ = nullptr;
};

class WnEvent : public WnHandle {
public:
  ~WnEvent() override;
  // Closes a held handle, then creates an unnamed event.
  uint32_t create(bool manualReset, bool initialState);
  uint32_t set();
  uint32_t reset();
};

class WnMutex : public WnHandle {
public:
  ~WnMutex() override;
  // Closes a held handle, creates a named mutex and returns the last-error
  // value after the creation, also on success: an existing mutex of that name
  // yields WN_ERROR_ALREADY_EXISTS (183) while the handle is valid (initial
  // ownership is then not taken). A null name creates an unnamed mutex.
  // There is no release: the owner holds it until the handle is closed or
  // the owning thread ends. Names are visible across processes on both
  // backends; on POSIX only the name is shared across processes (a shared
  // flock on a file under /dev/shm, or $TOVIX8_OBJECT_DIR), ownership and
  // waits are per process.
  uint32_t create(bool initialOwner, const char16_t* name);
};
