// TzSetupUtils through its import library (by ordinal), on the registry of the test's prefix.
#include <TzSetupUtils.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ComponentTestSupport.h"

using namespace tztest;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

constexpr char kTestKey[] = "SOFTWARE\\Velmora\\TzSetupUtils\\Test";
constexpr char kLog[] = "TzSetupUtils.log";

std::string NtAdapter(const std::string& number) { return std::string(kNtClassKey) + "\\" + number; }
std::string Adapter95(const std::string& number) { return std::string(k95ClassKey) + "\\" + number; }
std::string Service(const std::string& name) { return std::string(kServicesKey) + "\\" + name; }

void AddNtAdapter(const std::string& number, const std::string& description, const std::string& service) {
  SetText(NtAdapter(number), "DriverDesc", description);
  if (!service.empty()) SetText(NtAdapter(number) + "\\Ndi", "Service", service);
}

struct Entry {
  DWORD number = 0xDEADBEEF;
  char key[TZSU_SHORT_TEXT];
  char description[TZSU_LONG_TEXT];
  char service[TZSU_SHORT_TEXT];
  char provider[TZSU_SHORT_TEXT];
  char date[TZSU_SHORT_TEXT];
  char version[TZSU_SHORT_TEXT];
  char inf[TZSU_LONG_TEXT];
  char section[TZSU_SHORT_TEXT];
  char hardwareId[TZSU_LONG_TEXT];
  Entry() { std::memset(key, 'X', reinterpret_cast<char*>(this + 1) - key); }
};

TZSU_STATUS Next(TZSU_HANDLE handle, Entry& e) {
  return TzSuNextEntry(handle, &e.number, e.key, e.description, e.service, e.provider, e.date, e.version, e.inf,
                       e.section, e.hardwareId);
}

// Opens and prepares a handle; the test closes it.
TZSU_HANDLE OpenPrepared() {
  TZSU_HANDLE handle = 0;
  EXPECT_EQ(TZSU_OK, TzSuOpen(&handle));
  EXPECT_NE(0u, handle);
  EXPECT_EQ(TZSU_OK, TzSuPrepare(handle));
  return handle;
}

// Every entry an enumeration yields, in order; the status that ended it goes to endStatus.
std::vector<Entry> EnumerateAll(TZSU_HANDLE handle, TZSU_STATUS* endStatus = nullptr) {
  std::vector<Entry> entries;
  EXPECT_EQ(TZSU_OK, TzSuBeginEnum(handle));
  for (int guard = 0; guard < 100; ++guard) {
    Entry e;
    TZSU_STATUS status = Next(handle, e);
    if (status != TZSU_OK) {
      if (endStatus) *endStatus = status;
      break;
    }
    entries.push_back(e);
  }
  EXPECT_EQ(TZSU_OK, TzSuEndEnum(handle));
  return entries;
}

// The tray program's adapter check, step by step as it makes it.
bool TrayAdapterCheck() {
  TZSU_HANDLE handle = 0;
  if (TzSuOpen(&handle) != TZSU_OK) return false;
  if (TzSuPrepare(handle) != TZSU_OK) {
    TzSuClose(&handle);
    return false;
  }
  LONG count = 0;
  if (TzSuGetEntryCount(handle, &count) != TZSU_OK || TzSuBeginEnum(handle) != TZSU_OK) {
    TzSuClose(&handle);
    return false;
  }
  bool found = false;
  for (LONG i = 0; i < count; ++i) {
    Entry e;
    e.description[0] = '\0';
    if (Next(handle, e) != TZSU_OK) break;
    if (std::strstr(e.description, "Velmora Tolvek") != nullptr) {
      found = true;
      break;
    }
  }
  TzSuEndEnum(handle);
  TzSuClose(&handle);
  return found;
}

// The tray program's runtime file sequence; returns the status of the first failing step.
TZSU_STATUS TrayRuntimeFile(const std::string& path) {
  TZSU_HANDLE handle = 0;
  TZSU_STATUS status = TzSuOpen(&handle);
  if (status != TZSU_OK) return status;
  status = TzSuPrepare(handle);
  if (status == TZSU_OK) status = TzSuWriteRuntimeFile(handle, path.c_str(), "");
  TzSuClose(&handle);
  return status;
}

