// renderWorkerCount for the scene benchmark: set before each Screen starts,
// so that one run measures one worker and one per processor side by side.
// Written on the benchmark's thread, read on the render thread.
#include "bench/scene_worker_count.h"

#include "render/worker_count.h"

#include <atomic>

namespace zelvor {

namespace {
std::atomic<std::uint32_t> workerCount{1};
}  // namespace

std::uint32_t renderWorkerCount() { return workerCount.load(); }

void bench::setRenderWorkerCount(std::uint32_t count) { workerCount.store(count); }

}  // namespace zelvor
