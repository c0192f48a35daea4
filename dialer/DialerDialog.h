// The dialer's main dialog and the dial engine it carries: sign-in picture, account inputs,
// phonebook entry set-up, asynchronous dialling with its status line, hang-up.
//
// Threads: every handler runs on the dialog's thread, except OnRasDialEvent (and what it
// calls), which RAS runs on a thread of its own through RasDialNotifier. The two threads
// share g_pDialerDialog (behind the gate of CallGate.h) and m_dial, the DialState below, which
// holds the connection handle m_hRasConn, the connected flag, m_strStatus and the port still
// closing after a hang-up. Besides those the RAS thread reads only the credentials, once
// connected, while the inputs are disabled. One lock, the gate's, guards exactly those; only
// DialState's operations and the gate take it, and never across a window call or a RAS call
// (either may wait for the other thread). Whoever takes the handle out of m_hRasConn is the
// one to hang it up; taking it also records its port as closing, in the same locked step, so
// that from the first moment of a hang-up Cancel, Connect and the end wait for that port.
//
// The RAS thread makes no window call that waits for the dialog's thread: RAS may hold
// RasHangUpA on the dialog's thread until the notifier call in progress has returned. Each
// notification is posted to the dialog with its own state or error in the message's
// parameters (WM_DIALER_SHOW_STATE, WM_DIALER_SHOW_ERROR), and the dialog's thread makes the
// text: however far it lags behind RAS, every state's text is shown, once and in order. The
// notifier allocates nothing before its hang-up, and a failure in it is posted too
// (WM_DIALER_NOTIFIER_FAILED), never shown from RAS's thread.
//
// RAS does not promise to write the handle back before the first notification: notifications
// are matched on the handle RAS passes to the notifier, which the attempt adopts while
// RasDialA has not returned yet.
//
// After a hang-up the port closes on RAS's time: the dialog neither dials again nor ends
// before RasGetConnectStatusA has stopped knowing the handle (at most kPortCloseWaitMs after
// RasHangUpA returned). It waits on a timer, so it keeps painting and taking input meanwhile.
// However the dialog ends (Cancel, a connection, a failed start-up, the end of the session),
// an attempt that is not connected is hung up and its port waited for (FinishAttempt) before
// the process goes; a connection that is up stays up.
#pragma once
#include <windows.h>
#include <ras.h>

#include <string>

#include "CDialog.h"
#include "LinkBitmapButton.h"

// Private messages of the dialog.
constexpr UINT WM_DIALER_SETUP_FAILED = WM_USER + 1;
constexpr UINT WM_DIALER_CONNECTED = WM_USER + 2;
constexpr UINT WM_DIALER_STARTUP = WM_USER + 3;
// From the RAS thread, one per notification: wParam the RASCONNSTATE, lParam the attempt.
constexpr UINT WM_DIALER_SHOW_STATE = WM_USER + 4;
// From the RAS thread: an error notification, wParam the error, lParam the extended error.
constexpr UINT WM_DIALER_SHOW_ERROR = WM_USER + 5;
// From the RAS thread: the notifier failed; wParam 1 when it ran out of memory.
constexpr UINT WM_DIALER_NOTIFIER_FAILED = WM_USER + 6;

class DialerDialog : public CDialog {
 public:
  explicit DialerDialog(CWnd* parent = nullptr);
  ~DialerDialog() override;

  // RasDialNotifier's way in; runs on the RAS thread.
  void OnRasDialEvent(HRASCONN conn, UINT message, RASCONNSTATE state, DWORD error, DWORD extendedError);
  // From the RAS thread when OnRasDialEvent failed: the dialog reports it on its own thread.
  void PostNotifierFailure(bool outOfMemory);
  // The dialog's end, whatever ended it: an attempt that is not connected is hung up and its
  // port waited for (at most kPortCloseWaitMs). Dialog's thread.
  void FinishAttempt();

 protected:
  // --- the framework's hooks (DialerDialog.cpp)
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  // Help requests (F1, the help command) do nothing in the dialer.
  void WinHelp(DWORD_PTR data, UINT cmd = HELP_CONTEXT) override;
  void OnOK() override;
  void OnCancel() override;

