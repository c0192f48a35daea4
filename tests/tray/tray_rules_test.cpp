// Start-up rules of the tray program: the ready-event name, the platform code, the URL poll
// period, the NT 4 flag, the restart request; and the framework's command-line splitter
// and template strings that the start-up relies on.
#include <windows.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CCommandLineInfo.h"
#include "CDocTemplate.h"
#include "StartupRules.h"
#include "SystemRestart.h"

namespace {

// A copy of |text| whose terminating zero is the last byte of a committed page, followed by
// an inaccessible page: any read past the terminator faults.
class GuardedString {
 public:
  explicit GuardedString(const std::string& text) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    page_ = si.dwPageSize;
    size_t pages = (text.size() + 1 + page_ - 1) / page_ + 1;
    base_ = static_cast<char*>(VirtualAlloc(nullptr, pages * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + (pages - 1) * page_, page_, PAGE_NOACCESS, &old);
    str_ = base_ + (pages - 1) * page_ - (text.size() + 1);
    memcpy(str_, text.c_str(), text.size() + 1);
  }
  ~GuardedString() { VirtualFree(base_, 0, MEM_RELEASE); }
  const char* c_str() const { return str_; }

 private:
  size_t page_ = 0;
  char* base_ = nullptr;
  char* str_ = nullptr;
};

std::string Name(const std::string& cmd) {
  GuardedString g(cmd);
  return ReadyEventNameFrom(g.c_str());
}

TEST(ReadyEventName, Markers) {
  EXPECT_EQ("Ready1", Name("/e\"Ready1\""));
  EXPECT_EQ("Ready1", Name("-e\"Ready1\""));
  EXPECT_EQ("Ev", Name("foo /e\"Ev\" bar"));
  EXPECT_EQ("Ev", Name("-x /e\"Ev\" -e\"Other\"")) << "\"/e\" wins over \"-e\" wherever they stand";
  EXPECT_EQ("Ev", Name("-e\"Other\" /e\"Ev\"")) << "\"/e\" is looked for first";
  EXPECT_EQ("First", Name("/e\"First\" /e\"Second\""));
  EXPECT_EQ("With Blank", Name("/e\"With Blank\""));
  EXPECT_EQ(" padded ", Name("/e\" padded \"")) << "the name is not trimmed";
}

TEST(ReadyEventName, NotRecognised) {
  EXPECT_EQ("", Name(""));
  EXPECT_EQ("", Name("/E\"Upper\"")) << "upper-case E is no marker";
  EXPECT_EQ("", Name("-E\"Upper\""));
  EXPECT_EQ("", Name("/e Ready"));
  EXPECT_EQ("", Name("/e 'Ready'"));
  EXPECT_EQ("", Name("e\"Ready\""));
  EXPECT_EQ("", Name("/eReady"));
  EXPECT_EQ("", ReadyEventNameFrom(nullptr));
}

TEST(ReadyEventName, QuotesAndEnds) {
  EXPECT_EQ("", Name("/e\"\"")) << "empty name";
  EXPECT_EQ("", Name("/e\"\"Tail\""));
  EXPECT_EQ("", Name("/e\"")) << "marker at the very end";
  EXPECT_EQ("", Name("/e\"x")) << "the last character is never taken";
  EXPECT_EQ("Read", Name("/e\"Ready")) << "without a closing quote the last character is lost";
  EXPECT_EQ("Ready", Name("/e\"Ready\"")) << "the closing quote is the last character";
  EXPECT_EQ("Ready", Name("/e\"Ready\"x"));
  EXPECT_EQ("Ready rest of lin", Name("/e\"Ready rest of line"));
  EXPECT_EQ("a/e", Name("/e\"a/e\"b\""));
}

// Random command lines over an alphabet rich in markers and quotes: the result always
// follows the rule, and nothing past the terminator is read (the guard page would fault).
TEST(ReadyEventName, RandomStrings) {
  std::mt19937 rng(20240506);
  const std::string alphabet = "/-eE\"\"  ab\\\t";
  for (int round = 0; round < 3000; ++round) {
    std::string cmd;
    size_t len = rng() % 24;
    for (size_t i = 0; i < len; ++i) cmd += alphabet[rng() % alphabet.size()];
    std::string got = Name(cmd);
    size_t marker = cmd.find("/e\"");
    if (marker == std::string::npos) marker = cmd.find("-e\"");
    if (marker == std::string::npos) {
      EXPECT_EQ("", got) << "cmd [" << cmd << "]";
      continue;
    }
    size_t start = marker + 3;
    size_t quote = cmd.find('"', start);
    size_t stop = quote == std::string::npos ? cmd.size() - 1 : quote;
    if (stop > cmd.size() - 1) stop = cmd.size() - 1;
    std::string want = start < stop ? cmd.substr(start, stop - start) : "";
    EXPECT_EQ(want, got) << "cmd [" << cmd << "]";
    EXPECT_EQ(std::string::npos, got.find('"')) << "cmd [" << cmd << "]";
  }
}

TEST(PlatformCode, Table) {
  EXPECT_EQ(kPlatformWin9x, PlatformCodeFor(VER_PLATFORM_WIN32_WINDOWS, 4));
  EXPECT_EQ(kPlatformWin9x, PlatformCodeFor(VER_PLATFORM_WIN32_WINDOWS, 5));
  EXPECT_EQ(kPlatformNT4, PlatformCodeFor(VER_PLATFORM_WIN32_NT, 3));
  EXPECT_EQ(kPlatformNT4, PlatformCodeFor(VER_PLATFORM_WIN32_NT, 4));
  EXPECT_EQ(kPlatformNT5, PlatformCodeFor(VER_PLATFORM_WIN32_NT, 5));
  EXPECT_EQ(kPlatformNT5, PlatformCodeFor(VER_PLATFORM_WIN32_NT, 10));
  EXPECT_EQ(kPlatformOther, PlatformCodeFor(VER_PLATFORM_WIN32s, 3));
  EXPECT_EQ(kPlatformOther, PlatformCodeFor(3, 4));
  EXPECT_EQ(kPlatformOther, PlatformCodeFor(0xFFFFFFFF, 4));
}

DWORD g_fakePlatformId = 0, g_fakeMajor = 0, g_seenSize = 0;
BOOL g_fakeResult = TRUE;
BOOL WINAPI FakeGetVersion(LPOSVERSIONINFOA info) {
  g_seenSize = info->dwOSVersionInfoSize;
  if (!g_fakeResult) return FALSE;
  info->dwPlatformId = g_fakePlatformId;
  info->dwMajorVersion = g_fakeMajor;
  return TRUE;
}

TEST(PlatformCode, Detection) {
  int platform = kPlatformUnknown;
  g_fakeResult = TRUE;
  g_fakePlatformId = VER_PLATFORM_WIN32_NT;
  g_fakeMajor = 4;
  EXPECT_TRUE(DetectPlatformCode(&FakeGetVersion, platform));
  EXPECT_EQ(148u, g_seenSize) << "the structure size Windows 95 and NT 4 accept";
  EXPECT_EQ(kPlatformNT4, platform);

  // A failing GetVersionExA (the one case Wine cannot provoke) leaves the code alone.
  g_fakeResult = FALSE;
  platform = 7;
  EXPECT_FALSE(DetectPlatformCode(&FakeGetVersion, platform));
  EXPECT_EQ(7, platform);
  platform = kPlatformUnknown;
  EXPECT_FALSE(DetectPlatformCode(&FakeGetVersion, platform));
  EXPECT_EQ(kPlatformUnknown, platform);

  // The real one, in this prefix.
  EXPECT_TRUE(DetectPlatformCode(&GetVersionExA, platform));
  EXPECT_NE(kPlatformUnknown, platform);
}

TEST(UrlPollPeriod, AtoiRules) {
  EXPECT_EQ(5000u, UrlPollPeriodFrom(""));
  EXPECT_EQ(5000u, UrlPollPeriodFrom("0"));
  EXPECT_EQ(5000u, UrlPollPeriodFrom("abc"));
  EXPECT_EQ(5000u, UrlPollPeriodFrom("ms2500"));
  EXPECT_EQ(5000u, UrlPollPeriodFrom("-0"));
  EXPECT_EQ(5000u, UrlPollPeriodFrom("+"));
  EXPECT_EQ(2500u, UrlPollPeriodFrom("2500ms"));
  EXPECT_EQ(2500u, UrlPollPeriodFrom("   2500"));
  EXPECT_EQ(2500u, UrlPollPeriodFrom("\t+2500"));
  EXPECT_EQ(1000u, UrlPollPeriodFrom("1000.9"));
  EXPECT_EQ(12u, UrlPollPeriodFrom("0012"));
  EXPECT_EQ(static_cast<UINT>(-5), UrlPollPeriodFrom("-5")) << "a negative number passes as atoi gives it";
  EXPECT_EQ(2147483647u, UrlPollPeriodFrom("99999999999999999999")) << "saturates instead of overflowing";
}

TEST(MtuFlag, ExactAndCaseSensitive) {
  EXPECT_TRUE(IsAdjustedFlag("true"));
  EXPECT_FALSE(IsAdjustedFlag("True"));
  EXPECT_FALSE(IsAdjustedFlag("TRUE"));
  EXPECT_FALSE(IsAdjustedFlag("true1"));
  EXPECT_FALSE(IsAdjustedFlag(""));
  EXPECT_FALSE(IsAdjustedFlag("1"));
}

// A fake security API that records what the restart sequence did.
struct RestartFake {
  bool lookupOk = true, openOk = true, adjustOk = true;
  DWORD adjustError = ERROR_SUCCESS;
  std::vector<std::string> calls;
  DWORD adjustLength = 0, adjustAttributes = 0, openAccess = 0;
  UINT exitFlags = 0;
};
RestartFake* g_restart = nullptr;
HANDLE const kFakeToken = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x4242));

