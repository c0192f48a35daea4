#include "CORVANE_DOC.h"

IMPLEMENT_DYNCREATE(CORVANE_DOC)

BEGIN_MESSAGE_MAP(CORVANE_DOC, CDocument)
END_MESSAGE_MAP()

BOOL CORVANE_DOC::OnNewDocument() { return CDocument::OnNewDocument(); }

void CORVANE_DOC::Serialize(CArchive&) {
  // No data: nothing to store or load.
}
