// Test-only controls over the per-thread generators.
#pragma once

#include "random/thread_generator.hpp"

namespace veltrane::random {

// The seed source that thread_generator() uses for the generators (and
// post-fork reseeds) it creates from now on; nullptr restores os_seed.
void set_thread_seed_source(SeedSource source) noexcept;

// Releases the calling thread's generator, so its next draw seeds anew.
void reset_thread_generator() noexcept;

}  // namespace veltrane::random
