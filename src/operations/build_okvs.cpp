#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "distinct_keys.hpp"
#include "group/edwards.hpp"
#include "operations/operations.hpp"
#include "point_conversion.hpp"
#include "pool/parallel.hpp"
#include "random/thread_generator.hpp"
#include "schemes/paxos.hpp"

namespace veltrane::ops {
namespace {

// The store draws its seeds and free cells from the calling thread's generator.
class ThreadGeneratorSource final : public okvs::RandomSource {
 public:
  explicit ThreadGeneratorSource(random::ChaCha12Generator& generator) : generator_(generator) {}
  std::uint64_t draw_u64() override { return generator_.draw_u64(); }
  void draw_bytes(std::uint8_t* out, std::size_t n) override { generator_.draw_bytes(out, n); }

 private:
  random::ChaCha12Generator& generator_;
};

// Every multiple of the identity or of (0, -1) is one of those two points,
// and neither has a representative: a row's value could never be made.
// Points of order 4 or 8, or of mixed order, have multiples that do.
void reject_points_of_order_one_or_two(const group::Point& public_key) {
  std::array<std::uint8_t, 32> minus_one_y{};  // y = p - 1, x = 0
  minus_one_y.fill(0xff);
  minus_one_y[0] = 0xec;
  minus_one_y[31] = 0x7f;
  const group::Point order_two = *group::decompress(minus_one_y.data());
  if (group::points_equal(public_key, group::identity_point()) ||
      group::points_equal(public_key, order_two)) {
    fatal("The public key is a point of order 1 or 2.");
  }
}

// An encryption of the neutral element under the public key, (s*B, s*PK)
// for a fresh s, as two representatives; a new s until both exist. Both
// points are tested before either is converted, so the three candidates in
// four that fail cost a square test each instead of a full conversion; the
// accepted s is uniform among those whose two points both convert, and each
// conversion still takes its own fresh random bit.
okvs::OkvsValue entry_value(const group::FixedBaseTable& public_key_table,
                            random::ChaCha12Generator& rng) {
  for (;;) {
    Secret<group::Scalar> s(rng.random_scalar());
    const group::Point first_point = group::mul_base(s.get());
    if (!has_representative(first_point)) continue;
    const group::Point second_point = group::mul_fixed(public_key_table, s.get());
    if (!has_representative(second_point)) continue;
    std::optional<group::PointBytes> first = point_to_representative(first_point, rng);
    std::optional<group::PointBytes> second = point_to_representative(second_point, rng);
    if (!first || !second) fatal("a point that passed the representative test did not convert");
    okvs::OkvsValue value;
    std::memcpy(value.bytes.data(), first->data(), 32);
    std::memcpy(value.bytes.data() + 32, second->data(), 32);
    return value;
  }
}

}  // namespace

Bytes build_okvs(const Bytes& public_key, const TextRows& rows) {
  const group::Point pk = group::decode_public_key(public_key);
  reject_points_of_order_one_or_two(pk);
  const std::unique_ptr<group::FixedBaseTable> table = group::build_fixed_base_table(pk);

  // Rows with the same concatenated strings are one key; only the first
  // is stored, since a second copy would make every encoding attempt fail.
  std::vector<okvs::Hashable> keys;
  keys.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) keys.emplace_back(rows.row(i));
  okvs::keep_first_occurrences(keys);
  keys.shrink_to_fit();

  std::vector<okvs::OkvsValue> values(keys.size());
  pool::parallel_for(values.size(), [&](std::size_t begin, std::size_t end) {
    random::ChaCha12Generator& rng = random::thread_generator();
    for (std::size_t i = begin; i < end; ++i) values[i] = entry_value(*table, rng);
  });

  ThreadGeneratorSource source(random::thread_generator());
  okvs::EncodeWorkspace workspace;
  for (;;) {
    if (std::optional<okvs::Paxos> store = okvs::encode(keys, values, source, workspace)) {
      return std::move(*store).to_bytes();
    }
  }
}

}  // namespace veltrane::ops
