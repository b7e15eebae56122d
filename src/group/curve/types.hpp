// The point types of the curve code, over a field backend F. Types only:
// the function templates that work on them live in the other headers of
// this folder, which only implementation files include (so that each
// backend's translation unit compiles them for its own instruction set).
#pragma once

namespace veltrane::group::curve {

template <class F>
using Fe = typename F::Element;

// Extended coordinates: x = X/Z, y = Y/Z, xy = T/Z.
template <class F>
struct PointT {
  Fe<F> X, Y, Z, T;
};

// An affine point held as y + x, y - x and 2dxy (fixed-base table entries).
template <class F>
struct AffineCachedT {
  Fe<F> y_plus_x, y_minus_x, xy2d;
};

}  // namespace veltrane::group::curve
