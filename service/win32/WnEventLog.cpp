#include "WnEventLog.h"

#include <cstdarg>
#include <cwchar>

#include "WnServiceCtrl.h"
#include "service/ServiceRegistration.h"
#include "tovix8svcmsg.h"

static_assert(TOVIX8_MSG_INFORMATION == TOVIX8_EVENT_ID_INFORMATION);
static_assert(TOVIX8_MSG_WARNING == TOVIX8_EVENT_ID_WARNING);
static_assert(TOVIX8_MSG_ERROR == TOVIX8_EVENT_ID_ERROR);

namespace {
constexpr size_t kReportChars = 4096;
}

WnEventLogWriter::~WnEventLogWriter() { close(); }

uint32_t WnEventLogWriter::open(const char16_t* source) {
  close();
  handle_ = RegisterEventSourceW(nullptr, wnWide(source));
  return handle_ ? 0 : GetLastError();
}

void WnEventLogWriter::close() {
  if (handle_) DeregisterEventSource(handle_);
  handle_ = nullptr;
}

uint32_t WnEventLogWriter::report(WORD type, DWORD eventId, const wchar_t* text) {
  if (!handle_) return ERROR_INVALID_HANDLE;
  const wchar_t* strings[1] = {text};
  return ReportEventW(handle_, type, 0, eventId, nullptr, 1, 0, strings, nullptr) ? 0 : GetLastError();
}

uint32_t WnEventLogWriter::reportInformation(const wchar_t* format, ...) {
  wchar_t text[kReportChars];
  va_list args;
  va_start(args, format);
  const int n = vswprintf(text, kReportChars, format, args);
  va_end(args);
  if (n < 0) text[kReportChars - 1] = 0;
  return report(EVENTLOG_INFORMATION_TYPE, TOVIX8_EVENT_ID_INFORMATION, text);
}

uint32_t WnEventLogWriter::reportError(const char16_t* text) {
  return report(EVENTLOG_ERROR_TYPE, TOVIX8_EVENT_ID_ERROR, wnWide(text));
}
