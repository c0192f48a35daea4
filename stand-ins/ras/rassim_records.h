// Windows 95 / NT 4.0 (WINVER 0x400) layouts of the ANSI RAS records.
// MinGW's ras.h declares only the newest, larger layouts; RAS tells the layouts apart by the
// size the caller writes into dwSize, so the old ones are declared here and checked by size.
#pragma once

#include <windows.h>
#include <ras.h>

#include <cstddef>

#pragma pack(push, 4) // ras.h packs its records to 4 bytes as well

struct RasIpAddr400 {
  BYTE a, b, c, d;
};

struct RasDevInfo400A {
  DWORD dwSize;
  CHAR szDeviceType[RAS_MaxDeviceType + 1];
  CHAR szDeviceName[RAS_MaxDeviceName + 1];
};

struct RasEntry400A {
  DWORD dwSize;
  DWORD dwfOptions;
  DWORD dwCountryID;
  DWORD dwCountryCode;
  CHAR szAreaCode[RAS_MaxAreaCode + 1];
  CHAR szLocalPhoneNumber[RAS_MaxPhoneNumber + 1];
  DWORD dwAlternateOffset;
  RasIpAddr400 ipaddr;
  RasIpAddr400 ipaddrDns;
  RasIpAddr400 ipaddrDnsAlt;
  RasIpAddr400 ipaddrWins;
  RasIpAddr400 ipaddrWinsAlt;
  DWORD dwFrameSize;
  DWORD dwfNetProtocols;
  DWORD dwFramingProtocol;
  CHAR szScript[MAX_PATH];
  CHAR szAutodialDll[MAX_PATH];
  CHAR szAutodialFunc[MAX_PATH];
  CHAR szDeviceType[RAS_MaxDeviceType + 1];
  CHAR szDeviceName[RAS_MaxDeviceName + 1];
  CHAR szX25PadType[RAS_MaxPadType + 1];
  CHAR szX25Address[RAS_MaxX25Address + 1];
  CHAR szX25Facilities[RAS_MaxFacilities + 1];
  CHAR szX25UserData[RAS_MaxUserData + 1];
  DWORD dwChannels;
  DWORD dwReserved1;
  DWORD dwReserved2;
};

struct RasDialParams400A {
  DWORD dwSize;
  CHAR szEntryName[RAS_MaxEntryName + 1];
  CHAR szPhoneNumber[RAS_MaxPhoneNumber + 1];
  CHAR szCallbackNumber[RAS_MaxCallbackNumber + 1];
  CHAR szUserName[UNLEN + 1];
  CHAR szPassword[PWLEN + 1];
  CHAR szDomain[DNLEN + 1];
};

struct RasConn400A {
  DWORD dwSize;
  HRASCONN hrasconn;
  CHAR szEntryName[RAS_MaxEntryName + 1];
  CHAR szDeviceType[RAS_MaxDeviceType + 1];
  CHAR szDeviceName[RAS_MaxDeviceName + 1];
};

struct RasConnStatus400A {
  DWORD dwSize;
  DWORD rasconnstate; // RASCONNSTATE
  DWORD dwError;
  CHAR szDeviceType[RAS_MaxDeviceType + 1];
  CHAR szDeviceName[RAS_MaxDeviceName + 1];
};

struct RasDialExtensions400 {
  DWORD dwSize;
  DWORD dwfOptions;
  HWND hwndParent;
  ULONG_PTR reserved;
};

#pragma pack(pop)

constexpr bool kRasSim64 = sizeof(void*) == 8;
static_assert(sizeof(RasDevInfo400A) == 152, "RASDEVINFOA of Windows 95/NT 4");
static_assert(sizeof(RasEntry400A) == 1768, "RASENTRYA of Windows 95/NT 4");
static_assert(sizeof(RasDialParams400A) == 1052, "RASDIALPARAMSA of Windows 95/NT 4");
static_assert(sizeof(RasConn400A) == (kRasSim64 ? 416 : 412), "RASCONNA of Windows 95/NT 4");
static_assert(sizeof(RasConnStatus400A) == 160, "RASCONNSTATUSA of Windows 95/NT 4");
static_assert(sizeof(RasDialExtensions400) == (kRasSim64 ? 24 : 16), "RASDIALEXTENSIONS, first layout");
// The newer layouts only append fields, so the old record is a prefix of MinGW's.
static_assert(sizeof(RASENTRYA) >= sizeof(RasEntry400A));
static_assert(sizeof(RASDIALPARAMSA) >= sizeof(RasDialParams400A));
static_assert(sizeof(RASCONNA) >= sizeof(RasConn400A));
static_assert(sizeof(RASCONNSTATUSA) >= sizeof(RasConnStatus400A));
static_assert(offsetof(RASENTRYA, dwReserved2) == offsetof(RasEntry400A, dwReserved2));
static_assert(offsetof(RASDIALPARAMSA, szDomain) == offsetof(RasDialParams400A, szDomain));
static_assert(offsetof(RASCONNA, szDeviceName) == offsetof(RasConn400A, szDeviceName));
static_assert(offsetof(RASCONNSTATUSA, szDeviceName) == offsetof(RasConnStatus400A, szDeviceName));
