// The dialer's small rules: the command-line scan, the machine-wide registry reader and the
// sizes of the RAS records it hands to RAS.
#include <windows.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "CommandLine.h"
#include "DialerRas.h"
#include "MachineRegistry.h"

namespace {

struct Scan {
  std::string user;
  std::string password;
};

Scan ScanOf(const std::string& tail) {
  // Leftovers of an earlier scan must not survive a new one.
  g_strCmdLineUser = "stale-user";
  g_strCmdLinePassword = "stale-password";
  ParseCommandLine(tail);
  return {g_strCmdLineUser, g_strCmdLinePassword};
}

// --- command line: the rows of the scanner's state table, one case each

TEST(CommandLine, IdleIgnoresEverythingButTheSlash) {
  Scan s = ScanOf("U\"a\" P\"b\" -U\"c\"");
  EXPECT_EQ("", s.user);
  EXPECT_EQ("", s.password);
}

TEST(CommandLine, SlashThenUpperCaseLetterThenQuoteStartsAValue) {
  Scan s = ScanOf("/U\"alice\" /P\"secret\"");
  EXPECT_EQ("alice", s.user);
  EXPECT_EQ("secret", s.password);
}

TEST(CommandLine, SlashThenAnyOtherCharacterGoesBackToIdle) {
  EXPECT_EQ("", ScanOf("/u\"alice\"").user);       // lower case
  EXPECT_EQ("", ScanOf("/p\"secret\"").password);
  EXPECT_EQ("", ScanOf("/X\"alice\"").user);
  EXPECT_EQ("", ScanOf("//U\"alice\"").user);      // the second slash does not restart
  EXPECT_EQ("", ScanOf("/ U\"alice\"").user);
}

TEST(CommandLine, LetterThenAnythingButAQuoteGoesBackToIdle) {
  EXPECT_EQ("", ScanOf("/Ualice").user);
  EXPECT_EQ("", ScanOf("/U alice\"").user);
  EXPECT_EQ("", ScanOf("/U'alice'").user);
  // After the letter the slash is an ordinary character: /P is not seen.
  EXPECT_EQ("", ScanOf("/U/P\"x\"").password);
}

TEST(CommandLine, ValueTakesBlanksSlashesAndRunsToTheNextQuote) {
  Scan s = ScanOf("/U\"a b/c /P\"x\"");
  EXPECT_EQ("a b/c /P", s.user);
  EXPECT_EQ("", s.password);  // the quote after x opened nothing
}

TEST(CommandLine, ClosingQuoteStoresAndForgetsTheLetter) {
  Scan s = ScanOf("/U\"first\"\"second\"");
  EXPECT_EQ("first", s.user);
  EXPECT_EQ("", s.password);
}

TEST(CommandLine, EmptyValueSetsEmpty) {
  EXPECT_EQ("", ScanOf("/U\"\"").user);
  Scan s = ScanOf("/U\"x\" /U\"\"");
  EXPECT_EQ("", s.user);
}

TEST(CommandLine, LaterOptionReplacesEarlier) {
  Scan s = ScanOf("/U\"one\" /P\"p1\" /U\"two\" /P\"p2\"");
  EXPECT_EQ("two", s.user);
  EXPECT_EQ("p2", s.password);
}

TEST(CommandLine, MissingClosingQuoteDropsTheValue) {
  Scan s = ScanOf("/U\"alice\" /P\"secret");
  EXPECT_EQ("alice", s.user);
  EXPECT_EQ("", s.password);
  EXPECT_EQ("", ScanOf("/U\"").user);
}

TEST(CommandLine, OptionsAnywhereWithOrWithoutBlanks) {
  Scan s = ScanOf("junk/P\"pw\"more/U\"me\"tail");
  EXPECT_EQ("me", s.user);
  EXPECT_EQ("pw", s.password);
}

TEST(CommandLine, StopsAtTheFirstNul) {
  std::string tail = std::string("/U\"ab") + '\0' + "cd\" /P\"x\"";
  Scan s = ScanOf(tail);
  EXPECT_EQ("", s.user);
  EXPECT_EQ("", s.password);
  std::string tail2 = std::string("/U\"ab\"") + '\0' + "/P\"x\"";
  s = ScanOf(tail2);
  EXPECT_EQ("ab", s.user);
  EXPECT_EQ("", s.password);
}

TEST(CommandLine, EmptyTailClearsBoth) {
  Scan s = ScanOf("");
  EXPECT_EQ("", s.user);
  EXPECT_EQ("", s.password);
}

TEST(CommandLine, HighBitAndControlCharactersAreKept) {
  std::string value = "\xe9\xff\x01\t";
  Scan s = ScanOf("/U\"" + value + "\"");
  EXPECT_EQ(value, s.user);
}

TEST(CommandLine, RandomBytesNeverCrashAndStayWithinTheTail) {
  std::mt19937 rng(20240611);
  const char alphabet[] = {'/', 'U', 'P', 'u', '"', ' ', 'a', '\0', '\xff'};
  for (int round = 0; round < 20000; ++round) {
    std::string tail(rng() % 64, '\0');
    for (char& c : tail) {
      c = (rng() % 3 == 0) ? static_cast<char>(rng() % 256) : alphabet[rng() % sizeof(alphabet)];
    }
    ParseCommandLine(tail);
    ASSERT_LE(g_strCmdLineUser.size(), tail.size());
    ASSERT_LE(g_strCmdLinePassword.size(), tail.size());
    ASSERT_EQ(std::string::npos, g_strCmdLineUser.find('"'));
  }
  // One long tail with a value far longer than any buffer the dialer uses.
  std::string big = "/U\"" + std::string(100000, 'x') + "\"";
  ParseCommandLine(big);
  EXPECT_EQ(100000u, g_strCmdLineUser.size());
}

// /U and /P replace what the edits would show, cut to the edits' limit: on Windows
// WM_SETTEXT ignores EM_LIMITTEXT, so a longer text would sit in the edit and fail every
// later read with "Please enter no more than 100 characters.". The parsed password is wiped,
// its whole buffer.
TEST(CommandLine, ValuesReplaceTheStoredOnesCutToTheEditsLimitAndThePasswordIsWiped) {
  const std::string longUser(150, 'u'), longPassword(130, 'p');
  ParseCommandLine("/U\"" + longUser + "\" /P\"" + longPassword + "\"");
  const char* parsed = g_strCmdLinePassword.data();
  const size_t parsedBytes = g_strCmdLinePassword.capacity();
  std::string user = "stored", password = "stored-password";
  ApplyCommandLineCredentials(user, password);
  EXPECT_EQ(std::string(100, 'u'), user);
  EXPECT_EQ(std::string(100, 'p'), password);
  EXPECT_TRUE(g_strCmdLinePassword.empty());
  ASSERT_EQ(parsed, g_strCmdLinePassword.data()) << "wiped in place, not freed";
  EXPECT_EQ(std::string(parsedBytes, '\0'), std::string(parsed, parsedBytes));

  ParseCommandLine("/U\"" + std::string(100, 'a') + "\"");
  user = "stored";
  password = "kept";
  ApplyCommandLineCredentials(user, password);
  EXPECT_EQ(std::string(100, 'a'), user) << "exactly the limit is kept whole";
  EXPECT_EQ("kept", password) << "no /P: the stored password stays";
}

// --- registry reader

constexpr char kKey[] = "SOFTWARE\\TzDialerTest";

class MachineRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &m_key, nullptr));
  }
  void TearDown() override {
    RegCloseKey(m_key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
  }
  void Set(const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key, name, 0, type, static_cast<const BYTE*>(data), size));
  }
  void SetText(const char* name, const std::string& text) {
    Set(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }
  // ReadMachineString with |out| preset, so that "left untouched" is visible.
  bool Read(const char* name, std::string& out, const char* key = kKey) {
    out = "untouched";
    return ReadMachineString(key, name, out);
  }
  HKEY m_key = nullptr;
};

