// The resources of the built tovix8svc.exe, read the way the system reads
// them: the version block, the event message table (as the event viewer
// formats it) and the manifest's execution level.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ProgramResources : public ::testing::Test {
protected:
  void SetUp() override {
    module_ = LoadLibraryExW(TOVIX8SVC_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_) << "cannot load " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

std::wstring versionString(const std::vector<char>& block, const wchar_t* name) {
  std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  wchar_t* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return L"?";
  return std::wstring(value);
}

TEST_F(ProgramResources, VersionBlock) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(TOVIX8SVC_EXE, &ignored);
  ASSERT_NE(0u, size);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(TOVIX8SVC_EXE, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(MAKELONG(36, 1), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionLS);
  EXPECT_EQ(std::wstring(L"Tovix8 Device Control Service"), versionString(block, L"FileDescription"));
  EXPECT_EQ(std::wstring(L"tovix8svc"), versionString(block, L"InternalName"));
  EXPECT_EQ(std::wstring(L"Tovix8 Device Driver"), versionString(block, L"ProductName"));
  EXPECT_EQ(std::wstring(L"1.36.1.0"), versionString(block, L"FileVersion"));
}

TEST_F(ProgramResources, MessageTable) {
  const struct {
    DWORD id;
  } ids[] = {{0x60070001}, {0xA0070002}, {0xE0070003}};
  for (const auto& m : ids) {
    wchar_t text[256] = {};
    const wchar_t* inserts[1] = {L"hello"};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_, m.id,
                                   MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, 256,
                                   reinterpret_cast<va_list*>(const_cast<wchar_t**>(inserts)));
    ASSERT_NE(0u, n) << std::hex << m.id << " error " << std::dec << GetLastError();
    EXPECT_EQ(std::wstring(L"hello\r\n"), std::wstring(text)) << std::hex << m.id;
    // The raw text is "%1\r\n".
    wchar_t raw[64] = {};
    ASSERT_NE(0u, FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module_, m.id, 1033,
                                 raw, 64, nullptr));
    EXPECT_EQ(std::wstring(L"%1\r\n"), std::wstring(raw)) << std::hex << m.id;
  }
  wchar_t text[64];
  EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module_, 0x60070004, 1033,
                               text, 64, nullptr));
}

TEST_F(ProgramResources, ManifestAsksForAdministrator) {
  HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(nullptr, found);
  HGLOBAL loaded = LoadResource(module_, found);
  ASSERT_NE(nullptr, loaded);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  const std::string manifest(bytes, SizeofResource(module_, found));
  EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\"")) << manifest;
}

}  // namespace
