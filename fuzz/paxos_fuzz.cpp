// Stores from untrusted bytes: Paxos::from_bytes and PaxosView::over, then
// decodes of a few keys.
//
// The input is a store's byte form, optionally preceded by keys: when the
// first byte is 0xff, the next byte gives the number of keys and each key is
// one length byte and that many bytes. Every decode of a parsed store is
// compared with the XOR of its cells read straight from the byte form.
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "schemes/paxos.hpp"
#include "hashable.hpp"

namespace {

using namespace veltrane;

std::uint64_t u64_at(const std::vector<std::uint8_t>& b, std::size_t offset) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | b[offset + i];
  return v;
}

// The value the key's cells give, from the canonical byte form alone.
okvs::OkvsValue cells_of(const std::vector<std::uint8_t>& form, okvs::Hashable key) {
  const std::size_t m = (form.size() - okvs::SEEDS_SIZE - okvs::DENSE_SIZE) / okvs::VALUE_SIZE;
  auto xor_cell = [&](okvs::OkvsValue& x, std::size_t column) {
    for (std::size_t j = 0; j < okvs::VALUE_SIZE; ++j)
      x.bytes[j] ^= form[okvs::SEEDS_SIZE + okvs::VALUE_SIZE * column + j];
  };
  okvs::OkvsValue x;
  xor_cell(x, key.hash_with_seed(u64_at(form, 0)) % m);
  xor_cell(x, key.hash_with_seed(u64_at(form, 8)) % m);
  const std::uint64_t dense = key.hash_with_seed(u64_at(form, 16));
  for (std::size_t i = 0; i < okvs::DENSE_WIDTH; ++i)
    if ((dense >> i) & 1) xor_cell(x, m + i);
  return x;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader in(data, size);
  std::vector<std::string_view> keys{"", "a", "alice|NL01BANK0123456789"};
  if (size > 0 && data[0] == 0xff) {
    in.byte();
    const std::size_t count = in.byte();
    for (std::size_t k = 0; k < count; ++k) {
      auto key = in.take(in.byte());
      keys.emplace_back(reinterpret_cast<const char*>(key.data()), key.size());
    }
  }
  const std::span<const std::uint8_t> form = in.rest();

  std::optional<okvs::Paxos> store;
  if (!fuzz::expect_fatal_or_success([&] { store.emplace(okvs::Paxos::from_bytes(form)); })) {
    // Every form of at least 2072 bytes parses.
    fuzz::require(form.size() < okvs::SEEDS_SIZE + okvs::DENSE_SIZE, "a long form was refused");
    fuzz::require(!fuzz::expect_fatal_or_success([&] { okvs::PaxosView::over(form); }),
                  "a view accepted a form the copy refused");
    return 0;
  }
  fuzz::require(form.size() >= okvs::SEEDS_SIZE + okvs::DENSE_SIZE, "a short form was parsed");

  const std::vector<std::uint8_t> canonical = store->to_bytes();
  const std::size_t m = store->sparse_count();
  fuzz::require(canonical.size() == okvs::SEEDS_SIZE + okvs::VALUE_SIZE * m + okvs::DENSE_SIZE,
                "byte form size");
  fuzz::require((form.size() - canonical.size()) < okvs::VALUE_SIZE, "cells dropped");
  // The seeds and sparse cells are the form's prefix, the dense cells its end.
  fuzz::require(std::memcmp(canonical.data(), form.data(), canonical.size() - okvs::DENSE_SIZE) == 0,
                "seeds or sparse cells changed");
  fuzz::require(std::memcmp(canonical.data() + canonical.size() - okvs::DENSE_SIZE,
                            form.data() + form.size() - okvs::DENSE_SIZE, okvs::DENSE_SIZE) == 0,
                "dense cells changed");
  const okvs::Paxos again = okvs::Paxos::from_bytes(canonical);
  fuzz::require(again.to_bytes() == canonical, "canonical form does not round-trip");
  // Read in place, the form itself, loose remainder and all.
  const okvs::PaxosView view = okvs::PaxosView::over(form);
  fuzz::require(view.sparse_count() == m, "a view counts other cells");

  for (std::string_view key : keys) {
    okvs::OkvsValue value;
    if (!fuzz::expect_fatal_or_success([&] { value = okvs::decode(*store, okvs::Hashable(key)); })) {
      fuzz::require(m == 0, "decode refused a store with sparse cells");
      continue;
    }
    fuzz::require(m > 0, "decode of a store without sparse cells");
    fuzz::require(value == okvs::decode(again, okvs::Hashable(key)), "decode differs after round trip");
    fuzz::require(value == okvs::decode(view, okvs::Hashable(key)), "decode differs in place");
    fuzz::require(value == cells_of(canonical, okvs::Hashable(key)), "decode differs from its cells");
  }
  return 0;
}
