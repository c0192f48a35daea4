// Start-up of the dial engine: the phonebook entry for the Velmora adapter and the stored
// credentials.
#include <cstring>
#include <memory>
#include <new>

#include "CWinApp.h"
#include "CommandLine.h"
#include "DialerDialog.h"
#include "DialerRas.h"
#include "FwStrings.h"
#include "resource.h"

namespace {

constexpr char kOptionsSection[] = "Options";
constexpr char kSavePasswordValue[] = "SavePassword";


// Copies the text of a fixed-size RAS field (which may lack its terminator) into |dest|,
// cut to |destSize| - 1 characters and always terminated.
void CopyField(char* dest, size_t destSize, const char* field, size_t fieldSize) {
  if (destSize == 0) return;
  std::string text = fw::FromBuffer(field, fieldSize);
  size_t n = text.size() < destSize - 1 ? text.size() : destSize - 1;
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

}  // namespace

LRESULT DialerDialog::OnDialerStartup(WPARAM, LPARAM) {
  if (!EnsurePhonebookEntry()) {
    PostMessage(WM_DIALER_SETUP_FAILED, 0, 0);
    return 0;
  }
  LoadDialParams();
  // /U and /P given on the command line win over the stored credentials.
  ApplyCommandLineCredentials(m_strUserName, m_strPassword);
  UpdateInputState();
  UpdateData(false);
  return 0;
}

bool DialerDialog::EnsurePhonebookEntry() {
  if (RasValidateEntryNameA(nullptr, kEntryName) == ERROR_ALREADY_EXISTS) return true;

  RASENTRYA_400 entry{};
  entry.dwSize = sizeof(entry);
  entry.dwfOptions = RASEO_RemoteDefaultGateway;
  entry.dwfNetProtocols = RASNP_Ip;
  entry.dwFramingProtocol = RASFP_Ppp;
  if (!FindAdapterDevice(entry.szDeviceName, sizeof(entry.szDeviceName), entry.szDeviceType,
                         sizeof(entry.szDeviceType))) {
    ShowErrorBox(IDS_NO_ADAPTER);
    return false;
  }
  const char* number = lstrcmpiA(entry.szDeviceType, kVpnDeviceType) == 0 ? "1.1.1.1" : "000-0000";
  lstrcpynA(entry.szLocalPhoneNumber, number, sizeof(entry.szLocalPhoneNumber));
  if (RasSetEntryPropertiesA(nullptr, kEntryName, reinterpret_cast<LPRASENTRYA>(&entry), sizeof(entry), nullptr,
                             0) != 0) {
    ShowErrorBox(IDS_ENTRY_FAILED);
    return false;
  }
  return true;
}

bool DialerDialog::FindAdapterDevice(char* deviceName, size_t nameSize, char* deviceType, size_t typeSize) {
  constexpr DWORD kRecordSize = sizeof(RASDEVINFOA_400);
  DWORD bytes = 0, count = 0;
  // The first call only learns the size of the list; success means there is nothing to read.
  if (RasEnumDevicesA(nullptr, &bytes, &count) == 0) return false;
  // Fewer bytes than one record cannot hold the record whose size is written below.
  if (bytes < kRecordSize) return false;
  const DWORD allocated = bytes;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[allocated]());
  if (!buffer) return false;
  auto* records = reinterpret_cast<RASDEVINFOA_400*>(buffer.get());
  records[0].dwSize = kRecordSize;
  if (RasEnumDevicesA(reinterpret_cast<LPRASDEVINFOA>(records), &bytes, &count) != 0) return false;

  // Never past the bytes RAS reported, nor past the buffer, nor past the count.
  DWORD filled = bytes < allocated ? bytes : allocated;
  DWORD walk = filled / kRecordSize;
  if (count < walk) walk = count;
  for (DWORD i = 0; i < walk; ++i) {
    const RASDEVINFOA_400& device = records[i];
    std::string name = fw::FromBuffer(device.szDeviceName, sizeof(device.szDeviceName));
    if (name.find(kAdapterMarker) == std::string::npos) continue;
    CopyField(deviceName, nameSize, device.szDeviceName, sizeof(device.szDeviceName));
    CopyField(deviceType, typeSize, device.szDeviceType, sizeof(device.szDeviceType));
    return true;
  }
  return false;
}

bool DialerDialog::LoadDialParams() {
  // Only 1 means "saved"; any other stored number reads as not saved, so the box and what RAS
  // keeps never disagree.
  CWinApp* app = AfxGetApp();
  UINT saved = app ? app->GetProfileInt(kOptionsSection, kSavePasswordValue, 0) : 0;
  m_bSavePassword = saved == 1 ? 1 : 0;
  if (m_bSavePassword == 0) return true;

  RASDIALPARAMSA_400 params{};
  params.dwSize = sizeof(params);
  lstrcpynA(params.szEntryName, kEntryName, sizeof(params.szEntryName));
  BOOL hasPassword = FALSE;
  DWORD rc = RasGetEntryDialParamsA(nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&params), &hasPassword);
  if (rc == 0) {
    m_strUserName = fw::FromBuffer(params.szUserName, sizeof(params.szUserName));
    if (hasPassword) {
      std::string password = fw::FromBuffer(params.szPassword, sizeof(params.szPassword));
      fw::AssignSecret(m_strPassword, password);
      fw::WipeString(password);
    }
  }
  SecureZeroMemory(params.szPassword, sizeof(params.szPassword));
  return rc == 0;
}

bool DialerDialog::SaveDialParams() {
  CWinApp* app = AfxGetApp();
  if (app != nullptr) app->WriteProfileInt(kOptionsSection, kSavePasswordValue, m_bSavePassword);

  RASDIALPARAMSA_400 params{};
  params.dwSize = sizeof(params);
  lstrcpynA(params.szEntryName, kEntryName, sizeof(params.szEntryName));
  lstrcpynA(params.szUserName, m_strUserName.c_str(), sizeof(params.szUserName));
  lstrcpynA(params.szPassword, m_strPassword.c_str(), sizeof(params.szPassword));
  // RAS always keeps the user name; the password only when Save password is ticked.
  DWORD rc = RasSetEntryDialParamsA(nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&params),
                                    m_bSavePassword == 0 ? TRUE : FALSE);
  SecureZeroMemory(params.szPassword, sizeof(params.szPassword));
  return rc == 0;
}

void DialerDialog::ShowErrorBox(UINT idText) {
  std::string caption = fw::LoadStr(IDS_DIALER_CAPTION, AfxGetResourceHandle());
  std::string text = fw::LoadStr(idText, AfxGetResourceHandle());
  MessageBoxA(m_hWnd, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
}
