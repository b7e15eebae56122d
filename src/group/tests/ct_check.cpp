// Runs the secret-input paths with their secrets marked undefined for
// valgrind memcheck: any branch or memory index that depends on a secret is
// then reported as a use of an uninitialised value. Outside valgrind the
// client requests do nothing and the program only exercises the code.
#include <valgrind/memcheck.h>

#include <cstdint>
#include <cstdio>

#include "group/edwards.hpp"
#include "group/field.hpp"
#include "group/scalar.hpp"
#include "group/tests/lane_ops.hpp"

namespace {

using namespace veltrane::group;

template <typename T>
void mark_secret(T& value) {
  VALGRIND_MAKE_MEM_UNDEFINED(&value, sizeof value);
}

template <typename T>
void mark_public(T& value) {
  VALGRIND_MAKE_MEM_DEFINED(&value, sizeof value);
}

Scalar sample_scalar(std::uint8_t seed) {
  Scalar k;
  for (int i = 0; i < 32; ++i) k.bytes[i] = static_cast<std::uint8_t>(seed * 37 + i * 101);
  k.bytes[31] &= 0x7F;
  return k;
}

// Folds a result into one printed byte so that the work is not optimised away.
std::uint8_t digest(const PointBytes& bytes) {
  std::uint8_t acc = 0;
  for (std::uint8_t b : bytes) acc ^= b;
  return acc;
}

// One lane backend's secret paths, their outputs folded into acc.
void check_lanes(const veltrane::group::testing::LaneOps& lanes, const FixedBaseTable& table,
                 std::uint8_t& acc) {
  using namespace veltrane::group::testing;
  LaneScalars ks;
  LanePoints qs, products, fixed, sums;
  for (int i = 0; i < kLanes; ++i) {
    ks[i] = sample_scalar(static_cast<std::uint8_t>(10 + i));
    qs[i] = mul_base(sample_scalar(static_cast<std::uint8_t>(40 + i)));
  }
  mark_secret(ks);
  lanes.mul_point(ks, qs, products);
  lanes.mul_fixed(table, ks, fixed);
  lanes.add(products, fixed, sums);
  PointBytes encoded[2 * kLanes];
  const LanePoints both[2] = {products, sums};
  lanes.compress(both, 2, encoded);
  mark_public(encoded);
  for (const PointBytes& e : encoded) acc ^= digest(e);

  Lanes u, v, root, inverse;
  for (int i = 0; i < kLanes; ++i) {
    std::uint8_t bytes[32] = {static_cast<std::uint8_t>(i % 2 ? 4 : 2)};
    const FieldElement w = fe_from_bytes(compress(qs[i]).data());
    u[i] = fe_mul(fe_from_bytes(bytes), fe_square(w));
    v[i] = fe_square(w);
  }
  mark_secret(u);
  mark_secret(v);
  const std::uint32_t square = lanes.sqrt_ratio(u, v, root);
  lanes.unary(Unary::invert, v, inverse);
  const std::uint32_t negative = lanes.predicate(Predicate::is_negative, u, v);
  const std::uint32_t equal = lanes.predicate(Predicate::equal, u, v);
  LanePoints mapped;
  const std::uint32_t valid = lanes.elligator2_point(u, 0x5a, mapped);
  std::uint32_t flags[5] = {square, negative, equal, valid, 0};
  mark_public(root);
  mark_public(inverse);
  mark_public(flags);
  mark_public(mapped);
  acc ^= static_cast<std::uint8_t>(flags[0] ^ flags[1] ^ flags[2] ^ flags[3]);
  acc ^= fe_to_bytes(root[3])[0] ^ fe_to_bytes(inverse[5])[0] ^ compress(mapped[1])[0];
}

}  // namespace

int main() {
  const Point base = base_point();
  const Point q = mul_base(sample_scalar(200));
  const auto table = build_fixed_base_table(q);
  std::uint8_t acc = 0;

  for (std::uint8_t round = 0; round < 2; ++round) {
    Scalar k = sample_scalar(round);
    mark_secret(k);
    Point r1 = mul_point(k, q);
    Point r2 = mul_fixed(*table, k);
    Point r3 = mul_base(k);
    Point r4 = add_points(r1, base);
    // compress of a secret-dependent point is checked too.
    PointBytes c1 = compress(r1), c2 = compress(r2), c3 = compress(r3), c4 = compress(r4);
    mark_public(r1);
    mark_public(c1);
    mark_public(c2);
    mark_public(c3);
    mark_public(c4);
    acc ^= digest(c1) ^ digest(c2) ^ digest(c3) ^ digest(c4);

    std::uint8_t wide[64];
    for (int i = 0; i < 64; ++i) wide[i] = static_cast<std::uint8_t>(round * 7 + i * 13);
    mark_secret(wide);
    Scalar reduced = reduce_wide(wide);
    mark_public(reduced);
    acc ^= reduced.bytes[0];

    // The product with a point's prime-order component (decryption, blinding).
    Scalar key = sample_scalar(static_cast<std::uint8_t>(round + 90));
    mark_secret(key);
    Scalar eighth = divide_by_cofactor(key);
    PointBytes c5 = compress(mul_prime_component(key, q));
    mark_public(eighth);
    mark_public(c5);
    acc ^= eighth.bytes[0] ^ digest(c5);

    // Both outcomes of sqrt_ratio: a square ratio (u = 4, v = 1) and not (u = 2).
    for (std::uint8_t small : {std::uint8_t{4}, std::uint8_t{2}}) {
      std::uint8_t bytes[32] = {small};
      FieldElement u = fe_from_bytes(bytes);
      FieldElement v = fe_from_bytes(compress(r1).data());
      u = fe_mul(u, fe_square(v));  // u/v^2 has the square-ness of small
      v = fe_square(v);
      mark_secret(u);
      mark_secret(v);
      SqrtRatio s = fe_sqrt_ratio(u, v);
      FieldElement inv = fe_invert(v);
      mark_public(s);
      mark_public(inv);
      acc ^= fe_to_bytes(s.root)[0] ^ static_cast<std::uint8_t>(s.is_square) ^ fe_to_bytes(inv)[1];
    }
  }
  // The emulated lanes of both radixes: the same control flow as the native
  // lanes, so a secret-dependent branch or index in the lane code shows up here.
  check_lanes(veltrane::group::testing::portable_lane_ops(), *table, acc);
  check_lanes(veltrane::group::testing::portable25_lane_ops(), *table, acc);
  std::printf("constant-time paths ran (digest %02x)\n", acc);
  return 0;
}
