// Devices, phonebook entries and stored dial parameters. The phonebook argument is ignored,
// as on Windows 95: every call works on the simulator's one default phonebook.
#include "SimCommon.h"
#include "SimConfig.h"

#include <cstdio>

using namespace SimCommon;

namespace {

enum class Kind { Dword, Text, IpAddr };
struct EntryField {
  const char* key;
  Kind kind;
  size_t offset;
  size_t size;
};

#define RASSIM_FIELD(name, kind) {#name, kind, offsetof(RASENTRYA_400, name), sizeof(RASENTRYA_400::name)}
// Every field of the record but dwSize and dwAlternateOffset, which describe the buffer.
const EntryField kEntryFields[] = {
    RASSIM_FIELD(dwfOptions, Kind::Dword),      RASSIM_FIELD(dwCountryID, Kind::Dword),
    RASSIM_FIELD(dwCountryCode, Kind::Dword),   RASSIM_FIELD(szAreaCode, Kind::Text),
    RASSIM_FIELD(szLocalPhoneNumber, Kind::Text), RASSIM_FIELD(ipaddr, Kind::IpAddr),
    RASSIM_FIELD(ipaddrDns, Kind::IpAddr),      RASSIM_FIELD(ipaddrDnsAlt, Kind::IpAddr),
    RASSIM_FIELD(ipaddrWins, Kind::IpAddr),     RASSIM_FIELD(ipaddrWinsAlt, Kind::IpAddr),
    RASSIM_FIELD(dwFrameSize, Kind::Dword),     RASSIM_FIELD(dwfNetProtocols, Kind::Dword),
    RASSIM_FIELD(dwFramingProtocol, Kind::Dword), RASSIM_FIELD(szScript, Kind::Text),
    RASSIM_FIELD(szAutodialDll, Kind::Text),    RASSIM_FIELD(szAutodialFunc, Kind::Text),
    RASSIM_FIELD(szDeviceType, Kind::Text),     RASSIM_FIELD(szDeviceName, Kind::Text),
    RASSIM_FIELD(szX25PadType, Kind::Text),     RASSIM_FIELD(szX25Address, Kind::Text),
    RASSIM_FIELD(szX25Facilities, Kind::Text),  RASSIM_FIELD(szX25UserData, Kind::Text),
    RASSIM_FIELD(dwChannels, Kind::Dword),      RASSIM_FIELD(dwReserved1, Kind::Dword),
    RASSIM_FIELD(dwReserved2, Kind::Dword),
};
#undef RASSIM_FIELD

constexpr size_t kMaxDeviceInfo = 16 * 1024;
constexpr size_t kMaxAlternates = 16 * 1024;

bool ValidRasEntrySize(DWORD size) { return size == sizeof(RASENTRYA_400) || size == sizeof(RASENTRYA); }
bool ValidDialParamsSize(DWORD size) { return size == sizeof(RASDIALPARAMSA_400) || size == sizeof(RASDIALPARAMSA); }
bool ValidDevInfoSize(DWORD size) { return size == sizeof(RASDEVINFOA_400) || size == sizeof(RASDEVINFOA); }

// The rules of RasValidateEntryName: 1 to 256 characters, at least one letter or digit, none of
// | > < ? * \ / :, and no leading period.
bool ValidEntryName(LPCSTR name, std::string* out) {
  size_t len = strnlen(name, RAS_MaxEntryName + 1);
  if (len == 0 || len > RAS_MaxEntryName || name[0] == '.') return false;
  bool alnum = false;
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (strchr("|><?*\\/:", c)) return false;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80) alnum = true;
  }
  out->assign(name, len);
  return alnum;
}

std::string HexBytes(const BYTE* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::string BytesFromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size() && out.size() < kMaxDeviceInfo; i += 2) {
    long long v = ParseNumber("0x" + hex.substr(i, 2), -1);
    if (v < 0) break;
    out += static_cast<char>(v);
  }
  return out;
}