class SetupUtils : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(kNtClassKey);
    DeleteTree(k95ClassKey);
    DeleteTree(Service("TzTolvek"));
    DeleteTree(Service("E100B"));
    DeleteTree(kTestKey);
    ClearLog(kLog);
  }
  void TearDown() override { DeleteTree(kTestKey); }
};

TEST_F(SetupUtils, EnumeratesNumberedNtAdapterKeysInNumericOrder) {
  AddNtAdapter("0010", "WAN Miniport (PPTP)", "PptpMiniport");
  AddNtAdapter("0000", "Intel(R) PRO/100", "E100B");
  AddNtAdapter("0001", "Velmora Tolvek PPPoE Adapter", "TzTolvek");
  SetText(NtAdapter("0001"), "ProviderName", "Velmora");
  SetText(NtAdapter("0001"), "DriverDate", "9-29-1999");
  SetText(NtAdapter("0001"), "DriverVersion", "2.0.0.1");
  SetText(NtAdapter("0001"), "InfPath", "oem3.inf");
  SetText(NtAdapter("0001"), "InfSection", "TOLVEK.ndi");
  SetText(NtAdapter("0001"), "MatchingDeviceId", "root\\velmora_tolvek");
  SetText(NtAdapter("0002"), "ProviderName", "no description");
  // Not adapters: the class key's own subkeys with other names.
  SetText(NtAdapter("Properties"), "DriverDesc", "Velmora Tolvek impostor");
  SetText(NtAdapter("12a"), "DriverDesc", "Velmora Tolvek impostor");

  TZSU_HANDLE handle = OpenPrepared();
  LONG count = 0;
  ASSERT_EQ(TZSU_OK, TzSuGetEntryCount(handle, &count));
  EXPECT_EQ(4, count);
  TZSU_STATUS end = TZSU_OK;
  std::vector<Entry> entries = EnumerateAll(handle, &end);
  EXPECT_EQ(TZSU_E_NO_MORE_ENTRIES, end);
  ASSERT_EQ(4u, entries.size());
  EXPECT_STREQ("0000", entries[0].key);
  EXPECT_EQ(0u, entries[0].number);
  EXPECT_STREQ("Intel(R) PRO/100", entries[0].description);
  EXPECT_STREQ("E100B", entries[0].service);

  const Entry& tolvek = entries[1];
  EXPECT_EQ(1u, tolvek.number);
  EXPECT_STREQ("0001", tolvek.key);
  EXPECT_STREQ("Velmora Tolvek PPPoE Adapter", tolvek.description);
  EXPECT_STREQ("TzTolvek", tolvek.service);
  EXPECT_STREQ("Velmora", tolvek.provider);
  EXPECT_STREQ("9-29-1999", tolvek.date);
  EXPECT_STREQ("2.0.0.1", tolvek.version);
  EXPECT_STREQ("oem3.inf", tolvek.inf);
  EXPECT_STREQ("TOLVEK.ndi", tolvek.section);
  EXPECT_STREQ("root\\velmora_tolvek", tolvek.hardwareId);

  EXPECT_STREQ("0002", entries[2].key);
  EXPECT_STREQ("", entries[2].description);
  EXPECT_STREQ("", entries[2].service);
  EXPECT_STREQ("no description", entries[2].provider);
  EXPECT_STREQ("0010", entries[3].key);
  EXPECT_EQ(10u, entries[3].number);
  EXPECT_EQ(TZSU_OK, TzSuClose(&handle));
  EXPECT_EQ(0u, handle);
  EXPECT_TRUE(TrayAdapterCheck());
}

TEST_F(SetupUtils, NoClassKeyMeansNoEntries) {
  TZSU_HANDLE handle = OpenPrepared();
  LONG count = 7;
  EXPECT_EQ(TZSU_OK, TzSuGetEntryCount(handle, &count));
  EXPECT_EQ(0, count);
  TZSU_STATUS end = TZSU_OK;
  EXPECT_TRUE(EnumerateAll(handle, &end).empty());
  EXPECT_EQ(TZSU_E_NO_MORE_ENTRIES, end);
  TzSuClose(&handle);
  EXPECT_FALSE(TrayAdapterCheck());
}

