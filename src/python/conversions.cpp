#include "python/conversions.hpp"

#include <cstddef>
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

}  // namespace

ops::Bytes to_bytes(PyObject* value) {
  const std::size_t size = check_sequence(value);
  ops::Bytes bytes;
  reserve_hint([&] { bytes.reserve(size); });
  for_each_item(value, [&](PyObject* item) { bytes.push_back(to_byte(item)); });
  return bytes;
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