// Record -> phonebook section. False when a text field has no terminator.
bool EntryToSection(const RASENTRYA_400& e, IniFile::Section& s) {
  const BYTE* base = reinterpret_cast<const BYTE*>(&e);
  for (const EntryField& f : kEntryFields) {
    std::string value;
    if (f.kind == Kind::Text) {
      if (!ReadField(reinterpret_cast<const char*>(base + f.offset), f.size, &value)) return false;
    } else if (f.kind == Kind::Dword) {
      DWORD v;
      memcpy(&v, base + f.offset, sizeof v);
      value = std::to_string(v);
    } else {
      const BYTE* ip = base + f.offset;
      char buf[32];
      snprintf(buf, sizeof buf, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
      value = buf;
    }
    s.entries.push_back({f.key, value});
  }
  return true;
}

// Phonebook section -> record; malformed values read as zero or are cut to the field.
void SectionToEntry(const IniFile::Section& s, RASENTRYA_400& e) {
  BYTE* base = reinterpret_cast<BYTE*>(&e);
  for (const EntryField& f : kEntryFields) {
    const IniFile::Entry* v = s.Find(f.key);
    std::string text = v ? v->value : std::string();
    if (f.kind == Kind::Text) {
      WriteField(reinterpret_cast<char*>(base + f.offset), f.size, text);
    } else if (f.kind == Kind::Dword) {
      long long n = ParseNumber(text, 0);
      DWORD d = (n >= 0 && n <= 0xFFFFFFFFll) ? static_cast<DWORD>(n) : 0;
      memcpy(base + f.offset, &d, sizeof d);
    } else {
      unsigned a = 0, b = 0, c = 0, d = 0;
      if (sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4 || a > 255 || b > 255 || c > 255 || d > 255)
        a = b = c = d = 0;
      BYTE ip[4] = {static_cast<BYTE>(a), static_cast<BYTE>(b), static_cast<BYTE>(c), static_cast<BYTE>(d)};
      memcpy(base + f.offset, ip, 4);
    }
  }
}

// The alternate numbers that follow the record: strings ending in an empty one, all inside the
// caller's buffer. Kept as the raw list, each number followed by its zero.
bool ReadAlternates(const BYTE* buffer, DWORD bufferSize, DWORD recordSize, DWORD offset, std::string* out) {
  out->clear();
  if (offset == 0) return true;
  if (offset < recordSize || offset >= bufferSize) return false;
  const char* p = reinterpret_cast<const char*>(buffer + offset);
  size_t left = bufferSize - offset;
  for (;;) {
    const void* nul = memchr(p, 0, left);
    if (!nul) return false;
    size_t len = static_cast<const char*>(nul) - p;
    if (len == 0) return out->size() <= kMaxAlternates;
    out->append(p, len + 1);
    p += len + 1;
    left -= len + 1;
  }
}

} // namespace

extern "C" DWORD WINAPI RasEnumDevicesA(LPRASDEVINFOA lpRasDevInfo, LPDWORD lpcb, LPDWORD lpcDevices) {
  SimConfig cfg = LoadSimConfig();
  std::string log = Head("RasEnumDevicesA") + " buffer=" + (lpRasDevInfo ? "yes" : "no");
  DWORD rc = kOk;
  if (!lpcb || !lpcDevices) {
    rc = kInvalidParameter;
  } else if ((rc = cfg.ForcedFailure("RasEnumDevicesA")) != 0) {
  } else {
    DWORD cap = *lpcb;
    DWORD recSize = sizeof(RASDEVINFOA_400);
    if (lpRasDevInfo && cap >= sizeof(DWORD)) recSize = RecordSize(lpRasDevInfo);
    log += " dwSize=" + std::to_string(recSize) + " cb=" + std::to_string(cap);
    DWORD count = static_cast<DWORD>(cfg.devices.size());
    if (!ValidDevInfoSize(recSize)) {
      rc = kInvalidSize;
    } else {
      DWORD needed = recSize * count;
      *lpcDevices = count;
      if (count > 0 && (!lpRasDevInfo || cap < needed)) {
        *lpcb = needed;
        rc = kBufferTooSmall;
      } else {
        BYTE* out = reinterpret_cast<BYTE*>(lpRasDevInfo);
        for (DWORD i = 0; i < count; ++i) {
          RASDEVINFOA_400 rec = {};
          rec.dwSize = recSize;
          WriteField(rec.szDeviceType, sizeof rec.szDeviceType, cfg.devices[i].type);
          WriteField(rec.szDeviceName, sizeof rec.szDeviceName, cfg.devices[i].name);
          memset(out + i * recSize, 0, recSize);
          memcpy(out + i * recSize, &rec, sizeof rec);
        }
        *lpcb = needed;
      }
      log += " cbOut=" + std::to_string(*lpcb) + " devices=" + std::to_string(count);
    }
  }
  SimStore::Log(log + Code(rc));
  return rc;
}

