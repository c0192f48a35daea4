// The tray program's registry reader and writer on the real registry of the test prefix.
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

TEST_F(SettingsStore, MissingKeyOrValueLeavesOutputAlone) {
  std::string out = "before";
  EXPECT_FALSE(ReadRegistryString(kKey, "Nothing", out));
  EXPECT_EQ("before", out);
  SetText("Other", "x");
  EXPECT_FALSE(ReadRegistryString(kKey, "Nothing", out));
  EXPECT_EQ("before", out);
  EXPECT_FALSE(ReadRegistryText(kKey, "Nothing", settings::kFlagLimit, out));
  EXPECT_EQ("before", out);
}

TEST_F(SettingsStore, NullNamesReportFalse) {
  SetText("V", "x");
  std::string out = "before";
  EXPECT_FALSE(ReadRegistryString(nullptr, "V", out));
  EXPECT_FALSE(ReadRegistryString(kKey, nullptr, out));
  EXPECT_EQ("before", out);
  EXPECT_FALSE(DeleteRegistryValue(nullptr, "V"));
  EXPECT_FALSE(DeleteRegistryValue(kKey, nullptr));
  EXPECT_TRUE(ValueExists(kKey, "V"));
}

TEST_F(SettingsStore, TrimsBothEnds) {
  SetText("V", " \t Yes \r\n");
  std::string out;
  EXPECT_TRUE(ReadRegistryString(kKey, "V", out));
  EXPECT_EQ("Yes", out);
  SetText("V", "   ");
  out = "before";
  EXPECT_TRUE(ReadRegistryString(kKey, "V", out)) << "an all-blank value is read, as the empty text";
  EXPECT_EQ("", out);
  SetText("V", "");
  out = "before";
  EXPECT_TRUE(ReadRegistryString(kKey, "V", out));
  EXPECT_EQ("", out);
}

TEST_F(SettingsStore, CutAtFirstZero) {
  const char data[] = "ab\0cd";
  SetRaw("V", REG_SZ, data, sizeof(data));
  std::string out;
  EXPECT_TRUE(ReadRegistryString(kKey, "V", out));
  EXPECT_EQ("ab", out);
}

TEST_F(SettingsStore, LimitsCountTheTerminatingZero) {
  struct Case {
    DWORD limit;
  } cases[] = {{settings::kFlagLimit}, {settings::kServiceNameLimit}, {settings::kTextLimit}};
  for (const Case& c : cases) {
    std::string fits(c.limit - 1, 'a');
    std::string tooLong(c.limit, 'a');
    std::string out = "before";
    SetText("V", fits);
    EXPECT_TRUE(ReadRegistryText(kKey, "V", c.limit, out)) << "limit " << c.limit;
    EXPECT_EQ(fits, out) << "limit " << c.limit;
    SetText("V", tooLong);
    out = "before";
    EXPECT_FALSE(ReadRegistryText(kKey, "V", c.limit, out)) << "limit " << c.limit << ": counts as missing";
    EXPECT_EQ("before", out);
  }
  // The shared reader's limit is 256 bytes.
  SetText("V", std::string(255, 'b'));
  std::string out;
  EXPECT_TRUE(ReadRegistryString(kKey, "V", out));
  EXPECT_EQ(255u, out.size());
  SetText("V", std::string(256, 'b'));
  out = "before";
  EXPECT_FALSE(ReadRegistryString(kKey, "V", out));
  EXPECT_EQ("before", out);
}

TEST_F(SettingsStore, BlanksCountAgainstTheLimit) {
  // "true" with 12 blanks before it needs 17 bytes: too long for the 16-byte flag reader.
  std::string out;
  SetText("V", std::string(11, ' ') + "true");
  EXPECT_TRUE(ReadRegistryText(kKey, "V", settings::kFlagLimit, out));
  EXPECT_EQ("true", out);
  SetText("V", std::string(12, ' ') + "true");
  out = "before";
  EXPECT_FALSE(ReadRegistryText(kKey, "V", settings::kFlagLimit, out));
}

TEST_F(SettingsStore, NoTerminatorNeverReadPastTheData) {
  // Text data without its zero, and binary data: taken up to the byte count returned.
  SetRaw("V", REG_SZ, "abcd", 4);
  std::string out;
  EXPECT_TRUE(ReadRegistryText(kKey, "V", settings::kFlagLimit, out));
  EXPECT_EQ("abcd", out);
  SetRaw("B", REG_BINARY, "xyz", 3);
  EXPECT_TRUE(ReadRegistryText(kKey, "B", settings::kFlagLimit, out)) << "the type is not looked at";
  EXPECT_EQ("xyz", out);
  // Exactly the buffer's size without a zero.
  std::string full(16, 'q');
  SetRaw("F", REG_BINARY, full.data(), 16);
  EXPECT_TRUE(ReadRegistryText(kKey, "F", settings::kFlagLimit, out));
  EXPECT_EQ(full, out);
  DWORD number = 0x00434241;  // "ABC\0"
  SetRaw("D", REG_DWORD, &number, sizeof(number));
  EXPECT_TRUE(ReadRegistryText(kKey, "D", settings::kFlagLimit, out));
  EXPECT_EQ("ABC", out);
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
