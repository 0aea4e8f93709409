// Named mutexes across processes: the test executable starts itself as a
// child that creates the same name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "platform/WnHandle.h"

namespace {

constexpr char kMutexAction[] = "mutex:";

// In the child: create the named mutex with initial ownership and exit with
// the result (0 or 183) before any test runs.
const int kChildHook = [] {
  std::string action = wntest::childAction();
  if (action.rfind(kMutexAction, 0) == 0) {
    std::u16string name(action.begin() + sizeof kMutexAction - 1, action.end());
    WnMutex m;
    uint32_t r = m.create(true, name.c_str());
    m.close();
    std::_Exit(static_cast<int>(r & 0xFF));
  }
  return 0;
}();

std::string narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

TEST(WnMutexAcrossProcesses, ASecondProcessGets183WhileTheFirstHoldsTheName) {
  ASSERT_EQ(0, kChildHook);
  const std::u16string name = wntest::uniqueName("Tovix8Test_ProcessMutex");
  WnMutex m;
  ASSERT_EQ(0u, m.create(true, name.c_str()));
  EXPECT_EQ(183, wntest::runSelfAsChild(kMutexAction + narrow(name)));
  // Once this process closed its handle the name is free again.
  ASSERT_EQ(0u, m.close());
  EXPECT_EQ(0, wntest::runSelfAsChild(kMutexAction + narrow(name)));
}

TEST(WnMutexAcrossProcesses, DifferentNamesDoNotCollide) {
  const std::u16string name = wntest::uniqueName("Tovix8Test_ProcessMutexA");
  WnMutex m;
  ASSERT_EQ(0u, m.create(false, name.c_str()));
  EXPECT_EQ(0, wntest::runSelfAsChild(kMutexAction + narrow(wntest::uniqueName("Tovix8Test_ProcessMutexB"))));
}

}  // namespace
