// Exactly one render worker, whatever the machine: the first revision of the
// program draws every band on one worker, in band order.
#include "render/worker_count.h"

namespace zelvor {

std::uint32_t renderWorkerCount() { return 1; }

}  // namespace zelvor