BOOL WINAPI FakeLookup(LPCSTR system, LPCSTR name, PLUID luid) {
  g_restart->calls.push_back(std::string("lookup ") + (system ? "system" : "null") + " " + name);
  luid->LowPart = 19;
  luid->HighPart = 0;
  return g_restart->lookupOk;
}
BOOL WINAPI FakeOpenToken(HANDLE, DWORD access, PHANDLE token) {
  g_restart->calls.push_back("open");
  g_restart->openAccess = access;
  if (!g_restart->openOk) return FALSE;
  *token = kFakeToken;
  return TRUE;
}
BOOL WINAPI FakeAdjust(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES tp, DWORD length, PTOKEN_PRIVILEGES, PDWORD) {
  g_restart->calls.push_back(std::string("adjust") + (token == kFakeToken ? "" : " wrong-token") +
                             (disableAll ? " disable-all" : ""));
  g_restart->adjustLength = length;
  g_restart->adjustAttributes = tp->Privileges[0].Attributes;
  SetLastError(g_restart->adjustError);
  return g_restart->adjustOk;
}
BOOL WINAPI FakeClose(HANDLE h) {
  g_restart->calls.push_back(h == kFakeToken ? "close" : "close wrong-handle");
  return TRUE;
}
BOOL WINAPI FakeExit(UINT flags, DWORD) {
  g_restart->calls.push_back("exit");
  g_restart->exitFlags = flags;
  return TRUE;
}

