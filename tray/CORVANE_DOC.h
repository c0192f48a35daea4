// The document of the tray program's template: it exists because the framework creates the
// main window through a document template; it holds nothing.
#pragma once
#include "Framework.h"

class CORVANE_DOC : public CDocument {
  DECLARE_DYNCREATE(CORVANE_DOC)

 public:
  BOOL OnNewDocument() override;
  void Serialize(CArchive& ar) override;

  DECLARE_MESSAGE_MAP()
};
