// The scene benchmark's choice of render worker count (see
// render/worker_count.h for how programs choose theirs).
#pragma once

#include <cstdint>

namespace zelvor::bench {

void setRenderWorkerCount(std::uint32_t count);

}  // namespace zelvor::bench