std::vector<std::string> RunRestart(RestartFake& fake, bool* requested) {
  g_restart = &fake;
  SystemRestart api{&FakeLookup, &FakeOpenToken, &FakeAdjust, &FakeClose, &FakeExit};
  *requested = api.Request([&] { fake.calls.push_back("flag"); });
  g_restart = nullptr;
  return fake.calls;
}

using Calls = std::vector<std::string>;

TEST(RestartRequest, Sequence) {
  RestartFake ok;
  bool requested = false;
  EXPECT_EQ((Calls{"lookup null SeShutdownPrivilege", "open", "adjust", "close", "flag", "exit"}),
            RunRestart(ok, &requested));
  EXPECT_TRUE(requested);
  EXPECT_EQ(static_cast<DWORD>(TOKEN_ADJUST_PRIVILEGES), ok.openAccess);
  EXPECT_EQ(16u, ok.adjustLength);
  EXPECT_EQ(static_cast<DWORD>(SE_PRIVILEGE_ENABLED), ok.adjustAttributes);
  EXPECT_EQ(static_cast<UINT>(EWX_REBOOT), ok.exitFlags);
}

TEST(RestartRequest, EachFailureStopsBeforeTheFlag) {
  bool requested = true;
  RestartFake lookup;
  lookup.lookupOk = false;
  EXPECT_EQ((Calls{"lookup null SeShutdownPrivilege"}), RunRestart(lookup, &requested));
  EXPECT_FALSE(requested);

  RestartFake open;
  open.openOk = false;
  EXPECT_EQ((Calls{"lookup null SeShutdownPrivilege", "open"}), RunRestart(open, &requested));
  EXPECT_FALSE(requested);

  RestartFake adjust;
  adjust.adjustOk = FALSE;
  EXPECT_EQ((Calls{"lookup null SeShutdownPrivilege", "open", "adjust", "close"}), RunRestart(adjust, &requested));
  EXPECT_FALSE(requested);

  // TRUE with ERROR_NOT_ALL_ASSIGNED: the privilege was not enabled.
  RestartFake partial;
  partial.adjustError = ERROR_NOT_ALL_ASSIGNED;
  EXPECT_EQ((Calls{"lookup null SeShutdownPrivilege", "open", "adjust", "close"}), RunRestart(partial, &requested));
  EXPECT_FALSE(requested);
}

