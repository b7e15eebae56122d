// Encode and decode throughput of the store alone, on one thread, and the
// process's peak resident memory. Sizes may be given as arguments
// (default: 10000 100000 1000000).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "distinct_keys.hpp"
#include "schemes/paxos.hpp"
#include "test_sources.hpp"

namespace {

using namespace veltrane::okvs;
using Clock = std::chrono::steady_clock;
using veltrane::okvs::testing::SplitMixSource;

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

double peak_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // Linux reports KiB
}

void run(std::size_t n) {
  SplitMixSource rng(1);
  // Keys like account rows: 12 to 20 bytes each, in one buffer.
  std::string bytes;
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < n; ++i) {
    bytes += "DE" + std::to_string(1000000000000ULL + i * 7919);
    ends.push_back(bytes.size());
  }
  std::vector<Hashable> keys;
  keys.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t begin = i == 0 ? 0 : ends[i - 1];
    keys.emplace_back(std::string_view(bytes).substr(begin, ends[i] - begin));
  }
  std::vector<OkvsValue> values(n);
  for (auto& v : values) v = random_value(rng);

  auto t = Clock::now();
  keep_first_occurrences(keys);
  const double dedup = seconds_since(t);

  EncodeWorkspace work;
  int attempts = 0;
  std::optional<Paxos> store;
  t = Clock::now();
  while (!store) {
    ++attempts;
    store = encode(keys, values, rng, work);
  }
  const double encode_time = seconds_since(t);

  // A retry reuses the workspace; only the store's buffer is new.
  t = Clock::now();
  (void)encode(keys, values, rng, work);
  const double retry_time = seconds_since(t);

  t = Clock::now();
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < n; ++i) wrong += !(decode(*store, keys[i]) == values[i]);
  const double decode_time = seconds_since(t);

  std::printf(
      "n=%-9zu m=%-9llu store %8.1f MiB | dedup %7.3f s | encode %7.3f s, %d attempt(s), %10.0f keys/s "
      "per attempt (next attempt %6.3f s) | decode %7.3f s, %10.0f keys/s%s | peak RSS %8.1f MiB\n",
      n, static_cast<unsigned long long>(store->sparse_count()),
      (2072.0 + 64.0 * store->sparse_count()) / (1024 * 1024), dedup, encode_time, attempts,
      n * attempts / encode_time, retry_time, decode_time, n / decode_time, wrong ? " WRONG" : "", peak_mib());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {10000, 100000, 1000000};
  for (std::size_t n : sizes) run(n);
}
