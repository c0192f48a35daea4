// TzOSControl through its import library: the load state, its record and its test switches.
#include <TzOSControl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComponentTestSupport.h"

using namespace tztest;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

constexpr char kStateKey[] = "SOFTWARE\\Velmora\\TzOS\\State";
constexpr char kTestKey[] = "SOFTWARE\\Velmora\\TzOS\\Test";
constexpr char kLog[] = "TzOSControl.log";

class OsControl : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(kTestKey);
    // The library's state lives as long as the process: bring it back to rest.
    TzOSUnloadAll("Corvane");
    TzOSExit();
    ClearLog(kLog);
  }
  void TearDown() override { DeleteTree(kTestKey); }

  static void ExpectState(long long initialized, long long loaded, const std::string& loadedBy) {
    EXPECT_EQ(initialized, QueryDword(kStateKey, "Initialized"));
    EXPECT_EQ(loaded, QueryDword(kStateKey, "Loaded"));
    EXPECT_EQ(loadedBy, QueryText(kStateKey, "LoadedBy"));
    EXPECT_EQ(static_cast<long long>(GetCurrentProcessId()), QueryDword(kStateKey, "ProcessId"));
  }
};

TEST_F(OsControl, LoadsUnloadsAndLoadsAgainInTheTrayProgramsOrder) {
  EXPECT_TRUE(TzOSInitialize());
  ExpectState(1, 0, "");
  EXPECT_TRUE(TzOSLoadAll("Corvane"));
  ExpectState(1, 1, "Corvane");
  EXPECT_TRUE(TzOSUnloadAll("Corvane"));
  ExpectState(1, 0, "");
  EXPECT_TRUE(TzOSExit());
  ExpectState(0, 0, "");
  // The end of a Windows log-on that is cancelled loads them again.
  EXPECT_TRUE(TzOSInitialize());
  EXPECT_TRUE(TzOSLoadAll("Corvane"));
  ExpectState(1, 1, "Corvane");
  EXPECT_TRUE(TzOSUnloadAll("Corvane"));
  EXPECT_TRUE(TzOSExit());

  EXPECT_THAT(LogLines(kLog),
              ElementsAre("TzOSInitialize -> 1", "TzOSLoadAll(Corvane) -> 1", "TzOSUnloadAll(Corvane) -> 1",
                          "TzOSExit -> 1", "TzOSInitialize -> 1", "TzOSLoadAll(Corvane) -> 1",
                          "TzOSUnloadAll(Corvane) -> 1", "TzOSExit -> 1"));
}

TEST_F(OsControl, CallsOutOfOrderAreRefusedAndChangeNothing) {
  EXPECT_FALSE(TzOSUnloadAll("Corvane")) << "unload without a load";
  EXPECT_FALSE(TzOSLoadAll("Corvane")) << "load without initialising";
  EXPECT_FALSE(TzOSExit()) << "exit without initialising";
  EXPECT_TRUE(TzOSInitialize());
  EXPECT_TRUE(TzOSInitialize()) << "initialising again is harmless";
  EXPECT_FALSE(TzOSUnloadAll("Corvane")) << "unload without a load";

  // Program names must be present, non-empty and of sensible length.
  EXPECT_FALSE(TzOSLoadAll(nullptr));
  EXPECT_FALSE(TzOSLoadAll(""));
  const std::string tooLong(256, 'n');
  EXPECT_FALSE(TzOSLoadAll(tooLong.c_str()));
  EXPECT_TRUE(TzOSLoadAll(std::string(255, 'n').c_str()));
  EXPECT_TRUE(TzOSUnloadAll(std::string(255, 'n').c_str()));
  ExpectState(1, 0, "");

  EXPECT_TRUE(TzOSLoadAll("Corvane"));
  EXPECT_TRUE(TzOSLoadAll("Corvane")) << "loaded already, by the same program";
  EXPECT_FALSE(TzOSLoadAll("Other")) << "loaded by another program";
  EXPECT_FALSE(TzOSUnloadAll("Other")) << "only the loader unloads";
  EXPECT_FALSE(TzOSUnloadAll("corvane")) << "names are compared exactly";
  EXPECT_FALSE(TzOSUnloadAll(nullptr));
  EXPECT_FALSE(TzOSExit()) << "exit while loaded";
  ExpectState(1, 1, "Corvane");

  EXPECT_TRUE(TzOSUnloadAll("Corvane"));
  EXPECT_FALSE(TzOSUnloadAll("Corvane")) << "unloaded already";
  EXPECT_TRUE(TzOSExit());
  EXPECT_FALSE(TzOSLoadAll("Corvane")) << "load after exit";
  ExpectState(0, 0, "");

  std::vector<std::string> lines = LogLines(kLog);
  ASSERT_EQ(22u, lines.size());
  EXPECT_EQ("TzOSUnloadAll(Corvane) -> 0", lines[0]);
  EXPECT_EQ("TzOSLoadAll(null) -> 0", lines[6]);
  EXPECT_EQ("TzOSLoadAll() -> 0", lines[7]);
  EXPECT_EQ("TzOSLoadAll(" + tooLong + ") -> 0", lines[8]);
  EXPECT_EQ("TzOSLoadAll(Other) -> 0", lines[13]);
  EXPECT_EQ("TzOSLoadAll(Corvane) -> 0", lines[21]);
}

