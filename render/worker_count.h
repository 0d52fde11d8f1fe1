// How many render workers the render loop starts. The program chooses at link
// time by linking exactly one definition: zelvor_workers_per_processor (one
// per processor the system reports) or zelvor_workers_single (always one, the
// first revision of the program). Called once per start of the render loop,
// on the render thread.
#pragma once

#include <cstdint>

namespace zelvor {

std::uint32_t renderWorkerCount();

}  // namespace zelvor
