// PosixConsoleOutput: prints the service's UTF-16 lines to standard output
// as UTF-8, each line whole and flushed at once.
//
// Threading: print takes a lock, so lines of different threads do not mix.
//
//   PosixConsoleOutput out;
//   out.print(u"No arguments given, use -h.\n");
#pragma once

#include <mutex>

#include "service/ServiceOutput.h"

class PosixConsoleOutput : public ServiceOutput {
public:
  void print(const char16_t* text) override;

private:
  std::mutex lock_;
};
