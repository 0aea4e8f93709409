// Registry keys. Every test works below a key of its own,
// HKCU\Software\Tovix8Tests\<unique>, and removes it again (under Wine this
// is the prefix's real registry).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "TestSupport.h"
#include "platform/WnRegistryKey.h"

namespace {

constexpr uint32_t kRw = WN_KEY_READ | WN_KEY_WRITE;
const char16_t kTestsRoot[] = u"Software\\Tovix8Tests";

class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    name_ = wntest::uniqueName("run");
    path_ = std::u16string(kTestsRoot) + u"\\" + name_;
    ASSERT_EQ(0u, key_.create(wnHkeyCurrentUser(), path_.c_str(), kRw));
  }
  void TearDown() override {
    key_.close();
    WnRegistryKey run;
    if (run.openExisting(wnHkeyCurrentUser(), path_.c_str(), kRw) == 0) {
      for (const char16_t* sub : {u"A\\B", u"A", u"Child", u"Other"}) run.deleteSubKey(sub);
      run.close();
    }
    WnRegistryKey parent;
    ASSERT_EQ(0u, parent.openExisting(wnHkeyCurrentUser(), kTestsRoot, kRw));
    EXPECT_EQ(0u, parent.deleteSubKey(name_.c_str()));
    parent.close();
    WnRegistryKey software;
    if (software.openExisting(wnHkeyCurrentUser(), u"Software", kRw) == 0)
      software.deleteSubKey(u"Tovix8Tests");  // fails while other runs use it: fine
  }
  std::u16string name_, path_;
  WnRegistryKey key_;
};

TEST_F(RegistryTest, DwordRoundTrip) {
  EXPECT_EQ(0u, key_.writeDword(u"Value", 0x12345678));
  uint32_t v = 0;
  EXPECT_EQ(0u, key_.readDword(u"Value", v));
  EXPECT_EQ(0x12345678u, v);
  uint32_t type = 0, size = 16;
  unsigned char raw[16] = {};
  EXPECT_EQ(0u, key_.readRaw(u"Value", raw, size, &type));
  EXPECT_EQ(uint32_t{WN_REG_DWORD}, type);
  EXPECT_EQ(4u, size);
}

TEST_F(RegistryTest, ValueNamesAreCaseInsensitive) {
  EXPECT_EQ(0u, key_.writeDword(u"MixedCase", 7));
  uint32_t v = 0;
  EXPECT_EQ(0u, key_.readDword(u"mixedcase", v));
  EXPECT_EQ(7u, v);
  EXPECT_EQ(0u, key_.writeDword(u"MIXEDCASE", 8));
  EXPECT_EQ(0u, key_.readDword(u"MixedCase", v));
  EXPECT_EQ(8u, v);
}

TEST_F(RegistryTest, AMissingValueGives2AndLeavesTheOutputAlone) {
  uint32_t v = 99;
  EXPECT_EQ(2u, key_.readDword(u"Missing", v));
  EXPECT_EQ(99u, v);
}

TEST_F(RegistryTest, AStringReadAsANumberGives11AndLeavesTheValueUntouched) {
  ASSERT_EQ(0u, key_.writeString(u"Text", u"hello world", WN_REG_SZ));
  uint32_t v = 0xCAFE;
  EXPECT_EQ(11u, key_.readDword(u"Text", v));
  EXPECT_EQ(0xCAFEu, v);
  // A one-character string is 4 bytes long, still the wrong type.
  ASSERT_EQ(0u, key_.writeString(u"Short", u"x", WN_REG_SZ));
  EXPECT_EQ(11u, key_.readDword(u"Short", v));
  EXPECT_EQ(0xCAFEu, v);
  // The stored string is unchanged.
  char16_t buf[32] = {};
  uint32_t size = sizeof buf, type = 0;
  EXPECT_EQ(0u, key_.readRaw(u"Text", buf, size, &type));
  EXPECT_EQ(uint32_t{WN_REG_SZ}, type);
  EXPECT_EQ(std::u16string(u"hello world"), std::u16string(buf));
}

