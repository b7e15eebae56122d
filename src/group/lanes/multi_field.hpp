// N elements of a field backend F side by side as one backend of N times
// the lanes. Every operation is done for each of the N in turn, so the N
// independent dependency chains sit next to each other in the instruction
// stream and the processor overlaps them. Worth it for long serial chains
// (the exponentiation of a square root), where one chain alone is bound by
// latency; not for the scalar multiplications, which have parallel work of
// their own and would only run out of registers.
#pragma once

#include <cstdint>

#include "group/field.hpp"

namespace veltrane::group::lanes {

template <class F, int N>
struct MultiField {
  static constexpr int kLanes = N * F::kLanes;
  static constexpr int kSub = F::kLanes;
  struct Element {
    typename F::Element e[N];
  };
  struct Mask {
    typename F::Mask m[N];
  };

  template <class Op>
  static Element each(Op op) {
    Element r;
    for (int n = 0; n < N; ++n) r.e[n] = op(n);
    return r;
  }
  template <class Op>
  static Mask each_mask(Op op) {
    Mask r;
    for (int n = 0; n < N; ++n) r.m[n] = op(n);
    return r;
  }

  static Element constant(const FieldElement& c) {
    return each([&](int) { return F::constant(c); });
  }
  static Element zero() { return constant(kFieldZero); }
  static Element one() { return constant(kFieldOne); }

  static Element add(const Element& a, const Element& b) {
    return each([&](int n) { return F::add(a.e[n], b.e[n]); });
  }
  static Element sub(const Element& a, const Element& b) {
    return each([&](int n) { return F::sub(a.e[n], b.e[n]); });
  }
  static Element neg(const Element& a) {
    return each([&](int n) { return F::neg(a.e[n]); });
  }
  static Element mul(const Element& a, const Element& b) {
    return each([&](int n) { return F::mul(a.e[n], b.e[n]); });
  }
  static Element square(const Element& a) {
    return each([&](int n) { return F::square(a.e[n]); });
  }
  static Element select(const Element& a, const Element& b, Mask m) {
    return each([&](int n) { return F::select(a.e[n], b.e[n], m.m[n]); });
  }

  static Mask mask_and(Mask a, Mask b) {
    return each_mask([&](int n) { return F::mask_and(a.m[n], b.m[n]); });
  }
  static Mask mask_or(Mask a, Mask b) {
    return each_mask([&](int n) { return F::mask_or(a.m[n], b.m[n]); });
  }
  static Mask mask_from_bits(std::uint32_t bits) {
    return each_mask([&](int n) { return F::mask_from_bits((bits >> (n * kSub)) & F::kAllLanes); });
  }
  static Mask equal(const Element& a, const Element& b) {
    return each_mask([&](int n) { return F::equal(a.e[n], b.e[n]); });
  }
  static Mask is_negative(const Element& a) {
    return each_mask([&](int n) { return F::is_negative(a.e[n]); });
  }
};

}  // namespace veltrane::group::lanes
