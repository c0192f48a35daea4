// The ANSI RAS records in their Windows 95 / NT 4.0 (WINVER 0x400) layout, for the dialer and
// for the RAS simulator that stands in for RAS in its tests. RAS tells layouts apart by the
// size written into dwSize, and the dialer must run on those systems, whose RAS knows no later
// layout. MinGW's ras.h declares only the newest, larger records; each old record is the start
// of the newer one, so the Ras*A functions are called through ras.h's declarations with the
// record pointers cast to its types, and only dwSize tells RAS which layout it got.
#pragma once
#include <windows.h>
#include <ras.h>

#include <cstddef>

#pragma pack(push, 4)  // ras.h's packing

struct RASIPADDR_400 {
  BYTE a, b, c, d;
};

struct RASDEVINFOA_400 {
  DWORD dwSize;
  CHAR szDeviceType[RAS_MaxDeviceType + 1];
  CHAR szDeviceName[RAS_MaxDeviceName + 1];
};

struct RASENTRYA_400 {
  DWORD dwSize;
  DWORD dwfOptions;
  DWORD dwCountryID;
  DWORD dwCountryCode;
  CHAR szAreaCode[RAS_MaxAreaCode + 1];
  CHAR szLocalPhoneNumber[RAS_MaxPhoneNumber + 1];
  DWORD dwAlternateOffset;
  RASIPADDR_400 ipaddr;
  RASIPADDR_400 ipaddrDns;
  RASIPADDR_400 ipaddrDnsAlt;
  RASIPADDR_400 ipaddrWins;
  RASIPADDR_400 ipaddrWinsAlt;
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

struct RASDIALPARAMSA_400 {
  DWORD dwSize;
  CHAR szEntryName[RAS_MaxEntryName + 1];
  CHAR szPhoneNumber[RAS_MaxPhoneNumber + 1];
  CHAR szCallbackNumber[RAS_MaxCallbackNumber + 1];
  CHAR szUserName[UNLEN + 1];
  CHAR szPassword[PWLEN + 1];
  CHAR szDomain[DNLEN + 1];
};

struct RASCONNA_400 {
  DWORD dwSize;
  HRASCONN hrasconn;
  CHAR szEntryName[RAS_MaxEntryName + 1];
  CHAR szDeviceType[RAS_MaxDeviceType + 1];
  CHAR szDeviceName[RAS_MaxDeviceName + 1];
};

struct RASCONNSTATUSA_400 {
  DWORD dwSize;
  DWORD rasconnstate;  // RASCONNSTATE
  DWORD dwError;
  CHAR szDeviceType[RAS_MaxDeviceType + 1];
  CHAR szDeviceName[RAS_MaxDeviceName + 1];
};

struct RASDIALEXTENSIONS_400 {
  DWORD dwSize;
  DWORD dwfOptions;
  HWND hwndParent;
  ULONG_PTR reserved;
};

#pragma pack(pop)

namespace ras400 {
constexpr bool k64 = sizeof(void*) == 8;
}

static_assert(sizeof(RASDEVINFOA_400) == 152, "RASDEVINFOA of Windows 95/NT 4.0");
static_assert(sizeof(RASENTRYA_400) == 1768, "RASENTRYA of Windows 95/NT 4.0");
static_assert(sizeof(RASDIALPARAMSA_400) == 1052, "RASDIALPARAMSA of Windows 95/NT 4.0");
static_assert(sizeof(RASCONNA_400) == (ras400::k64 ? 416 : 412), "RASCONNA of Windows 95/NT 4.0");
static_assert(sizeof(RASCONNSTATUSA_400) == 160, "RASCONNSTATUSA of Windows 95/NT 4.0");
static_assert(sizeof(RASDIALEXTENSIONS_400) == (ras400::k64 ? 24 : 16), "RASDIALEXTENSIONS, first layout");
// The newer layouts only append fields, so the old record is a prefix of MinGW's.
static_assert(sizeof(RASENTRYA) >= sizeof(RASENTRYA_400));
static_assert(sizeof(RASDIALPARAMSA) >= sizeof(RASDIALPARAMSA_400));
static_assert(sizeof(RASCONNA) >= sizeof(RASCONNA_400));
static_assert(sizeof(RASCONNSTATUSA) >= sizeof(RASCONNSTATUSA_400));
static_assert(offsetof(RASENTRYA, szDeviceName) == offsetof(RASENTRYA_400, szDeviceName));
static_assert(offsetof(RASENTRYA, dwReserved2) == offsetof(RASENTRYA_400, dwReserved2));
static_assert(offsetof(RASDIALPARAMSA, szPassword) == offsetof(RASDIALPARAMSA_400, szPassword));
static_assert(offsetof(RASDIALPARAMSA, szDomain) == offsetof(RASDIALPARAMSA_400, szDomain));
static_assert(offsetof(RASCONNA, szDeviceName) == offsetof(RASCONNA_400, szDeviceName));
static_assert(offsetof(RASCONNSTATUSA, dwError) == offsetof(RASCONNSTATUSA_400, dwError));
static_assert(offsetof(RASCONNSTATUSA, szDeviceName) == offsetof(RASCONNSTATUSA_400, szDeviceName));
