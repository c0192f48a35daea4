// The data of a document template: created by the template, shown by its views, closed
// with its last frame. Commands that the active view does not bind reach the document.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "CArchive.h"
#include "CCmdTarget.h"
#include "CRuntimeClass.h"

class CDocTemplate;
class CFrameWnd;
class CView;

class CDocument : public CCmdTarget {
 public:
  CDocument() = default;
  ~CDocument() override;

  CDocTemplate* m_pDocTemplate = nullptr;
  std::string m_strTitle;
  std::string m_strPathName;
  // Deleted by OnCloseDocument (documents of a template always are).
  BOOL m_bAutoDelete = TRUE;

  const std::vector<CView*>& GetViews() const { return m_viewList; }
  void AddView(CView* view);
  void RemoveView(CView* view);
  // Lets the views go without destroying their frames: at the end of the Windows session
  // the windows stay until the process ends.
  void DisconnectViews();

  BOOL IsModified() const { return m_bModified; }
  void SetModifiedFlag(BOOL modified = TRUE) { m_bModified = modified; }
  void SetTitle(const std::string& title);
  // Also adds the path to the application's recent-file list.
  void SetPathName(const std::string& path);

  virtual BOOL OnNewDocument();
  virtual BOOL OnOpenDocument(const char* path);
  virtual BOOL OnSaveDocument(const char* path);
  // Destroys the frames of the views, then the contents, then (auto-delete) the object.
  virtual void OnCloseDocument();
  virtual void DeleteContents() {}
  virtual void Serialize(CArchive&) {}
  // Asks whether to save a modified document: FALSE when the user cancelled.
  virtual BOOL SaveModified();
  virtual BOOL CanCloseFrame(CFrameWnd* frame);

 private:
  std::vector<CView*> m_viewList;
  BOOL m_bModified = FALSE;
};

// The framework's prompt for saving a modified document ("%1" is its title).
constexpr UINT AFX_IDP_ASK_TO_SAVE = 0xF008;  // 61448
