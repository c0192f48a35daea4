#include "CDocument.h"

#include <algorithm>

#include "CDocTemplate.h"
#include "CFrameWnd.h"
#include "CView.h"
#include "CWinApp.h"
#include "FwStrings.h"

CDocument::~CDocument() {
  DisconnectViews();
  if (m_pDocTemplate != nullptr) m_pDocTemplate->RemoveDocument(this);
}

void CDocument::AddView(CView* view) {
  if (view == nullptr || std::find(m_viewList.begin(), m_viewList.end(), view) != m_viewList.end()) return;
  m_viewList.push_back(view);
  view->m_pDocument = this;
}

void CDocument::RemoveView(CView* view) {
  auto it = std::find(m_viewList.begin(), m_viewList.end(), view);
  if (it == m_viewList.end()) return;
  m_viewList.erase(it);
  view->m_pDocument = nullptr;
}

void CDocument::DisconnectViews() {
  for (CView* view : m_viewList) view->m_pDocument = nullptr;
  m_viewList.clear();
}

void CDocument::SetTitle(const std::string& title) {
  m_strTitle = title;
  for (CView* view : m_viewList) {
    CFrameWnd* frame = view->GetParentFrame();
    if (frame != nullptr) frame->OnUpdateFrameTitle();
  }
}

void CDocument::SetPathName(const std::string& path) {
  m_strPathName = path;
  size_t slash = path.find_last_of("\\/");
  SetTitle(slash == std::string::npos ? path : path.substr(slash + 1));
  CWinApp* app = AfxGetApp();
  if (app != nullptr && !path.empty()) app->AddToRecentFileList(path.c_str());
}

BOOL CDocument::OnNewDocument() {
  DeleteContents();
  m_strPathName.clear();
  SetModifiedFlag(FALSE);
  return TRUE;
}

BOOL CDocument::OnOpenDocument(const char* path) {
  if (path == nullptr) return FALSE;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  DeleteContents();
  CArchive ar(file, CArchive::load);
  Serialize(ar);
  CloseHandle(file);
  SetModifiedFlag(FALSE);
  return TRUE;
}

BOOL CDocument::OnSaveDocument(const char* path) {
  if (path == nullptr || *path == 0) return FALSE;
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  CArchive ar(file, CArchive::store);
  Serialize(ar);
  CloseHandle(file);
  SetModifiedFlag(FALSE);
  return TRUE;
}

void CDocument::OnCloseDocument() {
  // The frames go first; keep this object alive while their views detach from it.
  BOOL autoDelete = m_bAutoDelete;
  m_bAutoDelete = FALSE;
  while (!m_viewList.empty()) {
    CView* view = m_viewList.front();
    CFrameWnd* frame = view->GetParentFrame();
    if (frame != nullptr) {
      frame->DestroyWindow();
    } else {
      view->DestroyWindow();
    }
    // A view whose window was already gone has not removed itself.
    if (!m_viewList.empty() && m_viewList.front() == view) RemoveView(view);
  }
  m_bAutoDelete = autoDelete;
  DeleteContents();
  if (m_bAutoDelete) delete this;
}

BOOL CDocument::SaveModified() {
  if (!IsModified()) return TRUE;
  std::string name = m_strTitle.empty() ? m_strPathName : m_strTitle;
  int answer = AfxMessageBox(fw::FormatPercent1(fw::LoadStr(AFX_IDP_ASK_TO_SAVE), name), MB_YESNOCANCEL | MB_ICONEXCLAMATION);
  if (answer == IDCANCEL) return FALSE;
  if (answer == IDNO) return TRUE;
  return OnSaveDocument(m_strPathName.c_str());
}

BOOL CDocument::CanCloseFrame(CFrameWnd*) { return SaveModified(); }
