// Product name, version and build of the tray program.
#pragma once
#include <string>
#include "Framework.h"

class ABOUT_DLG : public CDialog {
 public:
  ABOUT_DLG();

  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

  // The fixed build text when BuildInfo holds anything, else empty.
  void LoadBuildInfo();

  std::string m_strBuildInfo;

  DECLARE_MESSAGE_MAP()
};
