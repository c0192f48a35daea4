// Shows and changes the PPPoE service name (ServiceName under the PoE key). Nothing in the
// system reads it back; software outside it does.
#pragma once
#include <string>
#include "Framework.h"

class SERVICE_NAME_DIALOG : public CDialog {
 public:
  explicit SERVICE_NAME_DIALOG(CWnd* parent = nullptr);
  ~SERVICE_NAME_DIALOG() override = default;

  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnHandlerException(UINT msg, LRESULT* result) override;

  void LoadServiceName();
  void SaveServiceName();

  std::string m_strServiceName;

  // The longest name the reader can show again (its buffer is 128 bytes with the zero).
  static constexpr int kMaxServiceName = 127;

  DECLARE_MESSAGE_MAP()
};