extern "C" DWORD WINAPI RasValidateEntryNameA(LPCSTR lpszPhonebook, LPCSTR lpszEntry) {
  SimConfig cfg = LoadSimConfig();
  std::string log = Head("RasValidateEntryNameA") + PhonebookTag(lpszPhonebook);
  DWORD rc;
  std::string name;
  if (!lpszEntry) {
    rc = kInvalidParameter;
  } else {
    log += " entry=" + SimStore::Quote(std::string(lpszEntry, strnlen(lpszEntry, RAS_MaxEntryName + 1)));
    if ((rc = cfg.ForcedFailure("RasValidateEntryNameA")) != 0) {
    } else if (!ValidEntryName(lpszEntry, &name)) {
      rc = kInvalidName;
    } else {
      rc = EntryExists(name) ? kAlreadyExists : kOk;
    }
  }
  SimStore::Log(log + Code(rc));
  return rc;
}

extern "C" DWORD WINAPI RasSetEntryPropertiesA(LPCSTR lpszPhonebook, LPCSTR lpszEntry, LPRASENTRYA lpRasEntry,
                                               DWORD dwEntryInfoSize, LPBYTE lpbDeviceInfo, DWORD dwDeviceInfoSize) {
  SimConfig cfg = LoadSimConfig();
  std::string log = Head("RasSetEntryPropertiesA") + PhonebookTag(lpszPhonebook);
  DWORD rc = kOk;
  std::string name, alternates;
  RASENTRYA_400 e = {};
  if (lpszEntry) log += " entry=" + SimStore::Quote(std::string(lpszEntry, strnlen(lpszEntry, RAS_MaxEntryName + 1)));
  DWORD recSize = (lpRasEntry && dwEntryInfoSize >= sizeof(DWORD)) ? RecordSize(lpRasEntry) : 0;
  log += " dwSize=" + std::to_string(recSize) + " size=" + std::to_string(dwEntryInfoSize) +
         " devinfo=" + std::to_string(lpbDeviceInfo ? dwDeviceInfoSize : 0);
  if (!lpszEntry) {
    rc = kInvalidParameter;
  } else if ((rc = cfg.ForcedFailure("RasSetEntryPropertiesA")) != 0) {
  } else if (!lpRasEntry || dwEntryInfoSize < sizeof(DWORD)) {
    rc = kBufferInvalid;
  } else if (!ValidRasEntrySize(recSize)) {
    rc = kInvalidSize;
  } else if (dwEntryInfoSize < recSize) {
    rc = kBufferInvalid;
  } else if (!ValidEntryName(lpszEntry, &name)) {
    rc = kInvalidName;
  } else {
    memcpy(&e, lpRasEntry, sizeof e); // the old record is the head of every larger layout
    IniFile::Section section{name, {}};
    std::string type, device;
    bool ok = EntryToSection(e, section) && ReadField(e.szDeviceType, sizeof e.szDeviceType, &type) &&
              ReadField(e.szDeviceName, sizeof e.szDeviceName, &device);
    bool framing = e.dwFramingProtocol == RASFP_Ppp || e.dwFramingProtocol == RASFP_Slip ||
                   e.dwFramingProtocol == RASFP_Ras;
    // Windows requires the device and the framing to be given.
    if (!ok || type.empty() || device.empty() || !framing ||
        !ReadAlternates(reinterpret_cast<const BYTE*>(lpRasEntry), dwEntryInfoSize, recSize, e.dwAlternateOffset,
                        &alternates) ||
        (lpbDeviceInfo && dwDeviceInfoSize > kMaxDeviceInfo)) {
      rc = kInvalidParameter;
    } else {
      section.entries.push_back({"AlternatePhoneNumbers", alternates});
      section.entries.push_back(
          {"DeviceInfo", lpbDeviceInfo ? HexBytes(lpbDeviceInfo, dwDeviceInfoSize) : std::string()});
      section.entries.push_back({"RecordSize", std::to_string(recSize)});
      StoreLock lock;
      IniFile pb;
      SimStore::LoadFile(RASSIM_PHONEBOOK_FILE, pb);
      IniFile::Section& target = pb.FindOrAdd(name);
      target.entries = section.entries; // an existing entry keeps the name it was created with
      if (!lock.Held() || !SimStore::SaveFile(RASSIM_PHONEBOOK_FILE, pb)) rc = kCannotWritePhonebook;
    }
  }
  SimStore::Log(log + Code(rc));
  return rc;
}