TEST_F(RegistryTest, ADwordTypedValueOfTheWrongSizeGives11) {
  const unsigned char two[2] = {1, 2};
  ASSERT_EQ(0u, key_.writeRaw(u"Short", WN_REG_DWORD, two, 2));
  uint32_t v = 5;
  EXPECT_EQ(11u, key_.readDword(u"Short", v));
  EXPECT_EQ(5u, v);
  const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(0u, key_.writeRaw(u"Long", WN_REG_DWORD, eight, 8));
  EXPECT_EQ(11u, key_.readDword(u"Long", v));
  EXPECT_EQ(5u, v);
  ASSERT_EQ(0u, key_.writeBinary(u"Bin", eight, 4));
  EXPECT_EQ(11u, key_.readDword(u"Bin", v));
  EXPECT_EQ(5u, v);
}

TEST_F(RegistryTest, WriteStringAcceptsOnlyStringTypes) {
  EXPECT_EQ(11u, key_.writeString(u"S", u"abc", WN_REG_BINARY));
  EXPECT_EQ(11u, key_.writeString(u"S", u"abc", WN_REG_DWORD));
  EXPECT_EQ(11u, key_.writeString(u"S", u"abc", WN_REG_MULTI_SZ));
  uint32_t size = 0;
  EXPECT_EQ(2u, key_.readRaw(u"S", nullptr, size));  // nothing was stored
  EXPECT_EQ(0u, key_.writeString(u"S", u"abc", WN_REG_EXPAND_SZ));
  uint32_t type = 0;
  size = 0;
  EXPECT_EQ(0u, key_.readRaw(u"S", nullptr, size, &type));
  EXPECT_EQ(uint32_t{WN_REG_EXPAND_SZ}, type);
}

TEST_F(RegistryTest, TheStoredStringSizeIncludesTheTerminator) {
  ASSERT_EQ(0u, key_.writeString(u"Name", u"Tovix8", WN_REG_SZ));
  uint32_t size = 0, type = 0;
  EXPECT_EQ(0u, key_.readRaw(u"Name", nullptr, size, &type));
  EXPECT_EQ(14u, size);  // 6 characters + terminator, 2 bytes each
  ASSERT_EQ(0u, key_.writeString(u"Empty", u"", WN_REG_SZ));
  EXPECT_EQ(0u, key_.readRaw(u"Empty", nullptr, size));
  EXPECT_EQ(2u, size);
}

TEST_F(RegistryTest, ReadRawReportsMoreDataWithTheNeededSize) {
  const unsigned char bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  ASSERT_EQ(0u, key_.writeBinary(u"Blob", bytes, sizeof bytes));
  unsigned char small[4];
  uint32_t size = sizeof small;
  EXPECT_EQ(234u, key_.readRaw(u"Blob", small, size));
  EXPECT_EQ(10u, size);
  unsigned char big[16] = {};
  size = sizeof big;
  uint32_t type = 0;
  EXPECT_EQ(0u, key_.readRaw(u"Blob", big, size, &type));
  EXPECT_EQ(10u, size);
  EXPECT_EQ(uint32_t{WN_REG_BINARY}, type);
  EXPECT_EQ(0, std::memcmp(bytes, big, 10));
}

TEST_F(RegistryTest, DeleteValue) {
  ASSERT_EQ(0u, key_.writeDword(u"Gone", 1));
  EXPECT_EQ(0u, key_.deleteValue(u"Gone"));
  uint32_t v = 0;
  EXPECT_EQ(2u, key_.readDword(u"Gone", v));
  EXPECT_EQ(2u, key_.deleteValue(u"Gone"));
}

