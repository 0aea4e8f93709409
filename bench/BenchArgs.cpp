#include "bench/BenchArgs.h"

#include <cstdlib>

bool BenchArgs::parse(int argc, char** argv, std::initializer_list<const char*> options,
                      std::initializer_list<const char*> switches) {
  const std::set<std::string> known(options.begin(), options.end());
  const std::set<std::string> knownSwitches(switches.begin(), switches.end());
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
      error_ = "unexpected argument '" + a + "'";
      return false;
    }
    const std::string name = a.substr(2);
    if (knownSwitches.count(name)) {
      switches_.insert(name);
      continue;
    }
    if (!known.count(name)) {
      error_ = "unknown option '" + a + "'";
      return false;
    }
    if (i + 1 >= argc) {
      error_ = a + " needs a value";
      return false;
    }
    char* end = nullptr;
    const double v = std::strtod(argv[++i], &end);
    if (!end || *end != 0 || !(v >= 0)) {
      error_ = std::string("bad value '") + argv[i] + "' for " + a;
      return false;
    }
    values_[name] = v;
  }
  return true;
}

double BenchArgs::number(const char* name, double fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}
