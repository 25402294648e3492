// Run-time class information and the framework's exceptions.
#include "platform/framework/afx_object.h"

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)),
                                              0xFFFF, nullptr};

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass) {
    if (c == base) return TRUE;
  }
  return FALSE;
}

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

BOOL CObject::IsKindOf(const CRuntimeClass* someClass) const {
  return GetRuntimeClass()->IsDerivedFrom(someClass);
}

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)

void CException::Delete() {
  if (m_bAutoDelete) delete this;
}

void AfxThrowMemoryException() {
  // One static object: throwing must not allocate while memory is short.
  static CMemoryException outOfMemory;
  throw &outOfMemory;
}