 private:
  // What the dialog's thread shares with the RAS thread, reached only through these
  // operations (DialerDialogState.cpp, beside the gate and its lock); each takes the dial
  // lock for its own assignments alone.
  class DialState {
   public:
    explicit DialState(const char* status) : m_strStatus(status) {}

    // Before RasDialA: false when an attempt is live already. From here until EndDialCall the
    // notifier adopts the handle it is given (RAS may notify before it writes it back).
    bool BeginDialCall();
    // RasDialA returned |rc| and wrote |conn|: the attempt keeps the handle unless a
    // notification already took it. A refusal's handle is taken (closing recorded) and
    // returned, for the caller to hang up; otherwise nullptr.
    HRASCONN EndDialCall(HRASCONN conn, DWORD rc);
    // Attempts are numbered from 1 by BeginDialCall; these three return the number of the
    // attempt whose handle |conn| is, or 0 when it is none's (any more).
    // Takes the handle when m_hRasConn is (or adopts) |conn|, recording its port as closing;
    // the caller that got it is the only one to hang it up.
    DWORD TakeIf(HRASCONN conn);
    DWORD IsCurrent(HRASCONN conn);
    // Marks the link as up when m_hRasConn is (or adopts) |conn|; from then on Cancel leaves
    // the handle alone.
    DWORD MarkConnectedIf(HRASCONN conn);
    // True when Cancel (or the dialog's end) hung attempt |attempt| up: what RAS reported of
    // it before, and the dialog has not shown yet, is no longer shown.
    bool Cancelled(DWORD attempt);
    // Cancel's part: takes the handle unless the link is up, recording its port as closing.
    // Sets |connected| to whether the link is up.
    HRASCONN TakeForCancel(bool& connected);
    // Hangs |conn| up (a handle taken above); its port counts from the call's return.
    void HangUp(HRASCONN conn);
    // True once no hang-up is in progress and the port of the last one is closed (RAS no
    // longer knows the handle) or kPortCloseWaitMs have passed since RasHangUpA returned.
    bool PortClosed();
    // An attempt is under way: a handle is held, or RasDialA has not returned yet.
    bool AttemptLive();
    bool Connected();

    void SetStatus(const std::string& text);
    std::string StatusCopy();

    static constexpr DWORD kPortCloseWaitMs = 3000;  // RasHangUp's documented pause

   private:
    // Under the lock: |conn| is the attempt's handle, adopting it while RasDialA runs.
    bool MatchLocked(HRASCONN conn);
    // Under the lock: takes m_hRasConn and records its port as closing, hang-up in progress.
    void TakeLocked();
    bool HungUpLocked(HRASCONN conn) const;

    HRASCONN m_hRasConn = nullptr;
    bool m_bInDialCall = false;  // RasDialA has not returned yet
    bool m_bTakenInDialCall = false;  // and a notification already ended the attempt
    DWORD m_nAttempt = 0;  // number of the last attempt begun
    DWORD m_nCancelled = 0;  // number of the last attempt that Cancel hung up
    // The link is up and the dialer is on its way out (status "Connected.", sound playing):
    // Cancel no longer hangs up.
    bool m_bConnected = false;
    std::string m_strStatus;
    // The handle last hung up while its port may still be closing.
    HRASCONN m_hClosingConn = nullptr;
    bool m_bHangUpInProgress = false;  // RasHangUpA of m_hClosingConn has not returned yet
    DWORD m_closingSince = 0;
    // The last handles hung up: their late notifications are never adopted.
    static constexpr int kHungUpKept = 8;
    HRASCONN m_hungUp[kHungUpKept] = {};
    int m_nextHungUp = 0;
  };

  // --- dialog (DialerDialog.cpp)
  // Prompt, save-password flag and the Connect / Save password switches from the texts last
  // read; the caller writes the members back into the controls.
  void UpdateInputState();
  // Enables or disables the user name, password, domain, Save password and Connect together.
  void EnableInputs(BOOL enable);
  void HideDomainControls();

  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
  LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
  void OnCredentialsChanged();
  void OnSavePasswordClicked();
  void OnCancelClicked();
  void OnConnectClicked();
  LRESULT OnCloseRequest(WPARAM wParam, LPARAM lParam);
  void OnWebButtonClicked();

