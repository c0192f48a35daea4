// Template of a single-document program: one document at a time, in one frame. A new or
// opened document reuses the existing document and frame.
#pragma once
#include "CDocTemplate.h"

class CSingleDocTemplate : public CDocTemplate {
 public:
  using CDocTemplate::CDocTemplate;
  ~CSingleDocTemplate() override;

  void AddDocument(CDocument* doc) override;
  void RemoveDocument(CDocument* doc) override;
  std::vector<CDocument*> GetDocuments() const override;
  CDocument* OpenDocumentFile(const char* path, BOOL makeVisible = TRUE) override;
  void SetDefaultTitle(CDocument* doc) override;

 private:
  CDocument* m_pOnlyDoc = nullptr;
};

// Title of a document that has no file yet.
constexpr UINT AFX_IDS_UNTITLED = 0xE001;  // 57345
