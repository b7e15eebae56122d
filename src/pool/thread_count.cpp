#include "pool/thread_count.hpp"

#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <thread>

namespace veltrane::pool {
namespace {

std::optional<std::uint64_t> read_variable(const char* name) noexcept {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return parse_thread_count(value);
}

}  // namespace

std::optional<std::uint64_t> parse_thread_count(std::string_view text) noexcept {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::size_t logical_processor_count() noexcept {
  // The affinity mask is what the process may actually use (containers,
  // taskset); the online count is the fallback when it cannot be read.
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<std::size_t>(count);
  }
  const unsigned online = std::thread::hardware_concurrency();
  return online > 0 ? online : 1;
}

std::size_t pool_size_from_environment() noexcept {
  std::uint64_t count = 0;
  if (const auto requested = read_variable("RAYON_NUM_THREADS")) {
    count = *requested;
  } else if (const auto legacy = read_variable("RAYON_RS_NUM_CPUS"); legacy && *legacy > 0) {
    count = *legacy;
  }
  if (count == 0) count = logical_processor_count();
  return static_cast<std::size_t>(std::min<std::uint64_t>(count, kMaxWorkers));
}

}  // namespace veltrane::pool
