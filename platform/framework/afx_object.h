// The dialog framework's object root: run-time class information and the
// out-of-memory exception, in the shape of the Windows framework the program
// is written against (CObject, CRuntimeClass, CException, CMemoryException).
//
// Run-time class information only: no dynamic creation, no archives.
// Out of memory is thrown as a CMemoryException* pointing at one static
// object (nothing is allocated while memory is short); catch it as
// `catch (CMemoryException* e) { ...; e->Delete(); }` — Delete() does not
// free the static object.
#pragma once

#include "platform/win32.h"

class CObject;

struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;
  const CRuntimeClass* m_pBaseClass;

  // True when this class is `base` or derives from it.
  BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// In the class body: declares the class's run-time class record.
#define DECLARE_DYNAMIC(class_name)                    \
 public:                                               \
  static const CRuntimeClass class##class_name;        \
  const CRuntimeClass* GetRuntimeClass() const override;

// In one source file: defines it, naming the base class.
#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                  \
  const CRuntimeClass class_name::class##class_name = {                                 \
      #class_name, static_cast<int>(sizeof(class_name)), 0xFFFF,                        \
      RUNTIME_CLASS(base_class_name)};                                                  \
  const CRuntimeClass* class_name::GetRuntimeClass() const {                            \
    return RUNTIME_CLASS(class_name);                                                   \
  }

class CObject {
 public:
  static const CRuntimeClass classCObject;

  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const;
  BOOL IsKindOf(const CRuntimeClass* someClass) const;

 protected:
  CObject() = default;

 private:
  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;
};

class CException : public CObject {
  DECLARE_DYNAMIC(CException)

 public:
  // Frees a heap-allocated exception; does nothing for a static one.
  void Delete();

 protected:
  explicit CException(BOOL autoDelete) : m_bAutoDelete(autoDelete) {}
  BOOL m_bAutoDelete;
};

class CMemoryException : public CException {
  DECLARE_DYNAMIC(CMemoryException)

 public:
  CMemoryException() : CException(FALSE) {}
};

// Throws the framework's out-of-memory exception (a CMemoryException*).
[[noreturn]] void AfxThrowMemoryException();
