#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <thread>

#include "common/fatal_error.hpp"
#include "random/seed_source_for_testing.hpp"
#include "random/thread_generator.hpp"

namespace veltrane::random {
namespace {

using Bytes32 = std::array<std::uint8_t, 32>;

Bytes32 draw32() {
  Bytes32 out;
  thread_generator().draw_bytes(out.data(), out.size());
  return out;
}

int failing_source(std::uint8_t[32]) { return 5; }

TEST(ThreadGenerator, OnePerThread) {
  ChaCha12Generator* mine = &thread_generator();
  EXPECT_EQ(&thread_generator(), mine);
  ChaCha12Generator* other = nullptr;
  Bytes32 other_output{};
  std::thread([&] {
    other = &thread_generator();
    other_output = draw32();
  }).join();
  EXPECT_NE(other, mine);
  EXPECT_NE(draw32(), other_output);  // independently seeded
}

TEST(ThreadGenerator, FailedSeedingThrowsAndIsRetriedOnTheNextDraw) {
  std::thread([] {
    set_thread_seed_source(&failing_source);
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        thread_generator();
        ADD_FAILURE() << "seeding from a failing source must throw";
      } catch (const FatalError& e) {
        EXPECT_EQ(e.message(), "could not initialize thread_rng: OS Error: 5");
      }
    }
    set_thread_seed_source(nullptr);
    EXPECT_NO_THROW(draw32());
  }).join();
}

// After fork(), parent and child hold the same generator state; their next
// outputs must still differ.
TEST(ThreadGenerator, ForkedChildDoesNotRepeatTheParentStream) {
  draw32();  // leave buffered words that fork will copy
  for (int round = 0; round < 2; ++round) {  // also a fork after a fork
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const Bytes32 out = draw32();
      const bool ok = write(fds[1], out.data(), out.size()) == ssize_t(out.size());
      _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    const Bytes32 parent_out = draw32();
    Bytes32 child_out{};
    EXPECT_EQ(read(fds[0], child_out.data(), child_out.size()), ssize_t(child_out.size()));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(parent_out, child_out);
  }
}

}  // namespace
}  // namespace veltrane::random
