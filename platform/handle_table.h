// The layer's handle table: every HANDLE the kernel services give out names
// one entry here. Private to platform/.
//
// A handle value encodes a slot and that slot's generation, so a handle that
// was closed (or never made) is recognised and rejected with
// ERROR_INVALID_HANDLE instead of reaching freed memory or a newer object that
// reuses the slot. Lookups return a shared reference: an object stays alive
// while a call uses it even if another thread closes its handle meanwhile.
#pragma once

#include "platform/kernel_services.h"

#include <cstddef>
#include <memory>

namespace zelvor::platform {

// Base of everything a HANDLE may name (events, threads, files).
class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

// Registers an object; returns its new handle, or null (last error
// ERROR_NOT_ENOUGH_MEMORY) when the table is full.
HANDLE insertHandle(std::shared_ptr<KernelObject> object);

// The object a handle names, or null (last error ERROR_INVALID_HANDLE).
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> lookupHandleAs(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(lookupHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Removes the entry; false (ERROR_INVALID_HANDLE) when the handle names nothing.
bool removeHandle(HANDLE handle);

// Caps the number of live handles; insertHandle fails beyond it. Tests lower it
// to make object creation fail; the default is the table's full size.
void setHandleLimit(std::size_t limit);
std::size_t defaultHandleLimit();

}  // namespace zelvor::platform
