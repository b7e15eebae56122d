#include "python/conversions.hpp"

#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "python/errors.hpp"
#include "python/ref.hpp"

namespace veltrane::python {
namespace {

// The checks shared by both kinds and by each row; returns the size the
// object reports, or 0 when it cannot say (its error is cleared).
std::size_t check_sequence(PyObject* value) {
  if (PyUnicode_Check(value)) raise(PyExc_ValueError, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(value)) raise_conversion_failure(value, "Sequence");
  Py_ssize_t size = PySequence_Size(value);
  if (size < 0) {
    PyErr_Clear();
    return 0;
  }
  return static_cast<std::size_t>(size);
}

// The reported size is only a hint: a __len__ may claim more than memory
// holds (or than the object yields), so a reservation that cannot be met is
// dropped and the buffer grows with the items actually read.
template <class Reserve>
void reserve_hint(Reserve&& reserve) noexcept {
  try {
    reserve();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

// Calls visit(item) for every item in iteration order. Exact lists and
// tuples are walked by index, which is what their iterators do (the list's
// length is read again at every step); everything else goes through
// PyObject_GetIter / PyIter_Next.
template <class Visit>
void for_each_item(PyObject* sequence, Visit&& visit) {
  if (PyList_CheckExact(sequence)) {
    for (Py_ssize_t i = 0; i < PyList_Size(sequence); ++i) {
      Ref item = Ref::borrow(PyList_GetItem(sequence, i));
      visit(item.get());
    }
    return;
  }
  if (PyTuple_CheckExact(sequence)) {
    const Py_ssize_t size = PyTuple_Size(sequence);
    for (Py_ssize_t i = 0; i < size; ++i) visit(PyTuple_GetItem(sequence, i));
    return;
  }
  Ref iterator = checked(PyObject_GetIter(sequence));
  while (PyObject* next = PyIter_Next(iterator.get())) {
    Ref item = Ref::steal(next);
    visit(item.get());
  }
  if (PyErr_Occurred()) throw ErrorPending();
}

std::uint8_t to_byte(PyObject* item) {
  long value;
  if (PyLong_CheckExact(item)) {
    // PyNumber_Index would hand back this very object.
    value = PyLong_AsLong(item);
  } else {
    Ref index = checked(PyNumber_Index(item));
    value = PyLong_AsLong(index.get());
  }
  if (value == -1 && PyErr_Occurred()) throw ErrorPending();
  if (value < 0 || value > 255)
    raise(PyExc_OverflowError, "out of range integral type conversion attempted");
  return static_cast<std::uint8_t>(value);
}

std::string_view utf8_of(PyObject* element) {
  if (!PyUnicode_Check(element)) raise_conversion_failure(element, "PyString");
  Py_ssize_t length = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(element, &length);
  if (!utf8) throw_pending();
  return {utf8, static_cast<std::size_t>(length)};
}

// The item-by-item reading; a str is refused before anything else.
ops::Bytes items_of(PyObject* value) {
  const std::size_t size = check_sequence(value);
  ops::Bytes bytes;
  reserve_hint([&] { bytes.reserve(size); });
  for_each_item(value, [&](PyObject* item) { bytes.push_back(to_byte(item)); });
  return bytes;
}

// A buffer is read whole only when its items are unsigned single bytes in
// one dimension: there the whole read gives what reading its items as
// integers gives. For 'b' the items would be negative, for 'c' one-byte
// bytes objects, for wider formats larger integers, and a 0- or
// 2-dimensional array has no integer items at all; such buffers take the
// item path, which keeps their results and errors what they always were.
// (An mmap, whose items are one-byte bytes objects, and a PickleBuffer,
// which is no sequence, describe their memory as "B" and are read whole.)
bool is_flat_unsigned_bytes(const Py_buffer& view) noexcept {
  const bool unsigned_bytes = view.format == nullptr || std::strcmp(view.format, "B") == 0;
  return unsigned_bytes && view.itemsize == 1 && view.ndim == 1 &&
         PyBuffer_IsContiguous(&view, 'C');
}

}  // namespace

HeldBuffer::HeldBuffer(PyObject* value) {
  // A str exports no buffer; it is refused by the item path.
  if (PyUnicode_Check(value) || !PyObject_CheckBuffer(value)) return;
  if (PyObject_GetBuffer(value, &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
    // Not contiguous, a released memoryview, a closed mmap: the item path
    // meets the same object and reports it as it always has. Only an
    // interruption (from a class's own __buffer__, since 3.12) goes on as is.
    if (!PyErr_ExceptionMatches(PyExc_Exception)) throw ErrorPending();
    PyErr_Clear();
    return;
  }
  if (!is_flat_unsigned_bytes(view_)) {
    PyBuffer_Release(&view_);
    return;
  }
  held_ = true;
}

HeldBuffer::~HeldBuffer() {
  if (held_) PyBuffer_Release(&view_);
}

std::span<const std::uint8_t> HeldBuffer::bytes() const noexcept {
  if (!held_) return {};
  return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
}

ByteArgument::ByteArgument(PyObject* value) : buffer_(value) {
  if (buffer_.held()) {
    view_ = buffer_.bytes();
  } else {
    items_ = items_of(value);
    view_ = items_;
  }
}

ops::Bytes to_bytes(PyObject* value) {
  HeldBuffer buffer(value);
  if (!buffer.held()) return items_of(value);
  const std::span<const std::uint8_t> bytes = buffer.bytes();
  return ops::Bytes(bytes.begin(), bytes.end());
}

TextRows to_text_rows(PyObject* value) {
  const std::size_t size = check_sequence(value);
  TextRows rows;
  reserve_hint([&] { rows.reserve_rows(size); });
  for_each_item(value, [&](PyObject* row) {
    check_sequence(row);
    for_each_item(row, [&](PyObject* element) { rows.append(utf8_of(element)); });
    rows.end_row();
  });
  return rows;
}

}  // namespace veltrane::python
