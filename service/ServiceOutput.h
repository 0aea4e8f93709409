// ServiceOutput: where the command line and console mode print their lines
// (the console's standard output in the program, a buffer in tests).
//
// Threading: print may be called from the console thread and the main
// thread; implementations print each text whole.
//
//   out.print(u"Service installed successfully.\n");
#pragma once

class ServiceOutput {
public:
  virtual ~ServiceOutput() = default;
  virtual void print(const char16_t* text) = 0;
};
