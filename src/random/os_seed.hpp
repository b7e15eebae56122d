// 32-byte seeds from the operating system's cryptographically secure source.
#pragma once

#include <cstdint>
#include <string>

namespace veltrane::random {

// A SeedSource: fills all 32 bytes with getrandom(2) and returns 0, or
// returns the errno of the failing request (the buffer is then unspecified).
int os_seed(std::uint8_t seed[32]);

// "could not initialize thread_rng: OS Error: <code>"
std::string seeding_failure_message(int code);

}  // namespace veltrane::random
