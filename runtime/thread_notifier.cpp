// ThreadNotifier: the interrupt event of one Thread, as its body sees it. The
// body's thread sleeps and waits through it; the owner's thread sets the event
// through Thread::interrupt. The kernel event needs no further lock.
#include "runtime/thread_notifier.h"

#include "runtime/exception.h"

#include <array>

namespace zelvor {

namespace {

[[noreturn]] void throwInterrupted(const char* method) {
  throw InterruptedException(formatMessage("Thread interupted in %s method.", method));
}

}  // namespace

ThreadNotifier::ThreadNotifier() = default;

bool ThreadNotifier::isInterrupted() { return event.wait(0); }

void ThreadNotifier::sleep(std::uint32_t milliseconds) {
  if (event.wait(milliseconds)) throwInterrupted("zelvor::ThreadNotifier::sleep");
}

bool ThreadNotifier::wait(Event& e) {
  // The interrupt comes first, so it wins when both are signalled.
  std::array<Event*, 2> const events{&event, &e};
  if (Event::waitAny(events.begin(), events.end()) == 0) throwInterrupted("zelvor::ThreadNotifier::wait");
  return true;
}

}  // namespace zelvor