TEST_F(SetupUtils, TextsAreCutToTheirAreaAndToTheStoredBytes) {
  const std::string long200(200, 'L');
  SetText(NtAdapter("0000"), "DriverDesc", "Velmora Tolvek " + long200);
  SetText(NtAdapter("0000") + "\\Ndi", "Service", std::string(40, 'S'));
  SetText(NtAdapter("0001"), "DriverDesc", std::string(127, 'E'));  // fits exactly
  SetText(NtAdapter("0002"), "DriverDesc", std::string(128, 'F'));  // one too many
  // Stored without a terminating zero (Windows hands back exactly these 14 bytes; Wine adds a
  // zero on reading, so there this case checks only the result).
  SetValue(NtAdapter("0003"), "DriverDesc", REG_SZ, "Velmora Tolvek", 14);
  DWORD number = 5;
  SetValue(NtAdapter("0004"), "DriverDesc", REG_DWORD, &number, sizeof number);
  SetValue(NtAdapter("0005"), "DriverDesc", REG_BINARY, "Velmora Tolvek", 14);
  SetValue(NtAdapter("0006"), "DriverDesc", REG_EXPAND_SZ, "%SystemRoot% adapter", 21);
  SetValue(NtAdapter("0007"), "DriverDesc", REG_SZ, "Velmora\0Tolvek", 15);
  SetValue(NtAdapter("0008"), "DriverDesc", REG_SZ, "", 0);
  SetValue(NtAdapter("0009"), "DriverDesc", REG_MULTI_SZ, "Velmora\0Tolvek\0", 16);

  TZSU_HANDLE handle = OpenPrepared();
  std::vector<Entry> entries = EnumerateAll(handle);
  TzSuClose(&handle);
  ASSERT_EQ(10u, entries.size());
  EXPECT_EQ("Velmora Tolvek " + long200.substr(0, 127 - 15), entries[0].description);
  EXPECT_EQ(std::string(31, 'S'), entries[0].service);
  EXPECT_EQ(std::string(127, 'E'), entries[1].description);
  EXPECT_EQ(std::string(127, 'F'), entries[2].description);
  EXPECT_STREQ("Velmora Tolvek", entries[3].description);
  EXPECT_STREQ("", entries[4].description) << "REG_DWORD is no text";
  EXPECT_STREQ("", entries[5].description) << "REG_BINARY is no text";
  EXPECT_STREQ("%SystemRoot% adapter", entries[6].description);
  EXPECT_STREQ("Velmora", entries[7].description);
  EXPECT_STREQ("", entries[8].description);
  EXPECT_STREQ("", entries[9].description) << "REG_MULTI_SZ is no text";
  EXPECT_TRUE(TrayAdapterCheck()) << "the marker survives the cut";
}

TEST_F(SetupUtils, AreasAreWrittenNoFurtherThanTheirSize) {
  SetText(NtAdapter("0000"), "DriverDesc", std::string(300, 'D'));
  SetText(NtAdapter("0000") + "\\Ndi", "Service", std::string(300, 'S'));
  SetText(NtAdapter("0000"), "InfPath", std::string(300, 'I'));
  // Each area lies at the start of a larger buffer whose tail must stay untouched.
  char big[9][512];
  std::memset(big, '#', sizeof big);
  DWORD number = 0;
  TZSU_HANDLE handle = OpenPrepared();
  ASSERT_EQ(TZSU_OK, TzSuBeginEnum(handle));
  ASSERT_EQ(TZSU_OK, TzSuNextEntry(handle, &number, big[0], big[1], big[2], big[3], big[4], big[5], big[6], big[7],
                                   big[8]));
  TzSuEndEnum(handle);
  TzSuClose(&handle);
  const std::size_t sizes[9] = {32, 128, 32, 32, 32, 32, 128, 32, 128};
  for (int i = 0; i < 9; ++i) {
    for (std::size_t j = sizes[i]; j < sizeof big[i]; ++j) {
      ASSERT_EQ('#', big[i][j]) << "area " << i << " written at byte " << j;
    }
  }
  EXPECT_EQ(127u, std::strlen(big[1]));
  EXPECT_EQ(31u, std::strlen(big[2]));
  EXPECT_EQ(127u, std::strlen(big[6]));
}

