#include "python/panic.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

#include "python/ref.hpp"

namespace veltrane::python {
namespace {

constexpr const char* kPanicName = "tovarin_runtime.PanicException";
constexpr const char* kPanicDoc =
    "Raised when the native code called from Python panics.\n\n"
    "Like SystemExit, this exception derives from BaseException, so that it typically "
    "propagates all the way up the stack and ends the Python interpreter.";

PyObject* create_panic_type() noexcept {
  PyObject* type = PyErr_NewExceptionWithDoc(kPanicName, kPanicDoc, PyExc_BaseException, nullptr);
  if (!type) {
    PyErr_Print();
    Py_FatalError("Failed to initialize new exception type.");
  }
  return type;
}

// The thread that reaches the boundary is the Python thread that made the
// call; the process's initial thread is the interpreter's main thread.
const char* calling_thread_name() noexcept {
  return syscall(SYS_gettid) == getpid() ? "<main>" : "<unnamed>";
}

// Guarded by the interpreter lock rather than a C++ static: creating the type
// may run Python code (a collection, finalizers) that lets another thread in,
// which must then neither block on a guard nor create a second type.
PyObject* panic_type = nullptr;

}  // namespace

PyObject* panic_exception_type() noexcept {
  if (!panic_type) {
    PyObject* created = create_panic_type();
    if (panic_type)
      Py_DECREF(created);
    else
      panic_type = created;  // Kept for the life of the process.
  }
  return panic_type;
}

void raise_panic(std::string_view message, std::string_view where) noexcept {
  if (where.empty())
    std::fprintf(stderr, "thread '%s' panicked:\n", calling_thread_name());
  else
    std::fprintf(stderr, "thread '%s' panicked at %.*s:\n", calling_thread_name(),
                 static_cast<int>(where.size()), where.data());
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);

  // The panic replaces whatever error was pending when it struck.
  PyErr_Clear();
  Ref text = Ref::steal(PyUnicode_DecodeUTF8(
      message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;  // Its MemoryError stays pending.
  PyErr_SetObject(panic_exception_type(), text.get());
}

}  // namespace veltrane::python
