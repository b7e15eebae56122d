// The one-item field's exponentiations and square root: the shared curve
// templates instantiated for it.
#include "group/field.hpp"

#include "group/curve/field_functions.hpp"
#include "group/scalar_field.hpp"

namespace veltrane::group {

FieldElement fe_invert(const FieldElement& a) { return curve::invert<ScalarField>(a); }

FieldElement fe_pow22523(const FieldElement& a) { return curve::pow22523<ScalarField>(a); }

SqrtRatio fe_sqrt_ratio(const FieldElement& u, const FieldElement& v) {
  const curve::SqrtRatioResult<ScalarField> r = curve::sqrt_ratio<ScalarField>(u, v);
  return SqrtRatio{r.is_square, r.root};
}

}  // namespace veltrane::group