extern "C" DWORD WINAPI RasGetEntryPropertiesA(LPCSTR lpszPhonebook, LPCSTR lpszEntry, LPRASENTRYA lpRasEntry,
                                               LPDWORD lpdwEntryInfoSize, LPBYTE lpbDeviceInfo,
                                               LPDWORD lpdwDeviceInfoSize) {
  SimConfig cfg = LoadSimConfig();
  std::string log = Head("RasGetEntryPropertiesA") + PhonebookTag(lpszPhonebook);
  DWORD rc = kOk;
  if (lpszEntry) log += " entry=" + SimStore::Quote(std::string(lpszEntry, strnlen(lpszEntry, RAS_MaxEntryName + 1)));
  DWORD recSize = sizeof(RASENTRYA); // what a caller without a record is told to allocate
  if (lpRasEntry && lpdwEntryInfoSize && *lpdwEntryInfoSize >= sizeof(DWORD)) recSize = RecordSize(lpRasEntry);
  log += " dwSize=" + std::to_string(recSize);
  if (!lpszEntry || !lpdwEntryInfoSize) {
    rc = kInvalidParameter;
  } else if ((rc = cfg.ForcedFailure("RasGetEntryPropertiesA")) != 0) {
  } else if (!ValidRasEntrySize(recSize)) {
    rc = kInvalidSize;
  } else {
    // An empty name asks for the default values: an all-zero entry.
    std::string name(lpszEntry, strnlen(lpszEntry, RAS_MaxEntryName + 1));
    IniFile::Section section{name, {}};
    bool found = name.empty();
    if (!found) {
      StoreLock lock;
      IniFile pb;
      SimStore::LoadFile(RASSIM_PHONEBOOK_FILE, pb);
      if (const IniFile::Section* s = pb.Find(name)) {
        section = *s;
        found = true;
      }
    }
    if (!found) {
      rc = kCannotFindEntry;
    } else {
      const IniFile::Entry* alt = section.Find("AlternatePhoneNumbers");
      std::string alternates = alt ? alt->value.substr(0, kMaxAlternates) : std::string();
      if (!alternates.empty() && alternates.back() != '\0') alternates += '\0';
      if (!alternates.empty()) alternates += '\0'; // the empty string that ends the list
      const IniFile::Entry* dev = section.Find("DeviceInfo");
      std::string devInfo = dev ? BytesFromHex(dev->value) : std::string();
      DWORD needed = recSize + static_cast<DWORD>(alternates.size());
      bool small = !lpRasEntry || *lpdwEntryInfoSize < needed;
      bool devSmall = lpdwDeviceInfoSize && !devInfo.empty() &&
                      (!lpbDeviceInfo || *lpdwDeviceInfoSize < devInfo.size());
      *lpdwEntryInfoSize = needed;
      if (lpdwDeviceInfoSize) *lpdwDeviceInfoSize = static_cast<DWORD>(devInfo.size());
      if (small || devSmall) {
        rc = kBufferTooSmall;
      } else {
        RASENTRYA_400 e = {};
        SectionToEntry(section, e);
        e.dwSize = recSize;
        e.dwAlternateOffset = alternates.empty() ? 0 : recSize;
        BYTE* out = reinterpret_cast<BYTE*>(lpRasEntry);
        memset(out, 0, recSize);
        memcpy(out, &e, sizeof e);
        if (!alternates.empty()) memcpy(out + recSize, alternates.data(), alternates.size());
        if (lpbDeviceInfo && !devInfo.empty()) memcpy(lpbDeviceInfo, devInfo.data(), devInfo.size());
      }
    }
  }
  SimStore::Log(log + Code(rc));
  return rc;
}

