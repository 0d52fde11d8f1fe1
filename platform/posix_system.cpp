// GetSystemInfo: the processor count that sizes the render workers, and the
// memory figures Windows reports alongside it. Reads only system state; safe
// from any thread.
#include "platform/kernel_services.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace {

struct CpuSetDeleter {
  void operator()(cpu_set_t* set) const { CPU_FREE(set); }
};

struct Processors {
  DWORD count = 1;
  DWORD_PTR mask = 1;
};

// The processors this process may run on, honouring its affinity mask. The
// set grows until it can describe every processor of the machine.
Processors availableProcessors() {
  for (int capacity = CPU_SETSIZE; capacity <= (1 << 20); capacity *= 2) {
    std::unique_ptr<cpu_set_t, CpuSetDeleter> const set(CPU_ALLOC(capacity));
    if (!set) break;
    std::size_t const size = CPU_ALLOC_SIZE(capacity);
    CPU_ZERO_S(size, set.get());
    if (sched_getaffinity(0, size, set.get()) == 0) {
      Processors processors;
      processors.count = static_cast<DWORD>(std::max(1, CPU_COUNT_S(size, set.get())));
      processors.mask = 0;
      for (int cpu = 0; cpu < capacity && cpu < int(8 * sizeof(DWORD_PTR)); ++cpu) {
        if (CPU_ISSET_S(cpu, size, set.get())) processors.mask |= DWORD_PTR{1} << cpu;
      }
      if (processors.mask == 0) processors.mask = 1;
      return processors;
    }
    if (errno != EINVAL) break;
  }
  Processors processors;
  long const online = sysconf(_SC_NPROCESSORS_ONLN);
  if (online > 1) {
    processors.count = static_cast<DWORD>(online);
    processors.mask = online >= long(8 * sizeof(DWORD_PTR)) ? ~DWORD_PTR{0} : (DWORD_PTR{1} << online) - 1;
  }
  return processors;
}

}  // namespace

void GetSystemInfo(LPSYSTEM_INFO info) {
  if (!info) return;
  *info = SYSTEM_INFO{};
#if defined(__x86_64__)
  info->wProcessorArchitecture = 9;  // PROCESSOR_ARCHITECTURE_AMD64
  info->dwProcessorType = 8664;      // PROCESSOR_AMD_X8664
#elif defined(__aarch64__)
  info->wProcessorArchitecture = 12;  // PROCESSOR_ARCHITECTURE_ARM64
#elif defined(__i386__)
  info->wProcessorArchitecture = 0;  // PROCESSOR_ARCHITECTURE_INTEL
  info->dwProcessorType = 586;       // PROCESSOR_INTEL_PENTIUM
#endif
  long const page = sysconf(_SC_PAGESIZE);
  info->dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x10000});
  info->lpMaximumApplicationAddress =
      reinterpret_cast<LPVOID>(sizeof(void*) == 8 ? std::uintptr_t(0x00007FFFFFFEFFFFull) : std::uintptr_t(0x7FFEFFFF));
  Processors const processors = availableProcessors();
  info->dwActiveProcessorMask = processors.mask;
  info->dwNumberOfProcessors = processors.count;
  info->dwAllocationGranularity = std::max<DWORD>(65536, info->dwPageSize);
  info->wProcessorLevel = 6;
}
