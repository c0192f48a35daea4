// The RAS simulator: devices, phonebook entries, stored dial parameters, damaged state files.
#include "RasSimSupport.h"

namespace {

using namespace rassimtest;

TEST_F(RasSim, EnumeratesDevicesAndChecksRecordSizes) {
  DWORD cb = 0, count = 0;
  EXPECT_EQ(603u, g_ras.EnumDevices(nullptr, &cb, &count));
  EXPECT_EQ(2u * 152, cb);
  EXPECT_EQ(2u, count);

  std::vector<RASDEVINFOA_400> devs(2);
  devs[0].dwSize = 152;
  DWORD small = 152;
  EXPECT_EQ(603u, g_ras.EnumDevices(reinterpret_cast<LPRASDEVINFOA>(devs.data()), &small, &count));
  EXPECT_EQ(304u, small);
  ASSERT_EQ(0u, g_ras.EnumDevices(reinterpret_cast<LPRASDEVINFOA>(devs.data()), &cb, &count));
  EXPECT_STREQ("Standard Modem", devs[0].szDeviceName);
  EXPECT_STREQ("modem", devs[0].szDeviceType);
  EXPECT_STREQ("Velmora PPPoE Adapter", devs[1].szDeviceName);
  EXPECT_STREQ("vpn", devs[1].szDeviceType);
  EXPECT_EQ(152u, devs[1].dwSize);

  devs[0].dwSize = 100;
  EXPECT_EQ(632u, g_ras.EnumDevices(reinterpret_cast<LPRASDEVINFOA>(devs.data()), &cb, &count));
  EXPECT_EQ(87u, g_ras.EnumDevices(nullptr, nullptr, &count));
  EXPECT_TRUE(Contains(LogLines("RasEnumDevicesA").front(), "buffer=no dwSize=152 cb=0 cbOut=304 devices=2 rc=603"))
      << LogLines("RasEnumDevicesA").front();

  // No configuration file: no devices, and the first call already succeeds.
  DeleteFileA(m_config.c_str());
  cb = 99;
  EXPECT_EQ(0u, g_ras.EnumDevices(nullptr, &cb, &count));
  EXPECT_EQ(0u, cb);
  EXPECT_EQ(0u, count);
}

TEST_F(RasSim, ValidatesNamesAndStoresEveryEntryField) {
  EXPECT_EQ(0u, g_ras.ValidateEntryName(nullptr, kEntry));
  for (const std::string& bad : std::vector<std::string>{"", "a|b", "x:y", "a/b", ".hidden", "   ", std::string(257, 'n')})
    EXPECT_EQ(123u, g_ras.ValidateEntryName(nullptr, bad.c_str())) << bad;
  EXPECT_EQ(87u, g_ras.ValidateEntryName(nullptr, nullptr));

  RASENTRYA_400 e = EntryTemplate();
  e.dwSize = 1000;
  EXPECT_EQ(632u, g_ras.SetEntryProperties(nullptr, kEntry, reinterpret_cast<LPRASENTRYA>(&e), sizeof e, nullptr, 0));
  e.dwSize = sizeof e;
  EXPECT_EQ(610u, g_ras.SetEntryProperties(nullptr, kEntry, reinterpret_cast<LPRASENTRYA>(&e), 1000, nullptr, 0));
  e.szDeviceName[0] = '\0';
  EXPECT_EQ(87u, g_ras.SetEntryProperties(nullptr, kEntry, reinterpret_cast<LPRASENTRYA>(&e), sizeof e, nullptr, 0));
  EXPECT_EQ(0u, g_ras.ValidateEntryName(nullptr, kEntry)) << "refused records write nothing";

  CreateEntry();
  EXPECT_EQ(183u, g_ras.ValidateEntryName(nullptr, kEntry));
  EXPECT_EQ(183u, g_ras.ValidateEntryName(nullptr, "TESSORY connection"));

  // Read back: the template and nothing else, every other field zero or empty.
  RASENTRYA_400 back;
  memset(&back, 0xCC, sizeof back);
  back.dwSize = sizeof back;
  DWORD size = sizeof back;
  ASSERT_EQ(0u, g_ras.GetEntryProperties(nullptr, kEntry, reinterpret_cast<LPRASENTRYA>(&back), &size, nullptr, nullptr));
  RASENTRYA_400 want = EntryTemplate();
  EXPECT_EQ(0, memcmp(&want, &back, sizeof want));
  EXPECT_EQ(0x10u, back.dwfOptions);
  EXPECT_EQ(4u, back.dwfNetProtocols);
  EXPECT_EQ(1u, back.dwFramingProtocol);
  EXPECT_STREQ("1.1.1.1", back.szLocalPhoneNumber);
  EXPECT_STREQ("vpn", back.szDeviceType);
  EXPECT_STREQ("Velmora PPPoE Adapter", back.szDeviceName);
  size = 0;
  EXPECT_EQ(603u, g_ras.GetEntryProperties(nullptr, kEntry, nullptr, &size, nullptr, nullptr));
  EXPECT_GE(size, 1768u);
  EXPECT_EQ(623u, g_ras.GetEntryProperties(nullptr, "Nobody", reinterpret_cast<LPRASENTRYA>(&back), &size, nullptr,
                                           nullptr));

  std::string pb = ReadText(StateFile(RASSIM_PHONEBOOK_FILE));
  for (const char* line : {"[Tessory Connection]\n", "\ndwfOptions=16\n", "\nszDeviceName=Velmora PPPoE Adapter\n",
                           "\nszLocalPhoneNumber=1.1.1.1\n", "\nipaddrDns=0.0.0.0\n", "\nszScript=\n"})
    EXPECT_TRUE(Contains(pb, line)) << line << " in\n" << pb;
  EXPECT_TRUE(Contains(LogLines("RasSetEntryPropertiesA").back(),
                       "entry=\"Tessory Connection\" dwSize=1768 size=1768 devinfo=0 rc=0"));

  // MinGW's larger layout, alternate numbers after the record and a device block also keep.
  std::vector<BYTE> big(sizeof(RASENTRYA) + 16);
  RASENTRYA_400 head = EntryTemplate();
  head.dwSize = sizeof(RASENTRYA);
  head.dwAlternateOffset = sizeof(RASENTRYA);
  memcpy(big.data(), &head, sizeof head);
  const char alternates[] = "555-1\0" "555-2\0"; // and the empty string that ends the list
  memcpy(big.data() + sizeof(RASENTRYA), alternates, sizeof alternates);
  BYTE devinfo[3] = {1, 0, 0xFF};
  ASSERT_EQ(0u, g_ras.SetEntryProperties(nullptr, "Other", reinterpret_cast<LPRASENTRYA>(big.data()),
                                         static_cast<DWORD>(big.size()), devinfo, sizeof devinfo));
  std::vector<BYTE> got(big.size() + 64);
  memcpy(got.data(), &head, sizeof(DWORD));
  size = static_cast<DWORD>(got.size());
  BYTE devBack[8] = {};
  DWORD devSize = sizeof devBack;
  ASSERT_EQ(0u, g_ras.GetEntryProperties(nullptr, "Other", reinterpret_cast<LPRASENTRYA>(got.data()), &size, devBack,
                                         &devSize));
  EXPECT_EQ(sizeof(RASENTRYA) + sizeof alternates, size);
  EXPECT_EQ(0, memcmp(got.data() + sizeof(RASENTRYA), alternates, sizeof alternates));
  EXPECT_EQ(3u, devSize);
  EXPECT_EQ(0, memcmp(devinfo, devBack, 3));
}

TEST_F(RasSim, DialParamsRoundTripHonoursRemovePassword) {
  RASDIALPARAMSA_400 p = DialParams("alice", "secret");
  BOOL has = TRUE;
  auto params = [&] { return reinterpret_cast<LPRASDIALPARAMSA>(&p); };
  EXPECT_EQ(623u, g_ras.GetEntryDialParams(nullptr, params(), &has));
  EXPECT_EQ(623u, g_ras.SetEntryDialParams(nullptr, params(), FALSE));
  CreateEntry();

  ASSERT_EQ(0u, g_ras.GetEntryDialParams(nullptr, params(), &has));
  EXPECT_FALSE(has);
  EXPECT_STREQ("", p.szUserName);

  p = DialParams("alice", "secret");
  ASSERT_EQ(0u, g_ras.SetEntryDialParams(nullptr, params(), FALSE));
  p = DialParams("", "");
  ASSERT_EQ(0u, g_ras.GetEntryDialParams(nullptr, params(), &has));
  EXPECT_TRUE(has);
  EXPECT_STREQ("alice", p.szUserName);
  EXPECT_STREQ("secret", p.szPassword);
  EXPECT_STREQ("", p.szDomain);

  p = DialParams("alice", "typed but not saved");
  ASSERT_EQ(0u, g_ras.SetEntryDialParams(nullptr, params(), TRUE));
  p = DialParams("", "");
  ASSERT_EQ(0u, g_ras.GetEntryDialParams(nullptr, params(), &has));
  EXPECT_FALSE(has);
  EXPECT_STREQ("alice", p.szUserName);
  EXPECT_STREQ("", p.szPassword);

  p.dwSize = 1000;
  EXPECT_EQ(632u, g_ras.SetEntryDialParams(nullptr, params(), FALSE));
  EXPECT_EQ(632u, g_ras.GetEntryDialParams(nullptr, params(), &has));

  std::vector<std::string> sets = LogLines("RasSetEntryDialParamsA");
  ASSERT_EQ(4u, sets.size());
  EXPECT_TRUE(Contains(sets[1], "entry=\"Tessory Connection\" dwSize=1052 user=\"alice\" domain=\"\" remove=0 "
                                "password=stored rc=0")) << sets[1];
  EXPECT_TRUE(Contains(sets[2], "remove=1 password=empty rc=0")) << sets[2];
  std::string log = ReadText(StateFile(RASSIM_CALL_LOG_FILE));
  EXPECT_FALSE(Contains(log, "secret"));
  EXPECT_FALSE(Contains(log, "typed but"));
}

TEST_F(RasSim, MalformedFilesAreSurvived) {
  const char junkBytes[] = "\x00\xff[\n=\n[broken\nszDeviceName\n";
  std::string junk(junkBytes, sizeof junkBytes - 1);
  WriteText(StateFile(RASSIM_PHONEBOOK_FILE),
            junk + "[ok]\ndwfOptions=zzz\nipaddr=300.1.2.3\nszLocalPhoneNumber=" + std::string(5000, 'x') + "\n" +
                std::string(3 * 1024 * 1024, 'y'));
  EXPECT_EQ(183u, g_ras.ValidateEntryName(nullptr, "ok"));
  RASENTRYA_400 e = {};
  e.dwSize = sizeof e;
  DWORD size = sizeof e;
  ASSERT_EQ(0u, g_ras.GetEntryProperties(nullptr, "ok", reinterpret_cast<LPRASENTRYA>(&e), &size, nullptr, nullptr));
  EXPECT_EQ(0u, e.dwfOptions);
  EXPECT_EQ(0, e.ipaddr.a);
  EXPECT_EQ(std::string(128, 'x'), e.szLocalPhoneNumber);

  // Unterminated texts in a record are refused, not read past their field.
  RASDIALPARAMSA_400 p = DialParams("alice", "secret", "ok");
  memset(p.szUserName, 'u', sizeof p.szUserName);
  EXPECT_EQ(87u, g_ras.SetEntryDialParams(nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&p), FALSE));