extern "C" DWORD WINAPI RasGetEntryDialParamsA(LPCSTR lpszPhonebook, LPRASDIALPARAMSA lprasdialparams,
                                               LPBOOL lpfPassword) {
  SimConfig cfg = LoadSimConfig();
  std::string log = Head("RasGetEntryDialParamsA") + PhonebookTag(lpszPhonebook);
  DWORD rc = kOk;
  RASDIALPARAMSA_400 p = {};
  DWORD recSize = lprasdialparams ? RecordSize(lprasdialparams) : 0;
  std::string name;
  bool havePassword = false;
  if (lprasdialparams && ValidDialParamsSize(recSize)) {
    memcpy(&p, lprasdialparams, sizeof p);
    if (ReadField(p.szEntryName, sizeof p.szEntryName, &name)) log += " entry=" + SimStore::Quote(name);
  }
  log += " dwSize=" + std::to_string(recSize);
  if (!lprasdialparams) {
    rc = kBufferInvalid;
  } else if (!lpfPassword) {
    rc = kInvalidParameter;
  } else if ((rc = cfg.ForcedFailure("RasGetEntryDialParamsA")) != 0) {
  } else if (!ValidDialParamsSize(recSize)) {
    rc = kInvalidSize;
  } else if (!ReadField(p.szEntryName, sizeof p.szEntryName, &name)) {
    rc = kInvalidParameter;
  } else if (!EntryExists(name)) {
    rc = kCannotFindEntry;
  } else {
    IniFile dp;
    {
      StoreLock lock;
      SimStore::LoadFile(RASSIM_DIALPARAMS_FILE, dp);
    }
    havePassword = ParseNumber(dp.Get(name, "HasPassword"), 0) != 0;
    WriteField(p.szPhoneNumber, sizeof p.szPhoneNumber, std::string());
    WriteField(p.szCallbackNumber, sizeof p.szCallbackNumber, dp.Get(name, "CallbackNumber"));
    WriteField(p.szUserName, sizeof p.szUserName, dp.Get(name, "UserName"));
    WriteField(p.szPassword, sizeof p.szPassword, havePassword ? dp.Get(name, "Password") : std::string());
    WriteField(p.szDomain, sizeof p.szDomain, dp.Get(name, "Domain"));
    memcpy(lprasdialparams, &p, sizeof p); // fields of larger layouts stay as the caller set them
    *lpfPassword = havePassword ? TRUE : FALSE;
    log += " user=" + SimStore::Quote(p.szUserName);
  }
  log += std::string(" password=") + (havePassword ? "stored" : "empty");
  SimStore::Log(log + Code(rc));
  return rc;
}

extern "C" DWORD WINAPI RasSetEntryDialParamsA(LPCSTR lpszPhonebook, LPRASDIALPARAMSA lprasdialparams,
                                               BOOL fRemovePassword) {
  SimConfig cfg = LoadSimConfig();
  std::string log = Head("RasSetEntryDialParamsA") + PhonebookTag(lpszPhonebook);
  DWORD rc = kOk;
  RASDIALPARAMSA_400 p = {};
  DWORD recSize = lprasdialparams ? RecordSize(lprasdialparams) : 0;
  std::string name, user, password, domain, callback;
  bool fieldsOk = false;
  if (lprasdialparams && ValidDialParamsSize(recSize)) {
    memcpy(&p, lprasdialparams, sizeof p);
    fieldsOk = ReadField(p.szEntryName, sizeof p.szEntryName, &name) &&
               ReadField(p.szUserName, sizeof p.szUserName, &user) &&
               ReadField(p.szPassword, sizeof p.szPassword, &password) &&
               ReadField(p.szDomain, sizeof p.szDomain, &domain) &&
               ReadField(p.szCallbackNumber, sizeof p.szCallbackNumber, &callback);
    log += " entry=" + SimStore::Quote(name);
  }
  log += " dwSize=" + std::to_string(recSize) + " user=" + SimStore::Quote(user) +
         " domain=" + SimStore::Quote(domain) + " remove=" + (fRemovePassword ? "1" : "0");
  bool stored = false;
  if (!lprasdialparams) {
    rc = kBufferInvalid;
  } else if ((rc = cfg.ForcedFailure("RasSetEntryDialParamsA")) != 0) {
  } else if (!ValidDialParamsSize(recSize)) {
    rc = kInvalidSize;
  } else if (!fieldsOk) {
    rc = kInvalidParameter;
  } else if (!EntryExists(name)) {
    rc = kCannotFindEntry;
  } else {
    StoreLock lock;
    IniFile dp;
    SimStore::LoadFile(RASSIM_DIALPARAMS_FILE, dp);
    // Empty user name, domain or callback number leave the stored ones unchanged, and an empty
    // user name leaves the password too, as Windows does.
    if (!callback.empty()) dp.Set(name, "CallbackNumber", callback);
    if (!domain.empty()) dp.Set(name, "Domain", domain);
    if (!user.empty()) {
      dp.Set(name, "UserName", user);
      if (!fRemovePassword) {
        dp.Set(name, "Password", password);
        dp.Set(name, "HasPassword", "1");
      }
    }
    if (fRemovePassword) {
      dp.Set(name, "Password", "");
      dp.Set(name, "HasPassword", "0");
    }
    dp.FindOrAdd(name); // the entry has dial parameters from now on, even if all are empty
    if (!lock.Held() || !SimStore::SaveFile(RASSIM_DIALPARAMS_FILE, dp)) rc = kCannotWritePhonebook;
    stored = ParseNumber(dp.Get(name, "HasPassword"), 0) != 0;
  }
  log += std::string(" password=") + (stored ? "stored" : "empty");
  SimStore::Log(log + Code(rc));
  return rc;
}
