// The tray program's registry reader, deleter and writer on the real registry of the test prefix.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "SettingsStore.h"

namespace {

const char kKey[] = "SOFTWARE\\TzTraySettingsTest";

void SetRaw(const char* value, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, value, 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(key);
}

void SetText(const char* value, const std::string& text) {
  SetRaw(value, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool ValueExists(const char* subkey, const char* value, DWORD* type = nullptr, std::string* data = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  char buf[1024] = {};
  DWORD size = sizeof(buf), t = 0;
  LONG rc = RegQueryValueExA(key, value, nullptr, &t, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  if (type) *type = t;
  if (data) data->assign(buf, size);
  return rc == ERROR_SUCCESS;
}

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey); }
  void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey); }
};

// How values are read (trimming, zeros, types, buffer sizes) is the framework's reader's, tested
// with it; here only what ReadRegistryString adds: null names and its 256-byte buffer.
TEST_F(SettingsStore, ReadRegistryStringChecksNamesAndReads255Bytes) {
  std::string out = "before";
  EXPECT_FALSE(ReadRegistryString(kKey, "Nothing", out));
  SetText("V", " " + std::string(253, 'b') + " ");
  EXPECT_FALSE(ReadRegistryString(nullptr, "V", out));
  EXPECT_FALSE(ReadRegistryString(kKey, nullptr, out));
  EXPECT_EQ("before", out);
  EXPECT_TRUE(ReadRegistryString(kKey, "V", out));
  EXPECT_EQ(std::string(253, 'b'), out);
  SetText("V", std::string(256, 'b'));
  out = "before";
  EXPECT_FALSE(ReadRegistryString(kKey, "V", out));
  EXPECT_EQ("before", out);
  EXPECT_FALSE(DeleteRegistryValue(nullptr, "V"));
  EXPECT_FALSE(DeleteRegistryValue(kKey, nullptr));
  EXPECT_TRUE(ValueExists(kKey, "V"));
}

TEST_F(SettingsStore, DeleteValue) {
  SetText("V", "x");
  EXPECT_TRUE(DeleteRegistryValue(kKey, "V"));
  EXPECT_FALSE(ValueExists(kKey, "V"));
  EXPECT_FALSE(DeleteRegistryValue(kKey, "V")) << "already gone";
  EXPECT_FALSE(DeleteRegistryValue("SOFTWARE\\TzTraySettingsTest\\Missing", "V"));
}

TEST_F(SettingsStore, WriteCreatesKeyAndCountsTheZero) {
  const std::string sub = std::string(kKey) + "\\Deeper\\PoE";
  EXPECT_TRUE(WriteRegistryText(sub.c_str(), "ServiceName", "  my service "));
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(ValueExists(sub.c_str(), "ServiceName", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(std::string("  my service \0", 14), data) << "written as given, with its zero";
  EXPECT_TRUE(WriteRegistryText(sub.c_str(), "ServiceName", ""));
  ASSERT_TRUE(ValueExists(sub.c_str(), "ServiceName", &type, &data));
  EXPECT_EQ(std::string("\0", 1), data) << "the empty text is one zero byte";
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, sub.c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kKey) + "\\Deeper").c_str());
}

}  // namespace
