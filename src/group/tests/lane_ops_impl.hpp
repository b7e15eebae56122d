// The LaneOps table of one lane field F (see lane_ops.hpp). Included after
// the instruction-set pragma by the IFMA unit.
#pragma once

#include "group/curve/elligator.hpp"
#include "group/curve/encoding.hpp"
#include "group/curve/scalar_mul.hpp"
#include "group/tests/lane_ops.hpp"

namespace veltrane::group::testing {

template <class F>
struct LaneOpsOf {
  using E = typename F::Element;
  using P = curve::PointT<F>;

  static E load(const Lanes& a) {
    const FieldElement* p[kLanes];
    for (int i = 0; i < kLanes; ++i) p[i] = &a[i];
    return F::from_lanes(p);
  }
  static void store(const E& e, Lanes& out) {
    for (int i = 0; i < kLanes; ++i) out[i] = F::lane(e, i);
  }
  static P load(const LanePoints& a) {
    Lanes x, y, z, t;
    for (int i = 0; i < kLanes; ++i) {
      x[i] = a[i].X;
      y[i] = a[i].Y;
      z[i] = a[i].Z;
      t[i] = a[i].T;
    }
    return {load(x), load(y), load(z), load(t)};
  }
  static void store(const P& p, LanePoints& out) {
    for (int i = 0; i < kLanes; ++i) {
      out[i] = {F::lane(p.X, i), F::lane(p.Y, i), F::lane(p.Z, i), F::lane(p.T, i)};
    }
  }

  static void binary(Binary op, const Lanes& a, const Lanes& b, Lanes& out) {
    const E x = load(a), y = load(b);
    store(op == Binary::add ? F::add(x, y) : op == Binary::sub ? F::sub(x, y) : F::mul(x, y), out);
  }
  static void unary(Unary op, const Lanes& a, Lanes& out) {
    const E x = load(a);
    switch (op) {
      case Unary::neg: store(F::neg(x), out); break;
      case Unary::square: store(F::square(x), out); break;
      case Unary::invert: store(curve::invert<F>(x), out); break;
      case Unary::pow22523: store(curve::pow22523<F>(x), out); break;
      case Unary::absolute: store(curve::absolute<F>(x), out); break;
    }
  }
  static std::uint32_t predicate(Predicate op, const Lanes& a, const Lanes& b) {
    const E x = load(a), y = load(b);
    return F::mask_bits(op == Predicate::equal     ? F::equal(x, y)
                        : op == Predicate::is_zero ? F::is_zero(x)
                                                   : F::is_negative(x));
  }
  static std::uint32_t sqrt_ratio(const Lanes& u, const Lanes& v, Lanes& root) {
    const curve::SqrtRatioResult<F> r = curve::sqrt_ratio<F>(load(u), load(v));
    store(r.root, root);
    return F::mask_bits(r.is_square);
  }
  static void to_bytes(const Lanes& a, LaneBytes& out) {
    std::uint8_t* outs[kLanes];
    for (int i = 0; i < kLanes; ++i) outs[i] = out[i].data();
    F::to_bytes(load(a), outs);
  }
  static void from_bytes(const LaneBytes& in, Lanes& out) {
    const std::uint8_t* ins[kLanes];
    for (int i = 0; i < kLanes; ++i) ins[i] = in[i].data();
    store(F::from_bytes(ins), out);
  }
  static std::uint32_t decompress(const LaneBytes& in, LanePoints& out) {
    const std::uint8_t* ins[kLanes];
    for (int i = 0; i < kLanes; ++i) ins[i] = in[i].data();
    const curve::Decoded<F> d = curve::decompress<F>(ins);
    store(d.point, out);
    return F::mask_bits(d.valid);
  }
  static void compress(const LanePoints* groups_in, int groups, PointBytes* out) {
    P points[curve::kMaxShared];
    std::uint8_t* outs[curve::kMaxShared * kLanes];
    for (int g = 0; g < groups; ++g) {
      points[g] = load(groups_in[g]);
      for (int i = 0; i < kLanes; ++i) outs[g * kLanes + i] = out[g * kLanes + i].data();
    }
    curve::compress_many<F>(points, static_cast<std::size_t>(groups), outs);
  }
  static void add(const LanePoints& a, const LanePoints& b, LanePoints& out) {
    store(curve::add<F>(load(a), load(b)), out);
  }
  static std::uint32_t equal(const LanePoints& a, const LanePoints& b) {
    return F::mask_bits(curve::equal<F>(load(a), load(b)));
  }
  static void mul_point(const LaneScalars& k, const LanePoints& q, LanePoints& out) {
    const Scalar* ks[kLanes];
    for (int i = 0; i < kLanes; ++i) ks[i] = &k[i];
    store(curve::mul_point<F>(ks, load(q)), out);
  }
  static void mul_fixed(const FixedBaseTable& table, const LaneScalars& k, LanePoints& out) {
    const Scalar* ks[kLanes];
    for (int i = 0; i < kLanes; ++i) ks[i] = &k[i];
    store(curve::mul_fixed<F>(table, ks), out);
  }
  static std::uint32_t elligator2_point(const Lanes& r, std::uint32_t sign, LanePoints& out) {
    const curve::Decoded<F> d = curve::elligator2_point<F>(load(r), F::mask_from_bits(sign));
    store(d.point, out);
    return F::mask_bits(d.valid);
  }

  static LaneOps table(const char* name) {
    return {name,       &binary, &unary, &predicate, &sqrt_ratio, &to_bytes, &from_bytes,
            &decompress, &compress, &add, &equal,    &mul_point,  &mul_fixed, &elligator2_point};
  }
};

}  // namespace veltrane::group::testing
