// Elligator 2 representatives of one point at a time.
#include "point_conversion.hpp"

#include "point_conversion_lanes.hpp"

namespace veltrane {

using F = group::ScalarField;

group::Point representative_to_point(const std::uint8_t rep[32]) {
  const std::uint8_t* const in[1] = {rep};
  return conversion::representative_to_point<F>(in);
}

bool has_representative(const group::Point& p) {
  return conversion::has_representative<F>(p) != 0;
}

std::optional<group::PointBytes> point_to_representative(const group::Point& p,
                                                         random::ChaCha12Generator& rng) {
  const group::Choice use_u_plus_a = rng.draw_bool() ? 1 : 0;
  group::PointBytes out;
  std::uint8_t* const outs[1] = {out.data()};
  if (conversion::point_to_representative<F>(p, use_u_plus_a, outs) == 0) return std::nullopt;
  return out;
}

}  // namespace veltrane