TEST_F(MachineRegistry, MissingKeyValueOrNullArgumentsFailAndLeaveTheOutput) {
  std::string out;
  EXPECT_FALSE(Read("Anything", out, "SOFTWARE\\TzDialerTest\\NoSuchKey"));
  EXPECT_EQ("untouched", out);
  EXPECT_FALSE(Read("NoSuchValue", out));
  EXPECT_EQ("untouched", out);
  out = "untouched";
  EXPECT_FALSE(ReadMachineString(nullptr, "x", out));
  EXPECT_FALSE(ReadMachineString(kKey, nullptr, out));
  EXPECT_EQ("untouched", out);
}

// How values are read (trimming, zeros, types) is the framework's reader's, tested with it;
// here the dialer's buffer of 256 bytes.
TEST_F(MachineRegistry, TextsOf255FitAndOf256DoNot) {
  std::string out;
  std::string t255(255, 'a');
  SetText("Fits", t255);
  EXPECT_TRUE(Read("Fits", out));
  EXPECT_EQ(t255, out);
  SetText("Padded", " " + std::string(253, 'a') + " ");
  EXPECT_TRUE(Read("Padded", out));
  EXPECT_EQ(std::string(253, 'a'), out);
  SetText("TooLong", std::string(256, 'b'));
  EXPECT_FALSE(Read("TooLong", out));
  EXPECT_EQ("untouched", out);
}

// --- RAS records of the Windows 95 / NT 4.0 layout

TEST(RasRecords, SizesAndOffsetsOfTheOldLayout) {
  EXPECT_EQ(152u, sizeof(RASDEVINFOA_400));
  EXPECT_EQ(1768u, sizeof(RASENTRYA_400));
  EXPECT_EQ(1052u, sizeof(RASDIALPARAMSA_400));
  EXPECT_EQ(17u, sizeof(RASDEVINFOA_400{}.szDeviceType));
  EXPECT_EQ(129u, sizeof(RASDEVINFOA_400{}.szDeviceName));
  EXPECT_EQ(257u, sizeof(RASDIALPARAMSA_400{}.szUserName));
  EXPECT_EQ(257u, sizeof(RASDIALPARAMSA_400{}.szPassword));
  EXPECT_EQ(4u, offsetof(RASDIALPARAMSA_400, szEntryName));
  EXPECT_EQ(1033u, offsetof(RASDIALPARAMSA_400, szDomain));
  EXPECT_EQ(27u, offsetof(RASENTRYA_400, szLocalPhoneNumber));
  EXPECT_EQ(989u, offsetof(RASENTRYA_400, szDeviceName));
  EXPECT_EQ(1756u, offsetof(RASENTRYA_400, dwChannels));
}

}  // namespace
