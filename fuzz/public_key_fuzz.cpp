// Public keys and representatives from untrusted bytes.
//
// decode_public_key takes exactly the 32-byte strings that decompress; an
// accepted key re-encodes to a canonical form that decodes to the same point.
// The first 32 bytes also go through the representative map both ways: every
// string maps to a point, and a point's representative maps back to it.
#include "fuzz_support.hpp"
#include "point_conversion.hpp"

using namespace veltrane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  std::optional<group::Point> key;
  const bool accepted = fuzz::expect_fatal_or_success([&] { key = group::decode_public_key(bytes); });
  if (size != 32) {
    fuzz::require(!accepted, "a key of the wrong length was accepted");
  } else {
    fuzz::require(accepted == group::decompress(data).has_value(), "key rule differs from decompress");
  }
  if (accepted) {
    const group::PointBytes encoded = group::compress(*key);
    const std::optional<group::Point> again = group::decompress(encoded.data());
    fuzz::require(again && fuzz::same_point(*again, *key), "canonical encoding does not decode back");
    fuzz::require(group::compress(*again) == encoded, "canonical encoding is not stable");
  }
  if (size < 32) return 0;

  auto rng = fuzz::fixed_generator(2);
  const group::Point mapped = representative_to_point(data);
  const group::PointBytes mapped_bytes = group::compress(mapped);
  const std::optional<group::Point> mapped_back = group::decompress(mapped_bytes.data());
  fuzz::require(mapped_back && fuzz::same_point(*mapped_back, mapped), "mapped point does not encode");
  for (const group::Point& p : {mapped, key.value_or(group::base_point())}) {
    const std::optional<group::PointBytes> rep = point_to_representative(p, rng);
    if (rep) fuzz::require(fuzz::same_point(representative_to_point(rep->data()), p),
                           "representative does not map back to its point");
  }
  return 0;
}