TEST_F(OsControl, FailureSwitchesMakeTheirCallFail) {
  SetDword(kTestKey, "FailInitialize", 1);
  EXPECT_FALSE(TzOSInitialize());
  EXPECT_FALSE(TzOSLoadAll("Corvane")) << "the tray's failure path: not initialised, not loaded";
  DeleteTree(kTestKey);
  EXPECT_TRUE(TzOSInitialize());

  SetDword(kTestKey, "FailLoadAll", 1);
  EXPECT_FALSE(TzOSLoadAll("Corvane"));
  ExpectState(1, 0, "");
  DeleteTree(kTestKey);
  EXPECT_TRUE(TzOSLoadAll("Corvane"));

  SetDword(kTestKey, "FailUnloadAll", 1);
  EXPECT_FALSE(TzOSUnloadAll("Corvane"));
  EXPECT_FALSE(TzOSExit()) << "still loaded";
  ExpectState(1, 1, "Corvane");
  DeleteTree(kTestKey);
  EXPECT_TRUE(TzOSUnloadAll("Corvane"));

  SetDword(kTestKey, "FailExit", 1);
  EXPECT_FALSE(TzOSExit());
  ExpectState(1, 0, "");
  // Only a non-zero DWORD counts as a switch.
  SetDword(kTestKey, "FailExit", 0);
  SetText(kTestKey, "FailInitialize", "1");
  EXPECT_TRUE(TzOSInitialize());
  EXPECT_TRUE(TzOSExit());
  ExpectState(0, 0, "");

  EXPECT_THAT(LogLines(kLog),
              ElementsAreArray({"TzOSInitialize -> 0", "TzOSLoadAll(Corvane) -> 0", "TzOSInitialize -> 1",
                                "TzOSLoadAll(Corvane) -> 0", "TzOSLoadAll(Corvane) -> 1", "TzOSUnloadAll(Corvane) -> 0",
                                "TzOSExit -> 0", "TzOSUnloadAll(Corvane) -> 1", "TzOSExit -> 0", "TzOSInitialize -> 1",
                                "TzOSExit -> 1"}));
}

TEST_F(OsControl, StateKeyIsVolatileButItsParentsAreNot) {
  DeleteTree("SOFTWARE\\Velmora");
  ASSERT_TRUE(TzOSInitialize());
  ASSERT_TRUE(KeyExists(kStateKey));
  HKEY key = nullptr;
  // Under a volatile key only volatile keys may be created.
  EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\TzOS\\State\\Probe", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  // The tray program's settings live beside it and must survive a restart.
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Corvane\\PoE", 0, nullptr,
                                           REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  EXPECT_TRUE(TzOSExit());
}

}  // namespace
