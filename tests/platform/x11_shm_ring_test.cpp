// The byte ring that MIT-SHM copies go through: scripted cases for the
// wrap-around and full-ring decisions, and seeded random runs checked against
// a byte-ownership model, where any overlap of two runs in flight would be a
// row overwritten while the X server may still read it.
#include "platform/x11_shm_ring.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <random>
#include <vector>

namespace {

using zelvor::platform::ShmRing;

struct Step {
  enum Kind { Reserve, Complete, CompleteAll } kind;
  std::size_t value = 0;                  // size to reserve, or offset to complete
  std::optional<std::size_t> expected{};  // Reserve: offset or none; Complete: has_value() is the result
};

Step reserve(std::size_t size, std::optional<std::size_t> offset) { return {Step::Reserve, size, offset}; }
Step complete(std::size_t offset, bool known) {
  return {Step::Complete, offset, known ? std::optional<std::size_t>(0) : std::nullopt};
}
Step completeAll() { return {Step::CompleteAll}; }

struct Script {
  const char* name;
  std::size_t capacity;
  std::vector<Step> steps;
};

TEST(ShmRing, FollowsScriptedReservationsAndCompletions) {
  const std::vector<Script> scripts{
      {"sizes round up to whole cache lines", 1024, {reserve(1, 0), reserve(64, 64), reserve(65, 128), reserve(0, {})}},
      {"a run larger than the segment never fits", 1024, {reserve(1025, {}), reserve(1024, 0)}},
      {"a capacity that is no multiple of 64 still takes one whole run", 1000, {reserve(1000, 0), reserve(1, {})}},
      {"full until the oldest run is done, then wraps to the start",
       256,
       {reserve(128, 0), reserve(128, 128), reserve(64, {}), complete(0, true), reserve(64, 0), reserve(64, 64),
        reserve(64, {})}},
      {"the tail left by a wrap stays unused until the oldest run passes it",
       256,
       {reserve(128, 0), reserve(64, 128), complete(0, true), reserve(128, 0), reserve(64, {}), complete(128, true),
        reserve(128, 128)}},
      {"a wrapped ring hands out only the gap below the oldest run",
       512,
       {reserve(128, 0), reserve(128, 128), reserve(128, 256), complete(0, true), complete(128, true), reserve(192, 0),
        reserve(64, 192), reserve(64, {})}},
      {"a run done out of order keeps its place until those before it are done",
       256,
       {reserve(128, 0), reserve(128, 128), complete(128, true), reserve(64, {}), complete(0, true), reserve(256, 0)}},
      {"unknown or repeated completions are ignored",
       256,
       {reserve(64, 0), complete(64, false), complete(0, true), complete(0, false), reserve(256, 0)}},
      {"completeAll frees everything", 256, {reserve(200, 0), reserve(64, {}), completeAll(), reserve(256, 0)}},
  };
  for (const Script& script : scripts) {
    SCOPED_TRACE(script.name);
    ShmRing ring(script.capacity);
    for (std::size_t i = 0; i < script.steps.size(); ++i) {
      const Step& step = script.steps[i];
      SCOPED_TRACE("step " + std::to_string(i));
      if (step.kind == Step::Reserve) {
        EXPECT_EQ(ring.reserve(step.value), step.expected);
      } else if (step.kind == Step::Complete) {
        EXPECT_EQ(ring.complete(step.value), step.expected.has_value());
      } else {
        ring.completeAll();
        EXPECT_EQ(ring.inFlight(), 0u);
      }
    }
  }
}

// Random reservations and completions (mostly oldest first, as the server
// reports them, sometimes out of order) against a map of which run owns each
// byte.
TEST(ShmRing, RunsInFlightNeverOverlapAndAnEmptyRingAlwaysHasRoom) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const std::size_t capacity = 256 + random() % 4096;
    ShmRing ring(capacity);
    struct Run {
      std::size_t offset;
      std::size_t size;
    };
    std::vector<Run> inFlight;  // oldest first
    std::vector<int> owner(capacity, 0);
    int reservations = 0;
    for (int step = 0; step < 3000; ++step) {
      if (random() % 3 != 0 || inFlight.empty()) {
        const std::size_t size = 1 + random() % (random() % 8 == 0 ? capacity : capacity / 6);
        const auto offset = ring.reserve(size);
        if (inFlight.empty()) {
          ASSERT_TRUE(offset.has_value()) << "empty ring refused " << size << " bytes";
        }
        if (!offset) continue;
        ASSERT_EQ(*offset % ShmRing::runAlignment, 0u);
        ASSERT_LE(*offset + size, capacity);
        ++reservations;
        for (std::size_t b = *offset; b < *offset + size; ++b) {
          ASSERT_EQ(owner[b], 0) << "byte " << b << " still in flight";
          owner[b] = reservations;
        }
        inFlight.push_back({*offset, size});
      } else {
        const std::size_t pick = random() % 5 == 0 ? random() % inFlight.size() : 0;
        const Run run = inFlight[pick];
        ASSERT_TRUE(ring.complete(run.offset));
        for (std::size_t b = run.offset; b < run.offset + run.size; ++b) owner[b] = 0;
        inFlight.erase(inFlight.begin() + static_cast<std::ptrdiff_t>(pick));
      }
      ASSERT_EQ(ring.inFlight(), inFlight.size());
    }
    EXPECT_GT(reservations, 500);
  }
}

}  // namespace
