// The per-thread state of crtRand. Each thread touches only its own state.
#include "app/crt_rand.h"

namespace {

thread_local std::uint32_t randState = 1;

}  // namespace

int crtRand() {
  // Unsigned arithmetic wraps modulo 2^32 exactly as the run-time's does.
  randState = randState * 214013u + 2531011u;
  return static_cast<int>((randState >> 16) & 32767u);
}
