// Binds a document class, a frame class and a view class under one resource id: the
// frame's menu and icon carry that id, and so does the template string, whose fields
// (separated by '\n') are: window title, document name, file-new name, filter name, filter
// extension, file type id, file type name.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "CCmdTarget.h"
#include "CRuntimeClass.h"

class CDocument;
class CFrameWnd;

class CDocTemplate : public CCmdTarget {
 public:
  enum DocStringIndex { windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName };

  CDocTemplate(UINT idResource, const CRuntimeClass* docClass, const CRuntimeClass* frameClass,
               const CRuntimeClass* viewClass);

  // Field |index| of a template string; empty when it has fewer fields.
  static std::string DocStringField(const std::string& strings, int index);
  // Field of this template's string (loaded from the string table when first needed).
  std::string GetDocString(DocStringIndex index);

  // The caller owns the results; nullptr on failure (a frame that failed is gone already).
  virtual CDocument* CreateNewDocument();
  virtual CFrameWnd* CreateNewFrame(CDocument* doc);
  virtual void InitialUpdateFrame(CFrameWnd* frame, CDocument* doc, BOOL makeVisible = TRUE);

  virtual void AddDocument(CDocument* doc);
  virtual void RemoveDocument(CDocument* doc);
  virtual std::vector<CDocument*> GetDocuments() const = 0;
  // A new document (|path| null) or the document in file |path|, in a frame.
  virtual CDocument* OpenDocumentFile(const char* path, BOOL makeVisible = TRUE) = 0;
  virtual void SetDefaultTitle(CDocument* doc) = 0;

  // End of session: the documents close but their frames stay.
  void CloseAllDocuments(BOOL endSession);
  BOOL SaveAllModified();

  UINT m_nIDResource;
  const CRuntimeClass* m_pDocClass;
  const CRuntimeClass* m_pFrameClass;
  const CRuntimeClass* m_pViewClass;

 private:
  std::string m_strDocStrings;
  bool m_bStringsLoaded = false;
};