TEST_F(SetupUtils, CallsOutOfSequenceAreRefused) {
  AddNtAdapter("0000", "Intel(R) PRO/100", "E100B");
  AddNtAdapter("0001", "Velmora Tolvek PPPoE Adapter", "TzTolvek");
  Entry e;
  LONG count = 0;

  // Null pointers and handles that were never opened.
  EXPECT_EQ(TZSU_E_INVALID_ARG, TzSuOpen(nullptr));
  EXPECT_EQ(TZSU_E_INVALID_ARG, TzSuClose(nullptr));
  for (TZSU_HANDLE bogus : {TZSU_HANDLE(0), TZSU_HANDLE(4711)}) {
    EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuPrepare(bogus));
    EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuGetEntryCount(bogus, &count));
    EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuBeginEnum(bogus));
    EXPECT_EQ(TZSU_E_INVALID_HANDLE, Next(bogus, e));
    EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuEndEnum(bogus));
    EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuWriteRuntimeFile(bogus, "C:\\runtime.txt", ""));
    TZSU_HANDLE copy = bogus;
    EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuClose(&copy));
  }

  // Before ordinal 3 nothing but closing works.
  TZSU_HANDLE handle = 0;
  ASSERT_EQ(TZSU_OK, TzSuOpen(&handle));
  EXPECT_EQ(TZSU_E_NOT_PREPARED, TzSuGetEntryCount(handle, &count));
  EXPECT_EQ(TZSU_E_NOT_PREPARED, TzSuBeginEnum(handle));
  EXPECT_EQ(TZSU_E_NOT_PREPARED, Next(handle, e));
  EXPECT_EQ(TZSU_E_NOT_PREPARED, TzSuWriteRuntimeFile(handle, (WindowsDir() + "x.txt").c_str(), ""));
  EXPECT_EQ(TZSU_E_NOT_ENUMERATING, TzSuEndEnum(handle));
  ASSERT_EQ(TZSU_OK, TzSuPrepare(handle));
  EXPECT_EQ(TZSU_E_INVALID_ARG, TzSuGetEntryCount(handle, nullptr));

  // Fetching needs a begun enumeration, and stops at its end.
  EXPECT_EQ(TZSU_E_NOT_ENUMERATING, Next(handle, e));
  ASSERT_EQ(TZSU_OK, TzSuBeginEnum(handle));
  ASSERT_EQ(TZSU_OK, Next(handle, e));
  EXPECT_STREQ("0000", e.key);
  ASSERT_EQ(TZSU_OK, Next(handle, e));
  Entry untouched;
  EXPECT_EQ(TZSU_E_NO_MORE_ENTRIES, Next(handle, untouched));
  EXPECT_EQ(TZSU_E_NO_MORE_ENTRIES, Next(handle, untouched));
  EXPECT_EQ('X', untouched.description[0]) << "a failed fetch leaves the outputs alone";
  EXPECT_EQ(TZSU_OK, TzSuEndEnum(handle));
  EXPECT_EQ(TZSU_E_NOT_ENUMERATING, Next(handle, e));
  EXPECT_EQ(TZSU_E_NOT_ENUMERATING, TzSuEndEnum(handle));

  // Beginning again starts from the first entry; null outputs are skipped.
  ASSERT_EQ(TZSU_OK, TzSuBeginEnum(handle));
  char description[TZSU_LONG_TEXT] = "";
  EXPECT_EQ(TZSU_OK, TzSuNextEntry(handle, nullptr, nullptr, description, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr));
  EXPECT_STREQ("Intel(R) PRO/100", description);

  // A second handle has an enumeration of its own.
  TZSU_HANDLE other = OpenPrepared();
  EXPECT_EQ(TZSU_E_NOT_ENUMERATING, Next(other, e));
  ASSERT_EQ(TZSU_OK, TzSuBeginEnum(other));
  ASSERT_EQ(TZSU_OK, Next(other, e));
  EXPECT_STREQ("0000", e.key);
  ASSERT_EQ(TZSU_OK, Next(handle, e));
  EXPECT_STREQ("0001", e.key);
  EXPECT_EQ(TZSU_OK, TzSuClose(&other));

  // A closed handle is dead, and closing clears the caller's variable.
  TZSU_HANDLE closed = handle;
  EXPECT_EQ(TZSU_OK, TzSuClose(&handle));
  EXPECT_EQ(0u, handle);
  EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuPrepare(closed));
  EXPECT_EQ(TZSU_E_INVALID_HANDLE, Next(closed, e));
  EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuClose(&closed));
}

