// Scalar multiplications of the one-item field, from the shared templates.
#include "group/curve/scalar_mul.hpp"
#include "common/secret.hpp"
#include "group/edwards.hpp"

namespace veltrane::group {

Point mul_point(const Scalar& k, const Point& q) {
  const Scalar* const ks[1] = {&k};
  return curve::mul_point<ScalarField>(ks, q);
}

Point mul_prime_component(const Scalar& k, const Point& q) {
  Secret<Scalar> eighth(divide_by_cofactor(k));
  const Scalar* const ks[1] = {&eighth.get()};
  return curve::mul_point<ScalarField>(ks, curve::times_eight<ScalarField>(q));
}

Point mul_fixed(const FixedBaseTable& table, const Scalar& k) {
  const Scalar* const ks[1] = {&k};
  return curve::mul_fixed<ScalarField>(table, ks);
}

Point mul_base(const Scalar& k) { return mul_fixed(base_point_table(), k); }

}  // namespace veltrane::group
