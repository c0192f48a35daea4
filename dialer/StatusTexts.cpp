#include "StatusTexts.h"

#include "resource.h"

UINT StateTextId(DWORD state) {
  switch (state) {
    case 0: return 105;       // RASCS_OpenPort
    case 1: return 106;       // RASCS_PortOpened
    case 2: return 107;       // RASCS_ConnectDevice
    case 3: return 108;       // RASCS_DeviceConnected
    case 4: return 109;       // RASCS_AllDevicesConnected
    case 5: return 110;       // RASCS_Authenticate
    case 6: return 111;       // RASCS_AuthNotify
    case 10: return 112;      // RASCS_AuthProject
    case 11: return 113;      // RASCS_AuthLinkSpeed
    case 12: return 114;      // RASCS_AuthAck
    case 14: return 115;      // RASCS_Authenticated
    case 18: return 116;      // RASCS_Projected
    case 19: return 117;      // RASCS_StartAuthentication
    case 21: return 118;      // RASCS_LogonNetwork
    case 0x2000: return IDS_STATE_CONNECTED;
    case 0x2001: return IDS_STATE_DISCONNECTED;
    default: return 0;
  }
}

UINT ErrorTextId(DWORD code) {
  // The string table follows the RAS error numbering, with gaps where RAS has codes the
  // dialer has no sentence for, and with 644 and 645 in swapped order.
  if (code >= 600 && code <= 643) return code - 479;
  if (code == 644) return 166;
  if (code == 645) return 165;
  if (code >= 646 && code <= 681) return code - 479;
  if (code >= 691 && code <= 692) return code - 488;
  if (code >= 698 && code <= 702) return code - 493;
  if (code >= 707 && code <= 726) return code - 497;
  if (code == 728) return 230;
  if (code >= 730 && code <= 744) return code - 499;
  return IDS_ERROR_GENERIC;
}

std::string FormatUnsigned(const std::string& format, std::initializer_list<DWORD> values) {
  std::string out;
  out.reserve(format.size() + 20);
  auto next = values.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 'u' && next != values.end()) {
      out += std::to_string(*next++);
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

std::string FormatErrorText(const std::string& format, DWORD code, DWORD extended) {
  if (ErrorTextId(code) == IDS_ERROR_GENERIC) return FormatUnsigned(format, {code, extended});
  return FormatUnsigned(format, {code});
}
