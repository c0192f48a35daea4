// Run-time class information: lets a document template create its document, frame and view
// from their classes.
//
//   class MyView : public CView { DECLARE_DYNCREATE(MyView) ... };
//   IMPLEMENT_DYNCREATE(MyView)                 // in MyView.cpp
//   RUNTIME_CLASS(MyView)->CreateObject()       // a new MyView, or nullptr without memory
#pragma once
#include <new>
#include "CCmdTarget.h"

struct CRuntimeClass {
  const char* m_lpszClassName;
  CCmdTarget* (*m_pfnCreateObject)();

  // The caller owns the object; nullptr when memory runs out.
  CCmdTarget* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

#define DECLARE_DYNCREATE(theClass)             \
 public:                                        \
  static const CRuntimeClass class##theClass;   \
  static CCmdTarget* CreateObject();

#define IMPLEMENT_DYNCREATE(theClass)                                                       \
  CCmdTarget* theClass::CreateObject() { return new (std::nothrow) theClass; }             \
  const CRuntimeClass theClass::class##theClass = {#theClass, &theClass::CreateObject};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)
