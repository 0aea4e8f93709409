// BenchArgs: the command line of a benchmark program: "--name value"
// options and "--name" switches, each allowed only if the program names it.
//
// Threading: plain value.
//
//   BenchArgs args;
//   if (!args.parse(argc, argv, {"seconds", "buffer"}, {"external"})) return args.usage("bench_x");
//   const double seconds = args.number("seconds", 5);
#pragma once

#include <initializer_list>
#include <map>
#include <set>
#include <string>

class BenchArgs {
public:
  // False (with error()) for an unknown option, a missing or non-numeric
  // value of an option.
  bool parse(int argc, char** argv, std::initializer_list<const char*> options,
             std::initializer_list<const char*> switches = {});
  double number(const char* name, double fallback) const;
  bool flag(const char* name) const { return switches_.count(name) != 0; }
  const std::string& error() const { return error_; }

private:
  std::map<std::string, double> values_;
  std::set<std::string> switches_;
  std::string error_;
};