  WriteText(m_config, "[Devices]\nCount=-5\nDevice1=" + std::string(300, 'd') + "\nDevice2=|\n[Timing]\nStepMs=abc\n");
  std::vector<RASDEVINFOA_400> devs(2);
  devs[0].dwSize = 152;
  DWORD cb = 2 * 152, count = 0;
  ASSERT_EQ(0u, g_ras.EnumDevices(reinterpret_cast<LPRASDEVINFOA>(devs.data()), &cb, &count));
  EXPECT_EQ(2u, count);
  EXPECT_EQ(std::string(128, 'd'), devs[0].szDeviceName);
  EXPECT_STREQ("modem", devs[0].szDeviceType);

  // A connection whose time is up is gone; odd sections are ignored.
  ULONGLONG past = 116444736000000000ull; // 1970
  WriteText(StateFile(RASSIM_CONNECTIONS_FILE),
            "[0x00005000]\nEntry=Old\nDropAt=" + std::to_string(past) + "\n[0x00005004]\nEntry=Live\nDropAt=0\n"
            "[nonsense]\nEntry=X\n[0xZZ]\nEntry=Y\n");
  std::vector<RASCONNA_400> conns = Connections(g_ras);
  ASSERT_EQ(1u, conns.size());
  EXPECT_STREQ("Live", conns[0].szEntryName);
  EXPECT_FALSE(Contains(ReadText(StateFile(RASSIM_CONNECTIONS_FILE)), "Old"));
}

}  // namespace
