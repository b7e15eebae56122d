// An owned reference to a Python object.
//
// Every object the module creates or keeps while it works is held by a Ref,
// so that an error or exception anywhere in a call releases everything built
// so far. Only the calling thread, holding the interpreter lock, uses these.
#pragma once

#include <Python.h>

#include <utility>

namespace veltrane::python {

class Ref {
 public:
  Ref() noexcept = default;
  // Takes over a new reference (which may be null).
  static Ref steal(PyObject* object) noexcept { return Ref(object); }
  // Adds a reference of its own to a borrowed one.
  static Ref borrow(PyObject* object) noexcept { return Ref(Py_XNewRef(object)); }

  Ref(Ref&& other) noexcept : object_(other.release()) {}
  Ref& operator=(Ref&& other) noexcept {
    Ref(std::move(other)).swap(*this);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(object_); }

  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // Hands the reference to the caller (for example back to the interpreter).
  PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  void swap(Ref& other) noexcept { std::swap(object_, other.object_); }

 private:
  explicit Ref(PyObject* object) noexcept : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace veltrane::python
