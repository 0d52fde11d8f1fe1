// The render tests' own choice of worker count: the render loop reads it at
// every start, so one test program can run the frame cycle with 1, 2, 3 or 8
// workers. Set it before Screen::start; it is read on the render thread.
#pragma once

#include <cstdint>

namespace zelvor::testing {

void setRenderWorkerCount(std::uint32_t count);

}  // namespace zelvor::testing