  // --- sign-in picture (DialerDialogPicture.cpp)
  void LoadPicture();
  void PaintPicture(HDC dc);
  LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
  LRESULT OnQueryNewPalette(WPARAM wParam, LPARAM lParam);
  LRESULT OnPaletteChanged(WPARAM wParam, LPARAM lParam);

  // --- phonebook entry and stored credentials (DialerDialogSetup.cpp)
  LRESULT OnDialerStartup(WPARAM wParam, LPARAM lParam);
  bool EnsurePhonebookEntry();
  // Finds the first RAS device whose name contains "Velmora" and copies its name and type
  // into the buffers (at most size - 1 characters each, always terminated).
  bool FindAdapterDevice(char* deviceName, size_t nameSize, char* deviceType, size_t typeSize);
  bool LoadDialParams();
  // Runs on the RAS thread once connected; the inputs are disabled then, so the members it
  // reads cannot change under it.
  bool SaveDialParams();
  void ShowErrorBox(UINT idText);

  // --- dialling (DialerDialogDial.cpp)
  bool StartDial();
  void HangUp();
  void LaunchRasMonitor();
  void PlayConnectSound();
  LRESULT OnShowState(WPARAM wParam, LPARAM lParam);
  LRESULT OnShowError(WPARAM wParam, LPARAM lParam);
  LRESULT OnNotifierFailed(WPARAM wParam, LPARAM lParam);
  LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
  LRESULT OnQueryEndSession(WPARAM wParam, LPARAM lParam);
  LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);
  enum class AfterClose { kNothing, kDial, kEnd };
  // Runs |action| once m_dial.PortClosed() says so, polled from a timer.
  void AfterPortClosed(AfterClose action);
  // Drops the port timer's pending action.
  void CancelAfterClose();
  // An attempt ended by RAS (error, drop): the inputs come back unless a new attempt is under
  // way or waiting for the port by now.
  void EnableInputsAfterAttempt();
  // Puts m_strStatus into the status edit, after invalidating it when |invalidate|.
  void ShowStatus(bool invalidate);

  // --- status texts (DialerDialogTexts.cpp); both write only m_strStatus
  void SetStateText(RASCONNSTATE state);
  void SetErrorText(DWORD error, DWORD extendedError);

  static constexpr UINT_PTR kPortTimerId = 1;
  static constexpr UINT kPortPollMs = 50;

  CWnd m_ctlDomainLabel;
  CWnd m_ctlDomain;
  CWnd m_ctlConnect;
  CWnd m_ctlUserName;
  CWnd m_ctlStatus;
  CWnd m_ctlSavePassword;
  CWnd m_ctlPassword;
  std::string m_strPassword;
  int m_bSavePassword = 0;
  std::string m_strUserName;
  std::string m_strDomain;  // never used for dialling
  HICON m_hIcon = nullptr;
  LinkBitmapButton m_btnWeb;
  std::string m_strPictureFile;
  HGLOBAL m_hPictureInfo = nullptr;
  HGLOBAL m_hPictureBits = nullptr;
  HPALETTE m_hPalette = nullptr;
  DialState m_dial;
  AfterClose m_afterClose = AfterClose::kNothing;  // dialog's thread only
  // Set by the dialog's thread once "Connected." is shown; the notifier waits for it (at most
  // kConnectedShownWaitMs) before the connection sound, so that on a slow machine the sound
  // never plays under an earlier text. Manual reset, reset before each connected state.
  HANDLE m_connectedShown = nullptr;
  static constexpr DWORD kConnectedShownWaitMs = 5000;

  DECLARE_MESSAGE_MAP()
};

// The one main dialog, for the RAS notifier; NULL before start-up and once the exit
// sequence has begun. Set and cleared only through these two functions.
extern DialerDialog* g_pDialerDialog;
void PublishDialerDialog(DialerDialog* dialog);
// Clears g_pDialerDialog and returns what it held, once no notifier call is inside the
// dialog any more. Handles sent messages while it waits, so that it cannot deadlock even
// with a notifier that makes a window call.
DialerDialog* WithdrawDialerDialog();

// The RasDialFunc1 notifier: hands the notification to g_pDialerDialog, in RAS's thread.
void WINAPI RasDialNotifier(HRASCONN conn, UINT message, RASCONNSTATE state, DWORD error, DWORD extendedError);
