#include "DialerDialog.h"

#include <shellapi.h>

#include "CWinApp.h"
#include "DialerAboutDialog.h"
#include "CommandLine.h"
#include "FwStrings.h"
#include "resource.h"

namespace {
constexpr int kTextLimit = static_cast<int>(kCredentialChars);
}  // namespace

BEGIN_MESSAGE_MAP(DialerDialog, CDialog)
  ON_MESSAGE(WM_SYSCOMMAND, &DialerDialog::OnSysCommand)
  ON_MESSAGE(WM_PAINT, &DialerDialog::OnPaint)
  ON_MESSAGE(WM_QUERYDRAGICON, &DialerDialog::OnQueryDragIcon)
  ON_EN_CHANGE(IDC_PASSWORD, &DialerDialog::OnCredentialsChanged)
  ON_BN_CLICKED(IDC_SAVEPASSWORD, &DialerDialog::OnSavePasswordClicked)
  ON_EN_CHANGE(IDC_USERNAME, &DialerDialog::OnCredentialsChanged)
  ON_COMMAND(IDCANCEL, &DialerDialog::OnCancelClicked)
  ON_COMMAND(IDOK, &DialerDialog::OnConnectClicked)
  ON_MESSAGE(WM_DIALER_SETUP_FAILED, &DialerDialog::OnCloseRequest)
  ON_MESSAGE(WM_DIALER_CONNECTED, &DialerDialog::OnCloseRequest)
  ON_MESSAGE(WM_DESTROY, &DialerDialog::OnDestroy)
  ON_MESSAGE(WM_QUERYNEWPALETTE, &DialerDialog::OnQueryNewPalette)
  ON_MESSAGE(WM_PALETTECHANGED, &DialerDialog::OnPaletteChanged)
  ON_BN_CLICKED(IDC_WEB_BUTTON, &DialerDialog::OnWebButtonClicked)
  ON_MESSAGE(WM_DIALER_STARTUP, &DialerDialog::OnDialerStartup)
  ON_MESSAGE(WM_DIALER_SHOW_STATE, &DialerDialog::OnShowState)
  ON_MESSAGE(WM_DIALER_SHOW_ERROR, &DialerDialog::OnShowError)
  ON_MESSAGE(WM_DIALER_NOTIFIER_FAILED, &DialerDialog::OnNotifierFailed)
  ON_MESSAGE(WM_TIMER, &DialerDialog::OnTimer)
  ON_MESSAGE(WM_QUERYENDSESSION, &DialerDialog::OnQueryEndSession)
  ON_MESSAGE(WM_ENDSESSION, &DialerDialog::OnEndSession)
END_MESSAGE_MAP()

DialerDialog::DialerDialog(CWnd* parent)
    : CDialog(IDD_DIALER_DIALOG, parent), m_strPictureFile("signin_zn.bmp"), m_dial("Enter your user name.") {
  m_hIcon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
  m_connectedShown = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

DialerDialog::~DialerDialog() {
  if (m_connectedShown != nullptr) CloseHandle(m_connectedShown);
  // The password typed or restored should not outlive the dialog in freed memory.
  fw::WipeString(m_strPassword);
}

void DialerDialog::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_DOMAIN_LABEL, m_ctlDomainLabel);
  DDX_Control(dx, IDC_DOMAIN, m_ctlDomain);
  DDX_Control(dx, IDOK, m_ctlConnect);
  DDX_Control(dx, IDC_USERNAME, m_ctlUserName);
  DDX_Control(dx, IDC_STATUS, m_ctlStatus);
  DDX_Control(dx, IDC_SAVEPASSWORD, m_ctlSavePassword);
  DDX_Control(dx, IDC_PASSWORD, m_ctlPassword);
  DDX_Text(dx, IDC_PASSWORD, m_strPassword, kTextLimit);
  DDX_Check(dx, IDC_SAVEPASSWORD, m_bSavePassword);
  {
    // m_strStatus is shared with the RAS thread: exchange a copy, taken and stored under the
    // lock, so that the lock is never held across the window call.
    std::string status = m_dial.StatusCopy();
    DDX_Text(dx, IDC_STATUS, status);
    if (dx->m_bSaveAndValidate && !dx->m_bFailed) m_dial.SetStatus(status);
  }
  DDX_Text(dx, IDC_USERNAME, m_strUserName, kTextLimit);
  DDX_Text(dx, IDC_DOMAIN, m_strDomain, kTextLimit);
}

BOOL DialerDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  HMENU sysMenu = ::GetSystemMenu(m_hWnd, FALSE);
  if (sysMenu != nullptr) {
    std::string about = fw::LoadStr(IDS_ABOUTBOX, AfxGetResourceHandle());
    if (!about.empty()) {
      AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
  }

  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  LoadPicture();
  HideDomainControls();
  m_btnWeb.AutoLoad(IDC_WEB_BUTTON, this);
  // The phonebook set-up may show a message box: run it from the message loop, with the
  // dialog already on screen.
  PostMessage(WM_DIALER_STARTUP, 0, 0);
  return TRUE;
}

