#include "python/boundary.hpp"

#include <cstdio>
#include <new>

#include "common/fatal_error.hpp"
#include "python/errors.hpp"
#include "python/panic.hpp"

namespace veltrane::python {

void translate_current_exception() noexcept {
  try {
    throw;
  } catch (const ErrorPending&) {
    if (!PyErr_Occurred())
      PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  } catch (const FatalError& error) {
    // Formatted without allocating: this runs while memory may be short.
    char where[512];
    std::snprintf(where, sizeof where, "%s:%u", error.file(), error.line());
    raise_panic(error.message(), where);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    raise_panic(error.what(), {});
  } catch (...) {
    raise_panic("native code stopped with an exception that carried no message", {});
  }
}

}  // namespace veltrane::python
