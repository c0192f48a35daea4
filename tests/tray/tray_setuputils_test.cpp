// The call sequences the tray program runs on TzSetupUtils, against a table that records
// every call and fails at the step a test asks for; and once against the real library.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SetupUtilsTable.h"

namespace {

struct Fake {
  int failOrdinal = 0;         // this ordinal returns an error
  int failAfterFetches = -1;   // ordinal 7 fails from this fetch on
  LONG count = 0;
  std::vector<std::string> descriptions;
  std::vector<std::string> calls;
  int fetches = 0;
  std::string runtimePath, runtimeComment;
  bool descriptionClearedBeforeFetch = true;
};
Fake* g = nullptr;

TZSU_STATUS Result(int ordinal) {
  g->calls.push_back(std::to_string(ordinal));
  return g->failOrdinal == ordinal ? 99 : TZSU_OK;
}
TZSU_STATUS WINAPI Open(TZSU_HANDLE* h) {
  TZSU_STATUS s = Result(1);
  if (s == TZSU_OK) *h = 7;
  return s;
}
TZSU_STATUS WINAPI Close(TZSU_HANDLE* h) {
  if (*h != 7) g->calls.push_back("2 with a wrong handle");
  *h = 0;
  return Result(2);
}
TZSU_STATUS WINAPI Prepare(TZSU_HANDLE) { return Result(3); }
TZSU_STATUS WINAPI Count(TZSU_HANDLE, LONG* count) {
  if (*count != 0) g->calls.push_back("5 count not preset");
  TZSU_STATUS s = Result(5);
  if (s == TZSU_OK) *count = g->count;
  return s;
}
TZSU_STATUS WINAPI Begin(TZSU_HANDLE) { return Result(6); }
TZSU_STATUS WINAPI Next(TZSU_HANDLE, DWORD*, char*, char* description, char*, char*, char*, char*, char*, char*,
                        char*) {
  if (description[0] != 0) g->descriptionClearedBeforeFetch = false;
  TZSU_STATUS s = Result(7);
  if (g->failAfterFetches >= 0 && g->fetches >= g->failAfterFetches) s = TZSU_E_NO_MORE_ENTRIES;
  if (s == TZSU_OK) {
    std::string d = g->fetches < static_cast<int>(g->descriptions.size()) ? g->descriptions[g->fetches] : "";
    // Fill the whole area, unterminated when the text is that long.
    memset(description, 'z', TZSU_LONG_TEXT);
    memcpy(description, d.data(), d.size() < TZSU_LONG_TEXT ? d.size() : TZSU_LONG_TEXT);
    if (d.size() < TZSU_LONG_TEXT) description[d.size()] = 0;
  }
  ++g->fetches;
  return s;
}
TZSU_STATUS WINAPI End(TZSU_HANDLE) { return Result(8); }
TZSU_STATUS WINAPI WriteFile11(TZSU_HANDLE, const char* path, const char* comment) {
  g->runtimePath = path ? path : "(null)";
  g->runtimeComment = comment ? comment : "(null)";
  return Result(11);
}
TZSU_STATUS WINAPI Adjust(DWORD) { return Result(34); }

const SetupUtilsTable kFake = {&Open, &Close, &Prepare, &Count, &Begin, &Next, &End, &WriteFile11, &Adjust};

using Calls = std::vector<std::string>;

Calls Find(Fake& fake, bool* found) {
  g = &fake;
  *found = kFake.FindAdapter("Velmora Tolvek");
  g = nullptr;
  return fake.calls;
}

TEST(AdapterCheck, FoundStopsTheFetches) {
  Fake f;
  f.count = 4;
  f.descriptions = {"Intel(R) PRO/100", "Velmora Tolvek PPPoE Adapter", "Other", "More"};
  bool found = false;
  EXPECT_EQ((Calls{"1", "3", "5", "6", "7", "7", "8", "2"}), Find(f, &found));
  EXPECT_TRUE(found);
  EXPECT_TRUE(f.descriptionClearedBeforeFetch);
}

TEST(AdapterCheck, NotFoundFetchesCountTimes) {
  Fake f;
  f.count = 3;
  f.descriptions = {"velmora tolvek", "Velmora  Tolvek", "Tolvek Velmora"};
  bool found = true;
  EXPECT_EQ((Calls{"1", "3", "5", "6", "7", "7", "7", "8", "2"}), Find(f, &found));
  EXPECT_FALSE(found) << "the search is case-sensitive";
}

TEST(AdapterCheck, MarkerAnywhereInTheDescription) {
  Fake f;
  f.count = 1;
  f.descriptions = {"The Velmora Tolvek"};
  bool found = false;
  Find(f, &found);
  EXPECT_TRUE(found);
}

TEST(AdapterCheck, UnterminatedDescriptionIsBounded) {
  // 128 bytes without a zero; the marker sits in the last bytes.
  Fake f;
  f.count = 1;
  f.descriptions = {std::string(128 - 14, 'x') + "Velmora Tolvek"};
  bool found = false;
  Find(f, &found);
  EXPECT_TRUE(found);
}

TEST(AdapterCheck, ZeroOrNegativeCountFetchesNothing) {
  for (LONG count : {0L, -1L, -100L}) {
    Fake f;
    f.count = count;
    bool found = true;
    EXPECT_EQ((Calls{"1", "3", "5", "6", "8", "2"}), Find(f, &found)) << "count " << count;
    EXPECT_FALSE(found);
  }
}

TEST(AdapterCheck, EachStepFailing) {
  struct Case {
    int failOrdinal;
    Calls expected;
  } cases[] = {
      {1, {"1"}},
      {3, {"1", "3", "2"}},
      {5, {"1", "3", "5", "2"}},
      {6, {"1", "3", "5", "6", "2"}},
      {7, {"1", "3", "5", "6", "7", "8", "2"}},
      {8, {"1", "3", "5", "6", "7", "7", "8", "2"}},
      {2, {"1", "3", "5", "6", "7", "7", "8", "2"}},
  };
  for (const Case& c : cases) {
    Fake f;
    f.failOrdinal = c.failOrdinal;
    f.count = 2;
    f.descriptions = {"a", "b"};
    bool found = true;
    EXPECT_EQ(c.expected, Find(f, &found)) << "ordinal " << c.failOrdinal << " failing";
    EXPECT_FALSE(found) << "ordinal " << c.failOrdinal << " failing";
  }
  // A fetch failing after the adapter was found no longer matters; one failing before does.
  Fake late;
  late.count = 3;
  late.descriptions = {"a", "Velmora Tolvek", "c"};
  late.failAfterFetches = 1;
  bool found = true;
  EXPECT_EQ((Calls{"1", "3", "5", "6", "7", "7", "8", "2"}), Find(late, &found));
  EXPECT_FALSE(found) << "the fetch that would have found it failed";
}

Calls WriteRuntime(Fake& fake, bool dirOk, bool* written) {
  g = &fake;
  *written = kFake.WriteRuntimeFile(
      [&](std::string& dir) {
        fake.calls.push_back("dir");
        dir = "C:\\WINDOWS\\";
        return dirOk;
      },
      "Tessory_Runtime.txt");
  g = nullptr;
  return fake.calls;
}

TEST(RuntimeFile, Sequence) {
  Fake f;
  bool written = false;
  EXPECT_EQ((Calls{"1", "3", "dir", "11", "2"}), WriteRuntime(f, true, &written));
  EXPECT_TRUE(written);
  EXPECT_EQ("C:\\WINDOWS\\Tessory_Runtime.txt", f.runtimePath);
  EXPECT_EQ("", f.runtimeComment);
}

TEST(RuntimeFile, EachStepFailing) {
  bool written = true;
  Fake open;
  open.failOrdinal = 1;
  EXPECT_EQ((Calls{"1"}), WriteRuntime(open, true, &written));
  EXPECT_FALSE(written);
  Fake prepare;
  prepare.failOrdinal = 3;
  EXPECT_EQ((Calls{"1", "3", "2"}), WriteRuntime(prepare, true, &written));
  EXPECT_FALSE(written);
  Fake dir;
  EXPECT_EQ((Calls{"1", "3", "dir", "2"}), WriteRuntime(dir, false, &written));
  EXPECT_FALSE(written);
  Fake write;
  write.failOrdinal = 11;
  EXPECT_EQ((Calls{"1", "3", "dir", "11", "2"}), WriteRuntime(write, true, &written));
  EXPECT_FALSE(written);
  Fake close;
  close.failOrdinal = 2;
  EXPECT_EQ((Calls{"1", "3", "dir", "11", "2"}), WriteRuntime(close, true, &written));
  EXPECT_TRUE(written) << "the close's result is not looked at";
}

// A library built with __cdecl where the interface says __stdcall: the callee leaves its
// arguments on the stack. On x86 the tray program must come out of every call with its stack
// as before (the same handle reaches every step, the results are right); on x64 there is one
// convention and this is the plain table again.
template <auto F>
struct AsCdecl;
template <typename... A, TZSU_STATUS(WINAPI* F)(A...)>
struct AsCdecl<F> {
  static TZSU_STATUS __cdecl Call(A... a) { return F(a...); }
  static auto Pointer() { return reinterpret_cast<decltype(F)>(&Call); }
};
const SetupUtilsTable kFakeCdecl = {AsCdecl<&Open>::Pointer(),  AsCdecl<&Close>::Pointer(),
                                    AsCdecl<&Prepare>::Pointer(), AsCdecl<&Count>::Pointer(),
                                    AsCdecl<&Begin>::Pointer(),   AsCdecl<&Next>::Pointer(),
                                    AsCdecl<&End>::Pointer(),     AsCdecl<&WriteFile11>::Pointer(),
                                    AsCdecl<&Adjust>::Pointer()};

TEST(OtherCallingConvention, SequencesRunAsWithTheDeclaredOne) {
  for (int round = 0; round < 200; ++round) {
    Fake f;
    f.count = 3;
    f.descriptions = {"NE2000 Compatible", "Dial-Up Adapter", "Velmora Tolvek PPPoE Adapter"};
    g = &f;
    const bool found = kFakeCdecl.FindAdapter("Velmora Tolvek");
    bool written = kFakeCdecl.WriteRuntimeFile(
        [](std::string& dir) {
          dir = "C:\\WINDOWS\\";
          return true;
        },
        "Tessory_Runtime.txt");
    g = nullptr;
    ASSERT_TRUE(found) << "round " << round;
    ASSERT_TRUE(written) << "round " << round;
    ASSERT_EQ((Calls{"1", "3", "5", "6", "7", "7", "7", "8", "2", "1", "3", "11", "2"}), f.calls) << "round " << round;
    ASSERT_EQ("C:\\WINDOWS\\Tessory_Runtime.txt", f.runtimePath);
  }
}

// The real library, by ordinal: installing the adapter is a registry key.
TEST(SystemLibrary, FindsAnInstalledAdapter) {
  const char* klass = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\0042";
  OSVERSIONINFOA vi{};
  vi.dwOSVersionInfoSize = sizeof(vi);
  ASSERT_TRUE(GetVersionExA(&vi));
  if (vi.dwPlatformId != VER_PLATFORM_WIN32_NT) GTEST_SKIP() << "the test prefix reports Windows 95/98";
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, klass);
  EXPECT_FALSE(SetupUtilsTable::System().FindAdapter("Velmora Tolvek"));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, klass, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const char desc[] = "Velmora Tolvek PPPoE Adapter";
  RegSetValueExA(key, "DriverDesc", 0, REG_SZ, reinterpret_cast<const BYTE*>(desc), sizeof(desc));
  RegCloseKey(key);
  EXPECT_TRUE(SetupUtilsTable::System().FindAdapter("Velmora Tolvek"));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, klass);
}

}  // namespace
