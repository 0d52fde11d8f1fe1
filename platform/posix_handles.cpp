// The handle table behind every HANDLE of the kernel services: a slot array
// guarded by one mutex, used by every thread that creates, uses or closes a
// kernel object.
//
// A handle value is (generation << indexBits) | (slot index + 1). Closing a
// handle advances its slot's generation, so the old value names nothing even
// after the slot has been reused. The low part is never 0 and never all ones,
// so neither null nor INVALID_HANDLE_VALUE can ever name an object.
#include "platform/handle_table.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace zelvor::platform {

namespace {

constexpr unsigned indexBits = 20;
constexpr std::uintptr_t indexMask = (std::uintptr_t{1} << indexBits) - 1;
// Slot numbers run to indexMask - 1, so index + 1 stays below indexMask.
constexpr std::size_t slotCapacity = indexMask - 1;
constexpr std::uintptr_t generationMask = ~std::uintptr_t{0} >> indexBits;

// Generations start at 1 and skip 0 when they wrap, so small integers (a
// handle value of 1, say) never name an object.
struct Slot {
  std::uintptr_t generation = 1;
  std::shared_ptr<KernelObject> object;
};

class HandleTable {
 public:
  HANDLE insert(std::shared_ptr<KernelObject> object) {
    std::lock_guard lock(mutex);
    if (live >= limit) return nullptr;
    std::size_t index;
    if (!freeSlots.empty()) {
      index = freeSlots.back();
      freeSlots.pop_back();
    } else {
      // The free list can then take every slot, so remove never allocates.
      if (freeSlots.capacity() < slots.size() + 1) freeSlots.reserve(2 * (slots.size() + 1));
      index = slots.size();
      slots.emplace_back();
    }
    Slot& slot = slots[index];
    slot.object = std::move(object);
    ++live;
    return encode(index, slot.generation);
  }

  std::shared_ptr<KernelObject> lookup(HANDLE handle) {
    std::lock_guard lock(mutex);
    Slot* const slot = find(handle);
    return slot ? slot->object : nullptr;
  }

  // The removed object is handed back so that its destructor runs after the
  // table's mutex is released (a destructor may itself use handles).
  std::shared_ptr<KernelObject> remove(HANDLE handle) {
    std::lock_guard lock(mutex);
    Slot* const slot = find(handle);
    if (!slot) return nullptr;
    std::shared_ptr<KernelObject> object = std::move(slot->object);
    slot->generation = (slot->generation + 1) & generationMask;
    if (slot->generation == 0) slot->generation = 1;
    // Capacity was reserved when the slot was made, so this cannot throw.
    freeSlots.push_back(static_cast<std::uint32_t>(slot - slots.data()));
    --live;
    return object;
  }

  void setLimit(std::size_t newLimit) {
    std::lock_guard lock(mutex);
    limit = newLimit < slotCapacity ? newLimit : slotCapacity;
  }

 private:
  static HANDLE encode(std::size_t index, std::uintptr_t generation) {
    return reinterpret_cast<HANDLE>((generation << indexBits) | (index + 1));
  }

  Slot* find(HANDLE handle) {
    auto const value = reinterpret_cast<std::uintptr_t>(handle);
    std::uintptr_t const low = value & indexMask;
    if (low == 0 || low > slots.size()) return nullptr;
    Slot& slot = slots[low - 1];
    if (!slot.object || slot.generation != (value >> indexBits)) return nullptr;
    return &slot;
  }

  std::mutex mutex;
  std::vector<Slot> slots;
  std::vector<std::uint32_t> freeSlots;
  std::size_t live = 0;
  std::size_t limit = slotCapacity;
};

// Never destroyed: threads that outlive main may still close their handles
// while static objects are being torn down.
HandleTable& table() {
  static HandleTable* const instance = new HandleTable;
  return *instance;
}

}  // namespace

HANDLE insertHandle(std::shared_ptr<KernelObject> object) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    if (HANDLE const handle = table().insert(std::move(object))) return handle;
  } catch (const std::bad_alloc&) {
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> object = table().lookup(handle);
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

bool removeHandle(HANDLE handle) {
  if (table().remove(handle)) return true;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

void setHandleLimit(std::size_t limit) { table().setLimit(limit); }

std::size_t defaultHandleLimit() { return slotCapacity; }

}  // namespace zelvor::platform

BOOL CloseHandle(HANDLE handle) { return zelvor::platform::removeHandle(handle) ? TRUE : FALSE; }