TEST_F(RegistryTest, OpenExistingOfAMissingKeyGives2) {
  WnRegistryKey k;
  EXPECT_EQ(2u, k.openExisting(key_.get(), u"Child", kRw));
  EXPECT_FALSE(k.isOpen());
  std::u16string deep = path_ + u"\\No\\Such\\Key";
  EXPECT_EQ(2u, k.openExisting(wnHkeyCurrentUser(), deep.c_str(), WN_KEY_READ));
}

TEST_F(RegistryTest, CreateThenOpenExistingSeesTheSameValues) {
  {
    WnRegistryKey child;
    ASSERT_EQ(0u, child.create(key_.get(), u"Child", kRw));
    EXPECT_EQ(0u, child.writeDword(u"N", 3));
  }
  WnRegistryKey again;
  ASSERT_EQ(0u, again.openExisting(wnHkeyCurrentUser(), (path_ + u"\\child").c_str(), WN_KEY_READ));
  uint32_t v = 0;
  EXPECT_EQ(0u, again.readDword(u"N", v));
  EXPECT_EQ(3u, v);
  // create on an existing key opens it.
  WnRegistryKey same;
  ASSERT_EQ(0u, same.create(key_.get(), u"CHILD", kRw));
  EXPECT_EQ(0u, same.readDword(u"n", v));
}

TEST_F(RegistryTest, CreateClosesAHeldKeyFirst) {
  WnRegistryKey k;
  ASSERT_EQ(0u, k.create(key_.get(), u"Child", kRw));
  ASSERT_EQ(0u, k.create(key_.get(), u"Other", kRw));
  EXPECT_EQ(0u, k.writeDword(u"Where", 2));
  WnRegistryKey child;
  ASSERT_EQ(0u, child.openExisting(key_.get(), u"Child", WN_KEY_READ));
  uint32_t v = 0;
  EXPECT_EQ(2u, child.readDword(u"Where", v));
}

TEST_F(RegistryTest, DeleteSubKey) {
  {
    WnRegistryKey child;
    ASSERT_EQ(0u, child.create(key_.get(), u"Child", kRw));
  }
  EXPECT_EQ(0u, key_.deleteSubKey(u"Child"));
  WnRegistryKey k;
  EXPECT_EQ(2u, k.openExisting(key_.get(), u"Child", WN_KEY_READ));
  EXPECT_EQ(2u, key_.deleteSubKey(u"Child"));
}

TEST_F(RegistryTest, ASubKeyWithSubKeysCannotBeDeleted) {
  {
    WnRegistryKey deep;
    ASSERT_EQ(0u, deep.create(key_.get(), u"A\\B", kRw));
  }
  EXPECT_NE(0u, key_.deleteSubKey(u"A"));
  EXPECT_EQ(0u, key_.deleteSubKey(u"A\\B"));
  EXPECT_EQ(0u, key_.deleteSubKey(u"A"));
}

TEST_F(RegistryTest, CloseIsZeroWithoutAKey) {
  WnRegistryKey k;
  EXPECT_EQ(0u, k.close());
  ASSERT_EQ(0u, k.openExisting(wnHkeyCurrentUser(), path_.c_str(), WN_KEY_READ));
  EXPECT_TRUE(k.isOpen());
  EXPECT_EQ(0u, k.close());
  EXPECT_FALSE(k.isOpen());
  EXPECT_EQ(0u, k.close());
}

TEST_F(RegistryTest, AReadOnlyKeyRefusesWrites) {
  WnRegistryKey ro;
  ASSERT_EQ(0u, ro.openExisting(wnHkeyCurrentUser(), path_.c_str(), WN_KEY_READ));
  EXPECT_EQ(5u, ro.writeDword(u"No", 1));
}

