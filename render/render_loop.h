// The body of a Screen's render thread: the endless frame cycle, and the
// render workers it owns for as long as it runs.
#pragma once

#include "runtime/thread_notifier.h"

namespace zelvor {

class Screen;

// Starts renderWorkerCount() workers (at least one), then repeats until
// interrupted: under the Screen's frameLock, when the drawer is dirty, the
// workers draw and present every dirty band; then the frame callbacks run;
// then it sleeps 1 ms. A frame in progress always completes before the
// interrupt is seen. On the way out it interrupts all workers, then joins
// them. Failures inside a frame are swallowed; the cycle goes on.
void renderLoop(Screen& screen, ThreadNotifier& notifier);

}  // namespace zelvor