TEST_F(SetupUtils, HandleTableIsBoundedAndHandlesAreNotReused) {
  std::vector<TZSU_HANDLE> open;
  TZSU_STATUS status = TZSU_OK;
  for (int i = 0; i < 100 && status == TZSU_OK; ++i) {
    TZSU_HANDLE handle = 0;
    status = TzSuOpen(&handle);
    if (status == TZSU_OK) {
      open.push_back(handle);
    } else {
      EXPECT_EQ(0u, handle) << "a failed open leaves the handle alone";
    }
  }
  EXPECT_EQ(TZSU_E_TOO_MANY_HANDLES, status);
  EXPECT_EQ(16u, open.size());
  std::vector<TZSU_HANDLE> old = open;
  for (TZSU_HANDLE& handle : open) EXPECT_EQ(TZSU_OK, TzSuClose(&handle));
  TZSU_HANDLE fresh = 0;
  ASSERT_EQ(TZSU_OK, TzSuOpen(&fresh));
  for (TZSU_HANDLE h : old) EXPECT_NE(h, fresh);
  EXPECT_EQ(TZSU_OK, TzSuClose(&fresh));
}

TEST_F(SetupUtils, AdapterRemovedDuringEnumerationIsPassedOver) {
  AddNtAdapter("0000", "First", "");
  AddNtAdapter("0001", "Second", "");
  AddNtAdapter("0002", "Third", "");
  TZSU_HANDLE handle = OpenPrepared();
  ASSERT_EQ(TZSU_OK, TzSuBeginEnum(handle));
  DeleteTree(NtAdapter("0001"));
  Entry a, b, c;
  ASSERT_EQ(TZSU_OK, Next(handle, a));
  ASSERT_EQ(TZSU_OK, Next(handle, b));
  EXPECT_STREQ("First", a.description);
  EXPECT_STREQ("Third", b.description);
  EXPECT_EQ(TZSU_E_NO_MORE_ENTRIES, Next(handle, c));
  TzSuEndEnum(handle);
  TzSuClose(&handle);
}

TEST_F(SetupUtils, RuntimeFileDescribesTheMachineAndIsReplacedEachTime) {
  AddNtAdapter("0000", "Intel(R) PRO/100", "E100B");
  AddNtAdapter("0001", "Velmora Tolvek PPPoE\r\nAdapter", "TzTolvek");
  SetText(NtAdapter("0001"), "ProviderName", "Velmora");
  const std::string path = WindowsDir() + "Tessory_Runtime.txt";
  DeleteFileA(path.c_str());
  SYSTEMTIME now;
  GetLocalTime(&now);
  ASSERT_EQ(TZSU_OK, TrayRuntimeFile(path));

  std::string text = ReadFileText(path);
  std::vector<std::string> lines = SplitLines(text);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ("\r\n", text.substr(text.size() - 2));
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_EQ('\r', text[i - 1]) << "lines end in CR LF, at byte " << i;
    }
  }
  ASSERT_GE(lines.size(), 8u) << text;
  EXPECT_EQ("Tessory runtime information", lines[0]);
  EXPECT_THAT(lines[1], StartsWith("Product: Velmora Tessory "));
  char year[16];
  std::snprintf(year, sizeof year, "Written: %04u-", now.wYear);
  EXPECT_THAT(lines[2], StartsWith(year));
  EXPECT_EQ(std::string("Written: 2000-01-01 00:00:00").size(), lines[2].size()) << lines[2];
  EXPECT_THAT(lines[3], StartsWith("Platform: Windows NT "));
  EXPECT_EQ("Windows directory: " + WindowsDir(), lines[4]);
  EXPECT_EQ("Network adapter entries: 2", lines[5]);
  EXPECT_EQ("Adapter 0000: Intel(R) PRO/100; service E100B", lines[6]);
  EXPECT_EQ("Adapter 0001: Velmora Tolvek PPPoE  Adapter; service TzTolvek; provider Velmora", lines[7])
      << "line breaks inside a registry text stay on one line";
  EXPECT_THAT(text, HasSubstr("\r\nVelmora Tolvek adapter: installed (0001)\r\n"));
  EXPECT_THAT(text, Not(HasSubstr("Comment:")));

  // Written anew: the adapter is gone, a comment is given.
  DeleteTree(NtAdapter("0001"));
  TZSU_HANDLE handle = OpenPrepared();
  ASSERT_EQ(TZSU_OK, TzSuWriteRuntimeFile(handle, path.c_str(), "second start"));
  text = ReadFileText(path);
  EXPECT_EQ(0u, text.find("Tessory runtime information"));
  EXPECT_EQ(std::string::npos, text.find("Tessory runtime information", 1)) << "replaced, not appended";
  EXPECT_THAT(text, AllOf(HasSubstr("\r\nNetwork adapter entries: 1\r\n"),
                          HasSubstr("\r\nVelmora Tolvek adapter: not installed\r\n"),
                          HasSubstr("\r\nComment: second start\r\n")));

  // A null comment counts as empty; bad paths are refused.
  EXPECT_EQ(TZSU_OK, TzSuWriteRuntimeFile(handle, path.c_str(), nullptr));
  EXPECT_EQ(TZSU_E_INVALID_ARG, TzSuWriteRuntimeFile(handle, "", ""));
  EXPECT_EQ(TZSU_E_INVALID_ARG, TzSuWriteRuntimeFile(handle, nullptr, ""));
  const std::string noFolder = WindowsDir() + "no such folder\\Tessory_Runtime.txt";
  EXPECT_EQ(TZSU_E_FILE, TzSuWriteRuntimeFile(handle, noFolder.c_str(), ""));
  TzSuClose(&handle);
}

