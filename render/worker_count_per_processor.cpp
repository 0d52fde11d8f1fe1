// One render worker per processor the system reports, with no upper limit.
#include "platform/win32.h"
#include "render/worker_count.h"

namespace zelvor {

std::uint32_t renderWorkerCount() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

}  // namespace zelvor
