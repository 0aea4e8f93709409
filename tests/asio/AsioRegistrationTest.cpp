// Self-registration against the registry (the POSIX hive natively, the
// prefix's registry under Wine): which keys are written when, the lower-case
// module path, and unregistration.
#include <gtest/gtest.h>

#include <string>

#include "AsioTestSupport.h"
#include "asio/AsioRegistration.h"
#include "platform/WnRegistryKey.h"

namespace {

constexpr char16_t kClassKey[] = u"CLSID\\{B7EB75B1-04CA-450D-AA26-BFD500FE0C05}";
constexpr char16_t kServerKey[] = u"CLSID\\{B7EB75B1-04CA-450D-AA26-BFD500FE0C05}\\InprocServer32";
constexpr char16_t kAsioKey[] = u"SOFTWARE\\ASIO\\Tovix8 ASIO";

bool keyExists(WnRegKey root, const char16_t* path) {
  WnRegistryKey key;
  return key.openExisting(root, path, WN_KEY_READ) == 0;
}

// The string value, or "<missing>".
std::u16string readString(WnRegKey root, const char16_t* path, const char16_t* name) {
  WnRegistryKey key;
  if (key.openExisting(root, path, WN_KEY_READ) != 0) return u"<missing>";
  char16_t text[400] = {};
  uint32_t size = sizeof text - sizeof(char16_t);
  uint32_t type = 0;
  if (key.readRaw(name, text, size, &type) != 0) return u"<missing>";
  EXPECT_EQ(type, WN_REG_SZ);
  EXPECT_EQ(size % 2, 0u);
  // Stored with the terminating zero.
  EXPECT_TRUE(size >= 2 && text[size / 2 - 1] == 0);
  return text;
}

void writeMarker(WnRegKey root, const char16_t* path) {
  WnRegistryKey key;
  ASSERT_EQ(key.openExisting(root, path, WN_KEY_READ | WN_KEY_WRITE), 0u);
  ASSERT_EQ(key.writeString(u"Marker", u"planted", WN_REG_SZ), 0u);
}

class AsioRegistration : public ::testing::Test {
protected:
  void SetUp() override { asioUnregisterServer(info); }
  void TearDown() override {
    asioUnregisterServer(info);
    asioSetModuleServices(nullptr);
  }
  AsioRegistrationInfo info = asioDriverRegistrationInfo();
};

TEST_F(AsioRegistration, WritesTheComAndAsioKeysWithTheLowerCasePath) {
  ASSERT_EQ(asioRegisterServer(info, u"C:\\Program Files\\Tovix8\\TOVIX8ASIO.DLL"), 0);
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kClassKey, nullptr), u"Tovix8 ASIO Driver");
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kServerKey, nullptr), u"c:\\program files\\tovix8\\tovix8asio.dll");
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kServerKey, u"ThreadingModel"), u"Apartment");
  EXPECT_EQ(readString(wnHkeyLocalMachine(), kAsioKey, u"CLSID"), u"{B7EB75B1-04CA-450D-AA26-BFD500FE0C05}");
  EXPECT_EQ(readString(wnHkeyLocalMachine(), kAsioKey, u"Description"), u"Tovix8 ASIO Driver");
}

TEST_F(AsioRegistration, TheSamePathAgainLeavesTheComKeysAndRewritesTheAsioKey) {
  ASSERT_EQ(asioRegisterServer(info, u"C:\\Tovix8\\tovix8asio.dll"), 0);
  writeMarker(wnHkeyClassesRoot(), kClassKey);
  writeMarker(wnHkeyLocalMachine(), kAsioKey);

  // The stored path is compared without regard to case.
  ASSERT_EQ(asioRegisterServer(info, u"c:\\TOVIX8\\tovix8asio.dll"), 0);
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kClassKey, u"Marker"), u"planted");
  EXPECT_EQ(readString(wnHkeyLocalMachine(), kAsioKey, u"Marker"), u"<missing>");
  EXPECT_EQ(readString(wnHkeyLocalMachine(), kAsioKey, u"CLSID"), u"{B7EB75B1-04CA-450D-AA26-BFD500FE0C05}");
}

TEST_F(AsioRegistration, AnotherPathReplacesTheComKeys) {
  ASSERT_EQ(asioRegisterServer(info, u"C:\\Old\\tovix8asio.dll"), 0);
  writeMarker(wnHkeyClassesRoot(), kClassKey);
  ASSERT_EQ(asioRegisterServer(info, u"D:\\New\\Tovix8Asio.dll"), 0);
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kClassKey, u"Marker"), u"<missing>");
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kClassKey, nullptr), u"Tovix8 ASIO Driver");
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kServerKey, nullptr), u"d:\\new\\tovix8asio.dll");
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kServerKey, u"ThreadingModel"), u"Apartment");
}

TEST_F(AsioRegistration, UnregisterRemovesBothAndSucceedsWhenNothingIsThere) {
  ASSERT_EQ(asioRegisterServer(info, u"C:\\Tovix8\\tovix8asio.dll"), 0);
  ASSERT_TRUE(keyExists(wnHkeyClassesRoot(), kServerKey));
  EXPECT_EQ(asioUnregisterServer(info), 0);
  // The class key goes too, although it had a subkey.
  EXPECT_FALSE(keyExists(wnHkeyClassesRoot(), kClassKey));
  EXPECT_FALSE(keyExists(wnHkeyLocalMachine(), kAsioKey));
  EXPECT_EQ(asioUnregisterServer(info), 0);
}

TEST_F(AsioRegistration, TheExportsUseTheModulePath) {
  asiotest::TestModuleServices services;
  asioSetModuleServices(&services);
  services.path = u"C:\\Hosts\\TOVIX8ASIO.dll";
  EXPECT_EQ(asioRegisterThisModule(), 0);
  EXPECT_EQ(readString(wnHkeyClassesRoot(), kServerKey, nullptr), u"c:\\hosts\\tovix8asio.dll");
  EXPECT_EQ(asioUnregisterThisModule(), 0);

  // No module path: the failure code, nothing written.
  services.path.clear();
  EXPECT_EQ(asioRegisterThisModule(), static_cast<int32_t>(WN_ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(keyExists(wnHkeyLocalMachine(), kAsioKey));

  char16_t text[kAsioFailureTextChars];
  asioFormatRegistrationFailure(kAsioRegisterFailedText, 2, text, kAsioFailureTextChars);
  EXPECT_EQ(std::u16string(text), u"Register server failed ! (2)");
  asioFormatRegistrationFailure(kAsioUnregisterFailedText, -2147467259, text, kAsioFailureTextChars);
  EXPECT_EQ(std::u16string(text), u"Unregister server failed ! (-2147467259)");
}

}  // namespace