void DialerDialog::HideDomainControls() {
  m_ctlDomainLabel.ShowWindow(SW_HIDE);
  m_ctlDomain.ShowWindow(SW_HIDE);
}

void DialerDialog::WinHelp(DWORD_PTR, UINT) {}

LRESULT DialerDialog::OnSysCommand(WPARAM wParam, LPARAM) {
  if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
    DialerAboutDialog about(nullptr);
    about.DoModal();
    return 0;
  }
  return Default();
}

LRESULT DialerDialog::OnPaint(WPARAM, LPARAM) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  if (IsIconic(m_hWnd)) {
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
  } else {
    PaintPicture(dc);
  }
  EndPaint(m_hWnd, &ps);
  return 0;
}

LRESULT DialerDialog::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }

void DialerDialog::OnCredentialsChanged() {
  // UpdateData(false) below and in the start-up raises EN_CHANGE for every text it writes;
  // reading the controls back then would take texts not yet written (a restored user name
  // would be lost while the password is being written).
  if (IsWritingControls()) return;
  UpdateData(true);
  UpdateInputState();
  UpdateData(false);
}

void DialerDialog::UpdateInputState() {
  const bool user = !m_strUserName.empty();
  const bool password = !m_strPassword.empty();
  UINT prompt = IDS_PROMPT_USERNAME;
  if (user && password) {
    prompt = IDS_PROMPT_CONNECT;
  } else if (user) {
    prompt = IDS_PROMPT_PASSWORD;
  }
  m_dial.SetStatus(fw::LoadStr(prompt, AfxGetResourceHandle()));
  if (!password) m_bSavePassword = 0;
  m_ctlSavePassword.EnableWindow(password ? TRUE : FALSE);
  m_ctlConnect.EnableWindow(user && password ? TRUE : FALSE);
}

void DialerDialog::EnableInputs(BOOL enable) {
  for (int id : {IDC_USERNAME, IDC_PASSWORD, IDC_DOMAIN, IDC_SAVEPASSWORD, IDOK}) {
    HWND ctl = GetDlgItem(id);
    if (ctl != nullptr) ::EnableWindow(ctl, enable);
  }
}

void DialerDialog::OnSavePasswordClicked() { UpdateData(true); }

void DialerDialog::OnOK() { OnConnectClicked(); }

void DialerDialog::OnCancel() { OnCancelClicked(); }

void DialerDialog::OnConnectClicked() {
  // Enter reaches here as IDOK even when a control other than Connect has the focus; the
  // input rules decide whether a dial may start.
  HWND connect = GetDlgItem(IDOK);
  if (connect == nullptr || !::IsWindowEnabled(connect)) return;
  // Keep the keyboard focus on a control that stays enabled, so that Esc still cancels.
  HWND focus = ::GetFocus();
  if (focus != nullptr && ::GetParent(focus) == m_hWnd && ::GetDlgCtrlID(focus) != IDCANCEL &&
      ::GetDlgCtrlID(focus) != IDC_WEB_BUTTON) {
    ::SetFocus(GetDlgItem(IDC_STATUS));
  }
  EnableInputs(FALSE);
  // A port still closing after a hang-up would refuse the dial: it starts once the port is
  // closed, and the disabled Connect cannot queue a second one meanwhile.
  if (!m_dial.PortClosed()) {
    AfterPortClosed(AfterClose::kDial);
    return;
  }
  // Dialling now: an end that was waiting for the port is dropped, or its timer would end the
  // dialog with this attempt in progress.
  CancelAfterClose();
  if (!StartDial()) EnableInputs(TRUE);
}

void DialerDialog::OnCancelClicked() {
  if (m_afterClose == AfterClose::kDial) {
    // Connect was waiting for the port: nothing was dialled, so there is nothing to hang up.
    CancelAfterClose();
    EnableInputs(TRUE);
    return;
  }
  bool connected = false;
  HRASCONN conn = m_dial.TakeForCancel(connected);
  // Connected: the dialog ends by itself once the connection sound has played, and the line
  // stays up as with any connection.
  if (connected) return;
  if (conn != nullptr) {
    m_dial.HangUp(conn);
    EnableInputs(TRUE);
    return;
  }
  // The program does not end before the port of the last hang-up is closed, also when the
  // notifier's hang-up after an error or a drop is still in progress.
  if (!m_dial.PortClosed()) {
    AfterPortClosed(AfterClose::kEnd);
    return;
  }
  EndDialog(IDCANCEL);
}

LRESULT DialerDialog::OnCloseRequest(WPARAM, LPARAM) {
  EndDialog(IDCANCEL);
  return 0;
}

void DialerDialog::OnWebButtonClicked() {
  std::string url = fw::LoadStr(IDS_HOMEPAGE_URL, AfxGetResourceHandle());
  if (url.empty()) return;
  ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOW);
}
