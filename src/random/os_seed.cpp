#include "random/os_seed.hpp"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>

namespace veltrane::random {

int os_seed(std::uint8_t seed[32]) {
  std::size_t filled = 0;
  while (filled < 32) {
    // Requests this small are never cut short once the entropy pool is
    // ready, but a signal may interrupt the wait for it.
    const ssize_t got = ::getrandom(seed + filled, 32 - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno != 0 ? errno : EIO;
    }
    filled += static_cast<std::size_t>(got);
  }
  return 0;
}

std::string seeding_failure_message(int code) {
  return "could not initialize thread_rng: OS Error: " + std::to_string(code);
}

}  // namespace veltrane::random
