// Hex and byte helpers shared by the random tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::random {

inline std::vector<std::uint8_t> from_hex(const std::string& hex) {
  std::vector<std::uint8_t> out(hex.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  }
  return out;
}

inline std::string to_hex(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const auto b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

inline std::vector<std::uint8_t> words_to_bytes(const std::uint32_t* words, std::size_t count) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < count; ++i) {
    for (int j = 0; j < 4; ++j) out.push_back(static_cast<std::uint8_t>(words[i] >> (8 * j)));
  }
  return out;
}

}  // namespace veltrane::random
