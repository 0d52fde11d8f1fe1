// The C run-time's pseudo-random generator as the demonstration scene relies
// on it: one state per thread, starting at 1 and never seeded, so that the
// user-interface thread and the render thread each draw the same sequence on
// every run. glibc's rand is a different generator (and shares its state
// between threads), so the scene draws from this one on every platform.
#pragma once

#include <cstdint>

// Advances the calling thread's state (state × 214013 + 2531011, modulo 2^32)
// and returns bits 16 to 30 of the new state: 0 to 32767.
int crtRand();
