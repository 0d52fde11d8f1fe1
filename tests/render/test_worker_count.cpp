// renderWorkerCount for the render tests: whatever the test last set (1 by
// default). Written on the test's thread, read on the render thread.
#include "tests/render/test_worker_count.h"

#include "render/worker_count.h"

#include <atomic>

namespace zelvor {

namespace {
std::atomic<std::uint32_t> workerCount{1};
}  // namespace

std::uint32_t renderWorkerCount() { return workerCount.load(); }

void testing::setRenderWorkerCount(std::uint32_t count) { workerCount.store(count); }

}  // namespace zelvor