TEST_F(SetupUtils, MtuIsStoredForTheTolvekAdapterService) {
  AddNtAdapter("0000", "Intel(R) PRO/100", "E100B");
  AddNtAdapter("0001", "Velmora Tolvek PPPoE Adapter", "TzTolvek");
  CreateKey(Service("E100B"));
  CreateKey(Service("TzTolvek"));
  const std::string tcpip = Service("TzTolvek") + "\\Parameters\\Tcpip";

  EXPECT_EQ(TZSU_OK, TzSuAdjustNetworkSettings(1400));
  EXPECT_EQ(1400, QueryDword(tcpip, "MTU"));
  EXPECT_FALSE(KeyExists(Service("E100B") + "\\Parameters\\Tcpip")) << "other adapters keep theirs";
  EXPECT_EQ(-1, QueryDword(std::string(kServicesKey) + "\\Tcpip\\Parameters", "MTU")) << "no machine-wide MTU";

  EXPECT_EQ(TZSU_OK, TzSuAdjustNetworkSettings(1492));
  EXPECT_EQ(1492, QueryDword(tcpip, "MTU"));
  for (DWORD bad : {DWORD(0), DWORD(67), DWORD(65536), DWORD(0xFFFFFFFF)}) {
    EXPECT_EQ(TZSU_E_INVALID_ARG, TzSuAdjustNetworkSettings(bad)) << bad;
  }
  EXPECT_EQ(1492, QueryDword(tcpip, "MTU"));
  EXPECT_EQ(TZSU_OK, TzSuAdjustNetworkSettings(68));
  EXPECT_EQ(68, QueryDword(tcpip, "MTU"));
}

TEST_F(SetupUtils, MtuNeedsAnInstalledTolvekService) {
  const std::string globalTcpip = std::string(kServicesKey) + "\\Tcpip\\Parameters";
  EXPECT_EQ(TZSU_E_NO_ADAPTER, TzSuAdjustNetworkSettings(1400)) << "no adapters at all";

  // Described in other letter case: not the adapter.
  AddNtAdapter("0000", "velmora tolvek PPPoE Adapter", "E100B");
  CreateKey(Service("E100B"));
  EXPECT_EQ(TZSU_E_NO_ADAPTER, TzSuAdjustNetworkSettings(1400));
  EXPECT_FALSE(KeyExists(Service("E100B") + "\\Parameters"));

  // The adapter is there, its service is not: no half service is created.
  AddNtAdapter("0001", "Velmora Tolvek PPPoE Adapter", "TzTolvek");
  EXPECT_EQ(TZSU_E_NO_ADAPTER, TzSuAdjustNetworkSettings(1400));
  EXPECT_FALSE(KeyExists(Service("TzTolvek")));

  // A service name that is a path leads nowhere else.
  SetText(NtAdapter("0001") + "\\Ndi", "Service", "Tcpip\\Parameters");
  EXPECT_EQ(TZSU_E_NO_ADAPTER, TzSuAdjustNetworkSettings(1400));
  EXPECT_FALSE(KeyExists(globalTcpip + "\\Parameters"));
  EXPECT_EQ(-1, QueryDword(globalTcpip, "MTU"));
}

