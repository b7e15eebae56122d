// Wide ciphertexts from untrusted bytes: from_bytes on two chunks, then
// randomize and combine on them, per item (no pool).
//
// Input: one length byte for the first chunk (at most 128 bytes are used),
// the chunk, and the second chunk from the rest. The group laws give the
// checks: combine is commutative, adding the identity ciphertext gives the
// canonical encodings back, adding the negation gives the identity, and
// randomize multiplies every component by one scalar.
#include "fuzz_support.hpp"
#include "random_scalar.hpp"
#include "wide_ciphertexts.hpp"

namespace {

using namespace veltrane;

// Every component decodes.
bool all_points(const WideCiphertext& c) {
  for (const auto& component : c.components)
    if (!group::decompress(component.data())) return false;
  return true;
}

WideCiphertext transformed(const WideCiphertext& c, group::Point (*f)(const group::Point&)) {
  WideCiphertext out;
  for (std::size_t i = 0; i < 4; ++i)
    out.components[i] = group::compress(f(*group::decompress(c.components[i].data())));
  return out;
}

group::Point same(const group::Point& p) { return p; }
group::Point to_identity(const group::Point&) { return group::identity_point(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::size_t first_length = in.byte();
  const auto first = in.take(first_length);
  const auto second = in.take(WideCiphertext::kSize + 1);

  std::optional<WideCiphertext> a, b;
  const bool a_parsed = fuzz::expect_fatal_or_success([&] { a = WideCiphertext::from_bytes(first); });
  fuzz::require(a_parsed == (first.size() >= WideCiphertext::kSize), "from_bytes length rule");
  const bool b_parsed = fuzz::expect_fatal_or_success([&] { b = WideCiphertext::from_bytes(second); });
  fuzz::require(b_parsed == (second.size() >= WideCiphertext::kSize), "from_bytes length rule");
  if (!a_parsed) return 0;

  std::uint8_t back[WideCiphertext::kSize];
  a->to_bytes(back);
  fuzz::require(std::memcmp(back, first.data(), sizeof back) == 0, "to_bytes(from_bytes) changed bytes");

  // randomize: the same scalar a twin generator draws, on every component.
  auto rng = fuzz::fixed_generator(1);
  auto twin = fuzz::fixed_generator(1);
  std::optional<WideCiphertext> r;
  const bool randomized = fuzz::expect_fatal_or_success([&] { r = randomize(*a, rng); });
  fuzz::require(randomized == all_points(*a), "randomize refused points or accepted non-points");
  if (randomized) {
    const group::Scalar t = random_scalar(twin);
    for (std::size_t i = 0; i < 4; ++i) {
      const group::Point p = *group::decompress(a->components[i].data());
      fuzz::require(r->components[i] == group::compress(group::mul_point(t, p)), "randomize product");
    }
  }

  if (!b_parsed) return 0;
  std::optional<WideCiphertext> ab, ba;
  const bool summed = fuzz::expect_fatal_or_success([&] { ab = combine(*a, *b); });
  fuzz::require(summed == (all_points(*a) && all_points(*b)), "combine refused points or accepted non-points");
  if (!summed) return 0;
  ba = combine(*b, *a);
  fuzz::require(ab->components == ba->components, "combine is not commutative");
  fuzz::require(combine(*a, transformed(*a, to_identity)).components == transformed(*a, same).components,
                "adding the identity changed a ciphertext");
  fuzz::require(combine(*a, transformed(*a, group::negate_point)).components ==
                    transformed(*a, to_identity).components,
                "a ciphertext plus its negation is not the identity");
  return 0;
}
