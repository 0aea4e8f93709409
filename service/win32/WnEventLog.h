// The service's event-log writer: WnEventLogHandle (the owner of an event
// source handle, closed by the derived class's close) and WnEventLogWriter
// (RegisterEventSourceW on this machine; one event per report with the
// message table's ids 0x60070001 and 0xE0070003 and one insertion string).
//
// Lifetime: the destructor closes a held source. Threading: one owner
// thread (the service main). Errors: Win32 codes, 0 on success.
//
//   WnEventLogWriter log;
//   if (log.open(u"tovix8svc") == 0) log.reportError(u"Failed to get module name.");
#pragma once

#include <windows.h>

#include <cstdint>

class WnEventLogHandle {
public:
  WnEventLogHandle() = default;
  virtual ~WnEventLogHandle() = default;
  WnEventLogHandle(const WnEventLogHandle&) = delete;
  WnEventLogHandle& operator=(const WnEventLogHandle&) = delete;

  virtual void close() = 0;
  HANDLE get() const { return handle_; }
  bool isOpen() const { return handle_ != nullptr; }

protected:
  HANDLE handle_ = nullptr;
};

class WnEventLogWriter : public WnEventLogHandle {
public:
  ~WnEventLogWriter() override;
  // RegisterEventSourceW(local machine, source); a held source is closed first.
  uint32_t open(const char16_t* source);
  // DeregisterEventSource.
  void close() override;
  // Formats (wide printf rules, at most 4096 characters) and writes one
  // information event.
  uint32_t reportInformation(const wchar_t* format, ...);
  // Writes one error event with text as its insertion string.
  uint32_t reportError(const char16_t* text);

private:
  uint32_t report(WORD type, DWORD eventId, const wchar_t* text);
};