TEST(FrameworkCommandLine, SplitsLikeTheRuntime) {
  using Args = std::vector<std::string>;
  EXPECT_EQ(Args{}, CCommandLineInfo::SplitCommandLine(""));
  EXPECT_EQ(Args{}, CCommandLineInfo::SplitCommandLine("  \t "));
  EXPECT_EQ((Args{"/eReady"}), CCommandLineInfo::SplitCommandLine("/e\"Ready\""));
  EXPECT_EQ((Args{"/eMy Event", "x"}), CCommandLineInfo::SplitCommandLine("/e\"My Event\" x"));
  EXPECT_EQ((Args{"a b", "c"}), CCommandLineInfo::SplitCommandLine("\"a b\"   c"));
  EXPECT_EQ((Args{"a\"b"}), CCommandLineInfo::SplitCommandLine("a\\\"b"));
  EXPECT_EQ((Args{"a\\\\b"}), CCommandLineInfo::SplitCommandLine("a\\\\b"));
  EXPECT_EQ((Args{"a\\", "b"}), CCommandLineInfo::SplitCommandLine("\"a\\\\\" b"));
  EXPECT_EQ((Args{"unterminated rest"}), CCommandLineInfo::SplitCommandLine("\"unterminated rest"));
}

TEST(FrameworkCommandLine, FlagsIgnoredFileOpens) {
  CCommandLineInfo none;
  EXPECT_EQ(CCommandLineInfo::FileNew, none.m_nShellCommand);
  CCommandLineInfo flags;
  flags.ParseParam("eReady", true, false);
  flags.ParseParam("x", true, true);
  EXPECT_EQ(CCommandLineInfo::FileNew, flags.m_nShellCommand);
  EXPECT_EQ("", flags.m_strFileName);
  CCommandLineInfo file;
  file.ParseParam("doc.txt", false, false);
  file.ParseParam("other.txt", false, true);
  EXPECT_EQ(CCommandLineInfo::FileOpen, file.m_nShellCommand);
  EXPECT_EQ("doc.txt", file.m_strFileName);
}

TEST(FrameworkTemplateString, Fields) {
  const std::string s = "Corvane\n\nDravik\n\n\nDravik.Document\nDravik Document";
  EXPECT_EQ("Corvane", CDocTemplate::DocStringField(s, CDocTemplate::windowTitle));
  EXPECT_EQ("", CDocTemplate::DocStringField(s, CDocTemplate::docName));
  EXPECT_EQ("Dravik", CDocTemplate::DocStringField(s, CDocTemplate::fileNewName));
  EXPECT_EQ("", CDocTemplate::DocStringField(s, CDocTemplate::filterName));
  EXPECT_EQ("", CDocTemplate::DocStringField(s, CDocTemplate::filterExt));
  EXPECT_EQ("Dravik.Document", CDocTemplate::DocStringField(s, CDocTemplate::regFileTypeId));
  EXPECT_EQ("Dravik Document", CDocTemplate::DocStringField(s, CDocTemplate::regFileTypeName));
  EXPECT_EQ("", CDocTemplate::DocStringField(s, 7));
  EXPECT_EQ("", CDocTemplate::DocStringField("", 0));
  EXPECT_EQ("", CDocTemplate::DocStringField(s, -1));
}

}  // namespace
