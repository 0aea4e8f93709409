#include "asio/win32/AsioWin32ModuleServices.h"

#include <windows.h>

#include "asio/AsioCustom.h"
#include "asio/AsioText.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t));

uint32_t AsioWin32ModuleServices::modulePath(WnInstance instance, char16_t* out, uint32_t capacity,
                                             uint32_t* error) {
  if (!out || capacity == 0) return 0;
  out[0] = 0;
  const DWORD n = GetModuleFileNameW(static_cast<HMODULE>(instance), reinterpret_cast<wchar_t*>(out), capacity);
  if (n == 0) {
    if (error) *error = GetLastError();
    return 0;
  }
  out[capacity - 1] = 0;  // a cut path is terminated on every Windows version
  return static_cast<uint32_t>(asioLength(out));
}

uint32_t AsioWin32ModuleServices::startProcess(const char16_t* commandLine) {
  // CreateProcessW may write into its command line.
  wchar_t line[kAsioCommandLineChars];
  asioCopy(reinterpret_cast<char16_t*>(line), kAsioCommandLineChars, commandLine);
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &process))
    return GetLastError();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
