// One generator per thread, created by the thread's first draw.
//
// fork() copies every generator into the child bit for bit; a child that went
// on drawing would repeat its parent's output. A process-wide count of forks,
// bumped in the child by a pthread_atfork handler, tells each thread's
// generator that it has been copied, and its next use takes a fresh seed.
#include <pthread.h>

#include <atomic>
#include <memory>

#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "random/os_seed.hpp"
#include "random/seed_source_for_testing.hpp"
#include "random/thread_generator.hpp"

namespace veltrane::random {
namespace {

std::atomic<SeedSource> seed_source{&os_seed};
std::atomic<std::uint64_t> fork_generation{0};

void on_fork_child() noexcept { fork_generation.fetch_add(1, std::memory_order_relaxed); }

void register_fork_handler() {
  [[maybe_unused]] static const int registered =
      ::pthread_atfork(nullptr, nullptr, &on_fork_child);
}

struct ThreadSlot {
  std::unique_ptr<ChaCha12Generator> generator;
  std::uint64_t fork_generation = 0;  // value of the fork count at seeding
};
thread_local ThreadSlot slot;

std::unique_ptr<ChaCha12Generator> seeded_generator(SeedSource source) {
  std::array<std::uint8_t, 32> seed;
  const int code = source(seed.data());
  if (code != 0) {
    secure_wipe(&seed, sizeof seed);
    fatal(seeding_failure_message(code));
  }
  auto generator = std::make_unique<ChaCha12Generator>(seed, source);
  secure_wipe(&seed, sizeof seed);
  return generator;
}

}  // namespace

ChaCha12Generator& thread_generator() {
  register_fork_handler();
  const std::uint64_t generation = fork_generation.load(std::memory_order_relaxed);
  if (!slot.generator) {
    slot.generator = seeded_generator(seed_source.load(std::memory_order_relaxed));
    slot.fork_generation = generation;
  } else if (slot.fork_generation != generation) {
    try {
      slot.generator->force_reseed();
    } catch (...) {
      // The inherited stream must not be continued; the thread is left
      // without a generator and its next draw seeds from scratch.
      slot.generator.reset();
      throw;
    }
    slot.fork_generation = generation;
  }
  return *slot.generator;
}

void set_thread_seed_source(SeedSource source) noexcept {
  seed_source.store(source != nullptr ? source : &os_seed, std::memory_order_relaxed);
}

void reset_thread_generator() noexcept { slot.generator.reset(); }

}  // namespace veltrane::random
