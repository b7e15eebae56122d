#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "backends/backend.hpp"
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

}  // namespace

Bytes build_okvs(ByteView public_key, const TextRows& rows) {
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

  // Each value is an encryption of the neutral element under the public key,
  // (s*B, s*PK) for a fresh s, as two representatives.
  const backends::Backend& backend = backends::active_backend();
  std::vector<okvs::OkvsValue> values(keys.size());
  static_assert(sizeof(okvs::OkvsValue) == 64);
  constexpr std::size_t kRowsPerBlock = 2 * backends::kBlock;
  pool::parallel_for_blocks(values.size(), kRowsPerBlock, [&](std::size_t begin, std::size_t end) {
    backend.entry_values(*table, values[begin].bytes.data(), end - begin,
                         random::thread_generator());
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
