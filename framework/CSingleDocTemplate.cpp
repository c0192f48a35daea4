#include "CSingleDocTemplate.h"

#include "CDocument.h"
#include "CFrameWnd.h"
#include "CView.h"
#include "CWinApp.h"
#include "FwStrings.h"

CSingleDocTemplate::~CSingleDocTemplate() {
  // A document still open at the end of the process stays; it no longer has a template.
  if (m_pOnlyDoc != nullptr) m_pOnlyDoc->m_pDocTemplate = nullptr;
}

void CSingleDocTemplate::AddDocument(CDocument* doc) {
  CDocTemplate::AddDocument(doc);
  m_pOnlyDoc = doc;
}

void CSingleDocTemplate::RemoveDocument(CDocument* doc) {
  CDocTemplate::RemoveDocument(doc);
  if (m_pOnlyDoc == doc) m_pOnlyDoc = nullptr;
}

std::vector<CDocument*> CSingleDocTemplate::GetDocuments() const {
  if (m_pOnlyDoc == nullptr) return {};
  return {m_pOnlyDoc};
}

void CSingleDocTemplate::SetDefaultTitle(CDocument* doc) {
  std::string title = GetDocString(docName);
  if (title.empty()) title = fw::LoadStr(AFX_IDS_UNTITLED);
  doc->SetTitle(title);
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const char* path, BOOL makeVisible) {
  CDocument* doc = m_pOnlyDoc;
  CFrameWnd* frame = nullptr;
  bool docCreated = false;
  if (doc != nullptr) {
    if (!doc->SaveModified()) return nullptr;
    if (!doc->GetViews().empty()) frame = doc->GetViews().front()->GetParentFrame();
  } else {
    doc = CreateNewDocument();
    if (doc == nullptr) return nullptr;
    docCreated = true;
  }
  bool frameCreated = false;
  if (frame == nullptr) {
    frame = CreateNewFrame(doc);
    if (frame == nullptr) {
      if (docCreated) delete doc;
      return nullptr;
    }
    frameCreated = true;
  }
  BOOL ok;
  if (path == nullptr) {
    SetDefaultTitle(doc);
    ok = doc->OnNewDocument();
  } else {
    ok = doc->OnOpenDocument(path);
    if (ok) doc->SetPathName(path);
  }
  if (!ok) {
    if (frameCreated) frame->DestroyWindow();  // takes the frame object and the view with it
    if (docCreated) delete doc;
    return nullptr;
  }
  CWinApp* app = AfxGetApp();
  if (frameCreated && app != nullptr && app->m_pMainWnd == nullptr) app->m_pMainWnd = frame;
  InitialUpdateFrame(frame, doc, makeVisible);
  return doc;
}