#ifndef _WIN32
TEST(RegistryHive, PersistsToItsBackingFileAndLoadsItAgain) {
  char path[] = "/tmp/tovix8-regtest-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::remove(path);  // a missing file starts an empty hive
  ASSERT_EQ(0u, wnRegistrySetBackingFile(path));
  {
    WnRegistryKey k;
    ASSERT_EQ(0u, k.create(wnHkeyLocalMachine(), u"Software\\HALVENOR\\tovix8\\Devices\\SN 0001", kRw));
    ASSERT_EQ(0u, k.writeDword(u"WdmRenderSoundDeviceConfiguration", 0x00010203));
    ASSERT_EQ(0u, k.writeString(u"Name %with\\odd chars\u00e9", u"Tovix8 \u00c4", WN_REG_SZ));
    ASSERT_EQ(0u, k.writeString(u"", u"default", WN_REG_SZ));
    const unsigned char bin[3] = {0, 0xFF, 7};
    ASSERT_EQ(0u, k.writeBinary(u"@", bin, 3));
    ASSERT_EQ(0u, k.writeBinary(u"EmptyBin", nullptr, 0));
  }
  ASSERT_EQ(0u, wnRegistrySetBackingFile(nullptr));
  wnRegistryClear();
  {
    WnRegistryKey k;
    EXPECT_EQ(2u, k.openExisting(wnHkeyLocalMachine(), u"Software\\HALVENOR", WN_KEY_READ));
  }
  ASSERT_EQ(0u, wnRegistrySetBackingFile(path));
  {
    WnRegistryKey k;
    ASSERT_EQ(0u, k.openExisting(wnHkeyLocalMachine(), u"software\\halvenor\\TOVIX8\\devices\\sn 0001", WN_KEY_READ));
    uint32_t v = 0;
    EXPECT_EQ(0u, k.readDword(u"WdmRenderSoundDeviceConfiguration", v));
    EXPECT_EQ(0x00010203u, v);
    char16_t buf[32] = {};
    uint32_t size = sizeof buf, type = 0;
    EXPECT_EQ(0u, k.readRaw(u"NAME %WITH\\odd chars\u00c9", buf, size, &type));
    EXPECT_EQ(uint32_t{WN_REG_SZ}, type);
    EXPECT_EQ(std::u16string(u"Tovix8 \u00c4"), std::u16string(buf));
    size = sizeof buf;
    EXPECT_EQ(0u, k.readRaw(u"", buf, size));
    EXPECT_EQ(std::u16string(u"default"), std::u16string(buf));
    unsigned char bin[8] = {};
    size = sizeof bin;
    EXPECT_EQ(0u, k.readRaw(u"@", bin, size, &type));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(uint32_t{WN_REG_BINARY}, type);
    EXPECT_EQ(0xFF, bin[1]);
    size = sizeof bin;
    EXPECT_EQ(0u, k.readRaw(u"EmptyBin", bin, size));
    EXPECT_EQ(0u, size);
  }
  ASSERT_EQ(0u, wnRegistrySetBackingFile(nullptr));
  wnRegistryClear();
  std::remove(path);
}

TEST(RegistryHive, ACorruptBackingFileGives11) {
  char path[] = "/tmp/tovix8-regtest-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(5, write(fd, "junk\n", 5));
  close(fd);
  EXPECT_EQ(11u, wnRegistrySetBackingFile(path));
  std::remove(path);
}

TEST(RegistryHive, HandlesToADeletedKeyAnswerKeyDeleted) {
  WnRegistryKey parent, child;
  ASSERT_EQ(0u, parent.create(wnHkeyCurrentUser(), u"Software\\Tovix8HiveTest", kRw));
  ASSERT_EQ(0u, child.create(parent.get(), u"Doomed", kRw));
  ASSERT_EQ(0u, parent.deleteSubKey(u"Doomed"));
  EXPECT_EQ(1018u, child.writeDword(u"X", 1));
  child.close();
  WnRegistryKey software;
  ASSERT_EQ(0u, software.openExisting(wnHkeyCurrentUser(), u"Software", kRw));
  parent.close();
  EXPECT_EQ(0u, software.deleteSubKey(u"Tovix8HiveTest"));
}
#endif

}  // namespace
