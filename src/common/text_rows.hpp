// A table of text rows in one flat buffer.
//
// A row is only ever used through the concatenation of its strings (the OKVS
// key's byte form), so the table keeps each row as that concatenation: one
// byte buffer and one end offset per row. Millions of rows cost one
// allocation each for bytes and offsets instead of one per string.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

class TextRows {
 public:
  TextRows() = default;

  void reserve_rows(std::size_t rows) { ends_.reserve(rows); }
  // Append one string to the row being built.
  void append(std::string_view piece) { bytes_.append(piece); }
  // Close the row being built (an empty row is a valid row).
  void end_row() { ends_.push_back(bytes_.size()); }

  std::size_t size() const noexcept { return ends_.size(); }
  bool empty() const noexcept { return ends_.empty(); }
  // The row's byte form: its strings concatenated as UTF-8.
  std::string_view row(std::size_t i) const noexcept {
    std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }

 private:
  std::string bytes_;
  std::vector<std::size_t> ends_;
};

}  // namespace veltrane
