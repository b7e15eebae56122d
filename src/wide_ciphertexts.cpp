#include "wide_ciphertexts.hpp"

#include <cstring>

#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "random_scalar.hpp"

namespace veltrane {

namespace {

group::Point decompress_or_fail(const group::PointBytes& bytes) {
  std::optional<group::Point> p = group::decompress(bytes.data());
  if (!p) fatal(kUnwrapNone);
  return *p;
}

}  // namespace

WideCiphertext WideCiphertext::from_bytes(std::span<const std::uint8_t> chunk) {
  WideCiphertext c;
  for (std::size_t i = 0; i < 4; ++i) {
    std::size_t end = 32 * (i + 1);
    if (end > chunk.size()) fatal(range_end_message(end, chunk.size()));
    std::memcpy(c.components[i].data(), chunk.data() + 32 * i, 32);
  }
  return c;
}

void WideCiphertext::to_bytes(std::uint8_t out[kSize]) const {
  for (std::size_t i = 0; i < 4; ++i) std::memcpy(out + 32 * i, components[i].data(), 32);
}

namespace {

WideCiphertext from_points(const std::array<group::Point, 4>& points) {
  WideCiphertext c;
  group::compress_batch(points, c.components);
  return c;
}

}  // namespace

WideCiphertext encrypt(const group::Point& s1, const group::Point& s2, const group::Point& r1,
                       const group::Point& r2, const group::Point& p, const group::Scalar& r) {
  const group::Point sum = group::add_points(group::add_points(s2, r2), p);
  return from_points({group::mul_prime_component(r, s1), group::mul_prime_component(r, r1),
                      group::mul_base(r), group::mul_prime_component(r, sum)});
}

WideCiphertext randomize(const WideCiphertext& c, random::ChaCha12Generator& rng) {
  Secret<group::Scalar> t(random_scalar(rng));
  std::array<group::Point, 4> products;
  for (std::size_t i = 0; i < 4; ++i) {
    products[i] = group::mul_point(t.get(), decompress_or_fail(c.components[i]));
  }
  return from_points(products);
}

WideCiphertext combine(const WideCiphertext& a, const WideCiphertext& b) {
  std::array<group::Point, 4> sums;
  for (std::size_t i = 0; i < 4; ++i) {
    const group::Point pa = decompress_or_fail(a.components[i]);
    const group::Point pb = decompress_or_fail(b.components[i]);
    sums[i] = group::add_points(pa, pb);
  }
  return from_points(sums);
}

}  // namespace veltrane