TEST_F(SetupUtils, EveryCallIsRecordedInOrder) {
  AddNtAdapter("0000", "Intel(R) PRO/100", "E100B");
  AddNtAdapter("0001", "Velmora Tolvek PPPoE Adapter", "TzTolvek");
  CreateKey(Service("TzTolvek"));
  ASSERT_TRUE(TrayAdapterCheck());
  const std::string path = WindowsDir() + "Tessory_Runtime.txt";
  ASSERT_EQ(TZSU_OK, TrayRuntimeFile(path));
  EXPECT_EQ(TZSU_OK, TzSuAdjustNetworkSettings(1400));
  EXPECT_EQ(TZSU_E_INVALID_HANDLE, TzSuPrepare(4711));

  std::vector<std::string> lines = LogLines(kLog);
  ASSERT_EQ(14u, lines.size());
  // Handles differ from run to run: take them from the open records.
  ASSERT_THAT(lines[0], StartsWith("1() -> 0 handle="));
  const std::string h1 = lines[0].substr(std::strlen("1() -> 0 handle="));
  ASSERT_THAT(lines[8], StartsWith("1() -> 0 handle="));
  const std::string h2 = lines[8].substr(std::strlen("1() -> 0 handle="));
  EXPECT_THAT(lines, ElementsAre(lines[0], "3(" + h1 + ") -> 0", "5(" + h1 + ") -> 0 count=2", "6(" + h1 + ") -> 0",
                                 "7(" + h1 + ") -> 0 \"Intel(R) PRO/100\"",
                                 "7(" + h1 + ") -> 0 \"Velmora Tolvek PPPoE Adapter\"", "8(" + h1 + ") -> 0",
                                 "2(" + h1 + ") -> 0", lines[8], "3(" + h2 + ") -> 0",
                                 "11(" + h2 + ", \"" + path + "\", \"\") -> 0", "2(" + h2 + ") -> 0", "34(1400) -> 0",
                                 "3(4711) -> 2"));
}

