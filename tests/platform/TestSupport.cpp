#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "platform/WnMessageTarget.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

extern char** environ;
#endif

namespace wntest {

namespace {
constexpr const char* kChildVar = "TOVIX8_TEST_CHILD";

RecordedMessage record(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  RecordedMessage r{message, wParam, lParam, false, {}};
  if (message == WN_WM_DEVICECHANGE && lParam) {
    const auto* src = reinterpret_cast<const unsigned char*>(lParam);
    uint32_t size = 0;
    std::memcpy(&size, src, sizeof size);
    std::memcpy(&r.header, src, std::min<size_t>(std::max<size_t>(size, 12), sizeof r.header));
    r.hasHeader = true;
  }
  return r;
}
}  // namespace

std::string childAction() {
  const char* v = std::getenv(kChildVar);
  return v ? v : "";
}

std::u16string uniqueName(const char* prefix) {
  static unsigned counter = 0;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s_%u_%u_%u", prefix, static_cast<unsigned>(wnCurrentProcessId()),
                static_cast<unsigned>(wnTimeGetTime()), ++counter);
  std::u16string s;
  for (const char* p = buf; *p; ++p) s.push_back(static_cast<char16_t>(*p));
  return s;
}

#ifdef _WIN32

struct RecordingWindow::Impl {
  HWND hwnd = nullptr;
  std::vector<RecordedMessage> messages;
};

namespace {
const wchar_t kClassName[] = L"Tovix8TestRecordingWindow";

LRESULT CALLBACK recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* impl = reinterpret_cast<RecordingWindow::Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (impl && (msg == WM_DEVICECHANGE || msg >= WM_USER)) {
    impl->messages.push_back(record(msg, wParam, lParam));
    return msg == WM_DEVICECHANGE ? TRUE : 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}
}  // namespace

RecordingWindow::RecordingWindow() : impl_(new Impl) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = recordingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // already registered by an earlier instance: fine
  impl_->hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  if (impl_->hwnd) SetWindowLongPtrW(impl_->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl_));
}

RecordingWindow::~RecordingWindow() {
  if (impl_->hwnd) DestroyWindow(impl_->hwnd);
  delete impl_;
}

WnWindow RecordingWindow::window() const { return impl_->hwnd; }

void RecordingWindow::pump(uint32_t ms) {
  uint32_t start = wnTimeGetTime();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (wnTimeGetTime() - start < ms);
}

bool RecordingWindow::waitFor(uint32_t message, size_t n, uint32_t timeoutMs) {
  uint32_t start = wnTimeGetTime();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (count(message) >= n) return true;
    if (wnTimeGetTime() - start >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

size_t RecordingWindow::count(uint32_t message) const {
  size_t n = 0;
  for (const auto& m : impl_->messages) n += m.message == message;
  return n;
}

std::vector<RecordedMessage> RecordingWindow::messages() const { return impl_->messages; }

uint32_t deliverDeviceChange(WnWindow window, uint32_t eventType, const void* header) {
  if (!window) return WN_ERROR_INVALID_HANDLE;
  SetLastError(0);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(static_cast<HWND>(window), WM_DEVICECHANGE, eventType, reinterpret_cast<LPARAM>(header),
                           SMTO_NORMAL, 10000, &result))
  {
    DWORD e = GetLastError();
    return e ? e : uint32_t{WN_ERROR_TIMEOUT};
  }
  return 0;
}

int runSelfAsChild(const std::string& action) {
  wchar_t exe[MAX_PATH];
  if (!GetModuleFileNameW(nullptr, exe, MAX_PATH)) return -1;
  std::wstring value(action.begin(), action.end());
  SetEnvironmentVariableW(L"TOVIX8_TEST_CHILD", value.c_str());
  std::wstring cmd = L"\"" + std::wstring(exe) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  BOOL ok = CreateProcessW(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(L"TOVIX8_TEST_CHILD", nullptr);
  if (!ok) return -1;
  CloseHandle(pi.hThread);
  int code = -1;
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    if (GetExitCodeProcess(pi.hProcess, &exitCode)) code = static_cast<int>(exitCode);
  } else {
    TerminateProcess(pi.hProcess, 1);
  }
  CloseHandle(pi.hProcess);
  return code;
}

#else  // POSIX

struct RecordingWindow::Impl : WnMessageTarget {
  void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    std::lock_guard<std::mutex> lk(m);
    messages.push_back(record(message, wParam, lParam));
    cv.notify_all();
  }
  mutable std::mutex m;
  std::condition_variable cv;
  std::vector<RecordedMessage> messages;
};

RecordingWindow::RecordingWindow() : impl_(new Impl) {}
RecordingWindow::~RecordingWindow() { delete impl_; }

WnWindow RecordingWindow::window() const { return static_cast<WnMessageTarget*>(impl_); }

void RecordingWindow::pump(uint32_t ms) { wnSleep(ms); }

bool RecordingWindow::waitFor(uint32_t message, size_t n, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lk(impl_->m);
  return impl_->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] {
    size_t c = 0;
    for (const auto& m : impl_->messages) c += m.message == message;
    return c >= n;
  });
}

size_t RecordingWindow::count(uint32_t message) const {
  std::lock_guard<std::mutex> lk(impl_->m);
  size_t n = 0;
  for (const auto& m : impl_->messages) n += m.message == message;
  return n;
}

std::vector<RecordedMessage> RecordingWindow::messages() const {
  std::lock_guard<std::mutex> lk(impl_->m);
  return impl_->messages;
}

uint32_t deliverDeviceChange(WnWindow window, uint32_t eventType, const void* header) {
  return wnPostMessage(window, WN_WM_DEVICECHANGE, eventType, reinterpret_cast<intptr_t>(header));
}

int runSelfAsChild(const std::string& action) {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return -1;
  exe[n] = 0;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind(std::string(kChildVar) + "=", 0) != 0) env.emplace_back(*e);
  env.push_back(std::string(kChildVar) + "=" + action);
  std::vector<char*> envp;
  for (auto& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  char* argv[] = {exe, nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, exe, nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

}  // namespace wntest
