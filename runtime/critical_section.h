// A critical section owned by its object, and the scoped guard through which
// every lock of zelvor is taken, so that each exit path releases it.
#pragma once

#include "platform/win32.h"

namespace zelvor {

// Recursive: the holding thread may enter again.
class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section); }
  ~CriticalSection() { DeleteCriticalSection(&section); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void enter() { EnterCriticalSection(&section); }
  void leave() { LeaveCriticalSection(&section); }

 private:
  CRITICAL_SECTION section;
};

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section(section) { section.enter(); }
  ~CriticalSectionLock() { section.leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& section;
};

}  // namespace zelvor
