#include "CDocTemplate.h"

#include "CDocument.h"
#include "CFrameWnd.h"
#include "CWinApp.h"
#include "FwStrings.h"

CDocTemplate::CDocTemplate(UINT idResource, const CRuntimeClass* docClass, const CRuntimeClass* frameClass,
                           const CRuntimeClass* viewClass)
    : m_nIDResource(idResource), m_pDocClass(docClass), m_pFrameClass(frameClass), m_pViewClass(viewClass) {}

std::string CDocTemplate::DocStringField(const std::string& strings, int index) {
  if (index < 0) return std::string();
  size_t begin = 0;
  for (int i = 0; i < index; ++i) {
    size_t nl = strings.find('\n', begin);
    if (nl == std::string::npos) return std::string();
    begin = nl + 1;
  }
  size_t end = strings.find('\n', begin);
  return strings.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string CDocTemplate::GetDocString(DocStringIndex index) {
  if (!m_bStringsLoaded) {
    m_strDocStrings = fw::LoadStr(m_nIDResource, AfxGetResourceHandle());
    m_bStringsLoaded = true;
  }
  return DocStringField(m_strDocStrings, index);
}

CDocument* CDocTemplate::CreateNewDocument() {
  if (m_pDocClass == nullptr) return nullptr;
  CCmdTarget* object = m_pDocClass->CreateObject();
  CDocument* doc = dynamic_cast<CDocument*>(object);
  if (doc == nullptr) {
    delete object;
    return nullptr;
  }
  AddDocument(doc);
  return doc;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* doc) {
  if (m_pFrameClass == nullptr) return nullptr;
  CCmdTarget* object = m_pFrameClass->CreateObject();
  CFrameWnd* frame = dynamic_cast<CFrameWnd*>(object);
  if (frame == nullptr) {
    delete object;
    return nullptr;
  }
  CCreateContext context;
  context.m_pNewViewClass = m_pViewClass;
  context.m_pCurrentDoc = doc;
  context.m_pNewDocTemplate = this;
  if (!frame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &context)) return nullptr;
  return frame;
}

void CDocTemplate::InitialUpdateFrame(CFrameWnd* frame, CDocument* doc, BOOL makeVisible) {
  frame->InitialUpdateFrame(doc, makeVisible);
}

void CDocTemplate::AddDocument(CDocument* doc) { doc->m_pDocTemplate = this; }

void CDocTemplate::RemoveDocument(CDocument* doc) { doc->m_pDocTemplate = nullptr; }

void CDocTemplate::CloseAllDocuments(BOOL endSession) {
  for (CDocument* doc : GetDocuments()) {
    if (endSession) doc->DisconnectViews();
    doc->OnCloseDocument();
  }
}

BOOL CDocTemplate::SaveAllModified() {
  for (CDocument* doc : GetDocuments()) {
    if (!doc->SaveModified()) return FALSE;
  }
  return TRUE;
}
