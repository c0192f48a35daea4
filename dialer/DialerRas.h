// The RAS records the dialer hands to the Remote Access Service, in their Windows 95 / NT 4.0
// (WINVER 0x400) layout. RAS tells layouts apart by the size written into dwSize, and the
// dialer must run on those systems, whose RAS knows no later layout. MinGW's ras.h declares
// only the newest, larger records, so the old ones are declared here; the Ras*A functions are
// called through ras.h's declarations with the record pointers cast to its types (each old
// record is the start of the newer one, so only dwSize tells RAS which it got).
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

#pragma pack(pop)

static_assert(sizeof(RASDEVINFOA_400) == 152, "RASDEVINFOA of Windows 95/NT 4.0");
static_assert(sizeof(RASENTRYA_400) == 1768, "RASENTRYA of Windows 95/NT 4.0");
static_assert(sizeof(RASDIALPARAMSA_400) == 1052, "RASDIALPARAMSA of Windows 95/NT 4.0");
static_assert(offsetof(RASENTRYA_400, szDeviceName) == offsetof(RASENTRYA, szDeviceName));
static_assert(offsetof(RASDIALPARAMSA_400, szPassword) == offsetof(RASDIALPARAMSA, szPassword));

// Names shared by the dial engine.
constexpr char kEntryName[] = "Tessory Connection";
constexpr char kAdapterMarker[] = "Velmora";
constexpr char kVpnDeviceType[] = "vpn";
