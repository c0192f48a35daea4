#include <windows.h>
#include <gtest/gtest.h>

// The harness gives each test program a prefix of its own with a writable registry.
TEST(Harness, RegistryIsWritable) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TzHarnessProbe", 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TzHarnessProbe"));
}
