#include "service/posix/PosixConsoleOutput.h"

#include <cstdio>
#include <string>

#include "service/WideFormat.h"

void PosixConsoleOutput::print(const char16_t* text) {
  const std::string utf8 = wideToUtf8(text);
  std::lock_guard<std::mutex> guard(lock_);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
}
