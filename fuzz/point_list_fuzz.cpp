// Point lists and secret keys from untrusted bytes through the parallel
// operations decrypt and finish, with a pool of one worker (set before the
// pool exists) so that runs stay fast and reproducible.
//
// Input: a selector byte, a key length byte (0..63) and the key, then the
// lists. decrypt's output is compared with the key times each point's
// prime-order component, finish's flags with the per-position test, and finish
// must accept a delta list built as sender + receiver + key * gamma.
#include <cstdlib>

#include "fuzz_support.hpp"
#include "operations/operations.hpp"

namespace {

using namespace veltrane;
using ops::Bytes;

Bytes bytes_of(std::span<const std::uint8_t> s) { return Bytes(s.begin(), s.end()); }

std::optional<group::Point> point(const Bytes& list, std::size_t i) {
  if (list.size() < 32 * (i + 1)) return std::nullopt;
  return group::decompress(list.data() + 32 * i);
}

std::size_t positions(const Bytes& list) { return (list.size() + 31) / 32; }

void check_decrypt(const Bytes& points, const Bytes& key) {
  Bytes out;
  const bool ok = fuzz::expect_fatal_or_success([&] { out = ops::decrypt(points, key); });
  bool all_points = true;
  for (std::size_t i = 0; i < positions(points); ++i) all_points = all_points && point(points, i);
  fuzz::require(ok == (key.size() == 32 && all_points), "decrypt accepted or refused wrongly");
  if (!ok) return;
  fuzz::require(out.size() == 32 * positions(points), "decrypt output size");
  const group::Scalar k = group::secret_key_scalar(key);
  for (std::size_t i = 0; i < positions(points); ++i) {
    const group::PointBytes expected = group::compress(group::mul_prime_component(k, *point(points, i)));
    fuzz::require(std::memcmp(out.data() + 32 * i, expected.data(), 32) == 0, "decrypt product");
  }
}

void check_finish(const std::array<Bytes, 4>& lists, const Bytes& key) {
  Bytes flags;
  const bool ok = fuzz::expect_fatal_or_success(
      [&] { flags = ops::finish(lists[0], lists[1], lists[2], lists[3], key); });
  std::size_t n = positions(lists[0]);
  for (const Bytes& list : lists) n = std::min(n, positions(list));
  bool all_points = true;
  for (std::size_t i = 0; i < n; ++i)
    for (const Bytes& list : lists) all_points = all_points && point(list, i);
  fuzz::require(ok == (key.size() == 32 && all_points), "finish accepted or refused wrongly");
  if (!ok) return;
  fuzz::require(flags.size() == n, "finish output size");
  const group::Scalar k = group::secret_key_scalar(key);
  Bytes delta(32 * n);
  for (std::size_t i = 0; i < n; ++i) {
    const group::Point v = group::add_points(group::add_points(*point(lists[0], i), *point(lists[1], i)),
                                             group::mul_point(k, *point(lists[2], i)));
    fuzz::require(flags[i] == (group::points_equal(*point(lists[3], i), v) ? 1 : 0), "finish flag");
    const group::PointBytes encoded = group::compress(v);
    std::memcpy(delta.data() + 32 * i, encoded.data(), 32);
  }
  const Bytes all = ops::finish(lists[0], lists[1], lists[2], delta, key);
  for (std::uint8_t flag : all) fuzz::require(flag == 1, "finish refused a matching delta");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("RAYON_NUM_THREADS", "1", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t selector = in.byte();
  const Bytes key = bytes_of(in.take(in.byte() & 63));
  if ((selector & 1) == 0) {
    check_decrypt(bytes_of(in.rest()), key);
  } else {
    // Four lists, each one length byte (up to 255 bytes, about 8 points) and its bytes.
    std::array<Bytes, 4> lists;
    for (Bytes& list : lists) list = bytes_of(in.take(in.byte()));
    check_finish(lists, key);
  }
  return 0;
}
