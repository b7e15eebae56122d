// Python argument values to native data.
//
// Byte sequence: an object exporting a one-dimensional C-contiguous buffer
// of unsigned bytes (bytes, bytearray, memoryview, mmap, array('B'), a NumPy
// uint8 array) is read as that buffer; any other non-str object passing the
// sequence check is read item by item through the integer protocol, its
// items being integers 0..255. Table of text rows: a non-str sequence of
// non-str sequences of str, kept as UTF-8. Failures raise the Python error
// (and throw ErrorPending); std::bad_alloc from a growing buffer propagates
// as is.
#pragma once

#include <Python.h>

#include <cstdint>
#include <span>

#include "common/text_rows.hpp"
#include "operations/operations.hpp"

namespace veltrane::python {

// An object's buffer, exported for as long as this guard lives. While it is
// held the exporter refuses to resize or free the memory (a bytearray raises
// BufferError on resize, an mmap on close), so a view of it stays valid.
class HeldBuffer {
 public:
  // Holds the buffer only when it is a one-dimensional C-contiguous array of
  // unsigned bytes (format "B", or none given); otherwise holds nothing and
  // leaves no error pending, so the caller can read the object another way.
  // Throws ErrorPending only for an export that ended in an exception that is
  // no Exception (KeyboardInterrupt, SystemExit).
  explicit HeldBuffer(PyObject* value);
  ~HeldBuffer();
  HeldBuffer(const HeldBuffer&) = delete;
  HeldBuffer& operator=(const HeldBuffer&) = delete;

  bool held() const noexcept { return held_; }
  std::span<const std::uint8_t> bytes() const noexcept;

 private:
  // Py_buffer is not moved once filled: for some exporters its shape points
  // into the structure itself.
  Py_buffer view_{};
  bool held_ = false;
};

// A byte argument as an operation reads it: the caller's own buffer, held
// until the call ends, or else the bytes read item by item. Neither copied
// nor moved, since the view may point into either member.
class ByteArgument {
 public:
  explicit ByteArgument(PyObject* value);
  ByteArgument(const ByteArgument&) = delete;
  ByteArgument& operator=(const ByteArgument&) = delete;

  ops::ByteView view() const noexcept { return view_; }

 private:
  HeldBuffer buffer_;
  ops::Bytes items_;
  ops::ByteView view_;
};

// A copy the caller owns: for secret keys, which are wiped after use and
// must not be wiped in the caller's own memory.
ops::Bytes to_bytes(PyObject* value);
TextRows to_text_rows(PyObject* value);

}  // namespace veltrane::python
