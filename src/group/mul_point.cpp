// Variable-base scalar multiplication: signed radix-16 digits over a table
// of 1Q..8Q in cached form, four doublings per digit, masked selection.
#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "group/point_forms.hpp"

namespace veltrane::group {

using namespace detail;

Point mul_point(const Scalar& k, const Point& q) {
  std::array<std::int8_t, 64> digits = signed_radix16(k);

  std::array<CachedPoint, 8> multiples;
  multiples[0] = to_cached(q);
  Point sum = q;
  for (int j = 1; j < 8; ++j) {
    sum = to_extended(add_cached(sum, multiples[0]));
    multiples[j] = to_cached(sum);
  }

  CompletedPoint r =
      add_cached(identity_point(), select_signed(multiples, digits[63], cached_identity()));
  for (int j = 62; j >= 0; --j) {
    const Point r16 = to_extended(times_16(to_projective(r)));
    r = add_cached(r16, select_signed(multiples, digits[j], cached_identity()));
  }
  secure_wipe(digits.data(), digits.size());
  return to_extended(r);
}

}  // namespace veltrane::group