TEST_F(SetupUtils, FailOrdinalMakesExactlyThatOrdinalFail) {
  AddNtAdapter("0001", "Velmora Tolvek PPPoE Adapter", "TzTolvek");
  CreateKey(Service("TzTolvek"));
  const std::string path = WindowsDir() + "Tessory_Runtime.txt";
  ASSERT_TRUE(TrayAdapterCheck());

  struct Case {
    DWORD ordinal;
    bool adapterFound;     // what the tray's adapter check then concludes
    bool runtimeWritten;   // whether the runtime sequence succeeds
    TZSU_STATUS mtu;
  };
  const Case cases[] = {
      {1, false, false, TZSU_OK}, {2, true, true, TZSU_OK},  {3, false, false, TZSU_OK},
      {5, false, true, TZSU_OK},  {6, false, true, TZSU_OK}, {7, false, true, TZSU_OK},
      {8, true, true, TZSU_OK},   {11, true, false, TZSU_OK}, {34, true, true, TZSU_E_INJECTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("FailOrdinal=" + std::to_string(c.ordinal));
    SetDword(kTestKey, "FailOrdinal", c.ordinal);
    ClearLog(kLog);
    EXPECT_EQ(c.adapterFound, TrayAdapterCheck());
    EXPECT_EQ(c.runtimeWritten, TrayRuntimeFile(path) == TZSU_OK);
    EXPECT_EQ(c.mtu, TzSuAdjustNetworkSettings(1400));
    std::string prefix = std::to_string(c.ordinal) + "(";
    bool sawInjected = false;
    for (const std::string& line : LogLines(kLog)) {
      if (line.rfind(prefix, 0) == 0) {
        EXPECT_THAT(line, HasSubstr(" -> 99")) << "every call of the failing ordinal fails";
        sawInjected = true;
      } else {
        EXPECT_THAT(line, Not(HasSubstr(" -> 99")));
      }
    }
    EXPECT_TRUE(sawInjected);
    // A failing close leaves handles open: close whatever was opened.
    DeleteTree(kTestKey);
    for (const std::string& line : LogLines(kLog)) {
      if (line.rfind("1() -> 0 handle=", 0) != 0) continue;
      TZSU_HANDLE leaked = std::stoul(line.substr(std::strlen("1() -> 0 handle=")));
      TzSuClose(&leaked);
    }
  }

  // A failing open leaves the preset handle alone.
  SetDword(kTestKey, "FailOrdinal", 1);
  TZSU_HANDLE handle = 0;
  EXPECT_EQ(TZSU_E_INJECTED, TzSuOpen(&handle));
  EXPECT_EQ(0u, handle);

  // 0, a text or no switch at all: nothing fails.
  SetDword(kTestKey, "FailOrdinal", 0);
  EXPECT_TRUE(TrayAdapterCheck());
  SetText(kTestKey, "FailOrdinal", "7");
  EXPECT_TRUE(TrayAdapterCheck());
  DeleteTree(kTestKey);
  EXPECT_TRUE(TrayAdapterCheck());
  EXPECT_EQ(TZSU_OK, TrayRuntimeFile(path));
}

// Windows 95/98 keep their adapters elsewhere. The probe program runs under the Windows
// version that Wine reports to it by name, so the library takes the platform's own road.
TEST_F(SetupUtils, Windows98AndNt4EachReadTheirOwnAdapterKeys) {
  SetText(Adapter95("0000"), "DriverDesc", "Dial-Up Adapter");
  SetText(Adapter95("0000"), "DeviceVxDs", "pppmac.vxd");
  SetText(Adapter95("0001"), "DriverDesc", "Velmora Tolvek PPPoE Adapter");
  SetText(Adapter95("0001"), "DeviceVxDs", "tolvek.sys");
  SetText(Adapter95("0001"), "ProviderName", "Velmora");
  SetText(Adapter95("0001") + "\\Ndi", "DeviceID", "TOLVEK");
  SetValue(Adapter95("0002"), "DriverDesc", REG_SZ, "NoZero", 6);
  AddNtAdapter("0000", "NT adapter", "E100B");
  CreateKey(Service("E100B"));
  const std::string path = WindowsDir() + "Tessory_Runtime98.txt";

  SetProgramWindowsVersion("tzsu_probe.exe", "win98");
  RunResult r = RunProgram("tzsu_probe.exe", "enum mtu=1400 \"runtime=" + path + "\"");
  ASSERT_EQ(0u, r.exitCode) << r.output;
  EXPECT_THAT(SplitLines(r.output), ElementsAre("platform=1", "open=0", "prepare=0", "count-status=0", "count=3", "begin=0",
                               "entry=0|0000|Dial-Up Adapter|pppmac.vxd||||||",
                               "entry=1|0001|Velmora Tolvek PPPoE Adapter|tolvek.sys|Velmora|||||TOLVEK",
                               "entry=2|0002|NoZero|||||||", "next=6", "end=0", "close=0",
                               "mtu=7", "runtime=0"))
      << r.output;
  std::string text = ReadFileText(path);
  EXPECT_THAT(text, HasSubstr("\r\nPlatform: Windows 95/98 4.10 build "));
  EXPECT_THAT(text, HasSubstr("\r\nAdapter 0001: Velmora Tolvek PPPoE Adapter; service tolvek.sys; provider Velmora\r\n"));
  EXPECT_FALSE(KeyExists(Service("E100B") + "\\Parameters")) << "34 changes nothing on Windows 98";

  SetProgramWindowsVersion("tzsu_probe.exe", "win95");
  r = RunProgram("tzsu_probe.exe", "enum");
  EXPECT_THAT(SplitLines(r.output), AllOf(Contains("platform=1"), Contains("count=3")));

  SetProgramWindowsVersion("tzsu_probe.exe", "nt40");
  r = RunProgram("tzsu_probe.exe", "enum mtu=1400");
  EXPECT_THAT(SplitLines(r.output),
              ElementsAre("platform=2", "open=0", "prepare=0", "count-status=0", "count=1", "begin=0",
                          "entry=0|0000|NT adapter|E100B||||||", "next=6", "end=0", "close=0", "mtu=8"))
      << r.output;

  // Neither 95/98 nor NT (Win32s): the handle cannot be prepared.
  SetProgramWindowsVersion("tzsu_probe.exe", "win31");
  r = RunProgram("tzsu_probe.exe", "enum mtu=1400");
  EXPECT_THAT(SplitLines(r.output), AllOf(Contains("platform=0"), Contains("prepare=7"), Contains("count-status=4"),
                                          Contains("mtu=7")))
      << r.output;
}

}  // namespace
