#include "python/binding.hpp"

#include <string>
#include <string_view>

#include "python/conversions.hpp"
#include "python/errors.hpp"

namespace veltrane::python {
namespace {

// 'a' / 'a' and 'b' / 'a', 'b', and 'c'
std::string quoted_list(std::span<const char* const> names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) text += ",";
      text += i + 1 == names.size() ? " and " : " ";
    }
    text += "'";
    text += names[i];
    text += "'";
  }
  return text;
}

// Index of the parameter named like the keyword (compared as UTF-8 bytes), or
// the parameter count when there is none or the name has no UTF-8 form.
std::size_t parameter_index(const Signature& signature, PyObject* keyword) {
  if (!PyUnicode_Check(keyword)) raise_conversion_failure(keyword, "PyString");
  Py_ssize_t length = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(keyword, &length);
  if (!utf8) {
    PyErr_Clear();
    return signature.parameters.size();
  }
  std::string_view name(utf8, static_cast<std::size_t>(length));
  for (std::size_t i = 0; i < signature.parameters.size(); ++i)
    if (name == signature.parameters[i]) return i;
  return signature.parameters.size();
}

[[noreturn]] void raise_missing(const Signature& signature,
                                const std::array<PyObject*, Arguments::kMaxParameters>& values) {
  std::array<const char*, Arguments::kMaxParameters> missing{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < signature.parameters.size(); ++i)
    if (!values[i]) missing[count++] = signature.parameters[i];
  std::string names = quoted_list(std::span(missing.data(), count));
  PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s",
               signature.name, count, count == 1 ? "" : "s", names.c_str());
  throw ErrorPending();
}

// Runs one conversion under the parameter-name rule.
template <class Convert>
auto convert_parameter(const char* parameter, Convert&& convert) {
  try {
    return convert();
  } catch (const ErrorPending&) {
    prefix_parameter_name(parameter);
    throw;
  }
}

}  // namespace

Arguments::Arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames)
    : signature_(signature) {
  const auto count = static_cast<Py_ssize_t>(signature.parameters.size());
  if (nargs > count) {
    PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd %s given",
                 signature.name, count, nargs, nargs == 1 ? "was" : "were");
    throw ErrorPending();
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) values_[i] = args[i];

  const Py_ssize_t keywords = kwnames ? PyTuple_Size(kwnames) : 0;
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* keyword = PyTuple_GetItem(kwnames, k);
    std::size_t i = parameter_index(signature, keyword);
    if (i == signature.parameters.size()) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'",
                   signature.name, keyword);
      throw ErrorPending();
    }
    if (values_[i]) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                   signature.name, signature.parameters[i]);
      throw ErrorPending();
    }
    values_[i] = args[nargs + k];
  }

  for (std::size_t i = 0; i < signature.parameters.size(); ++i)
    if (!values_[i]) raise_missing(signature, values_);
}

ByteArgument Arguments::byte_argument(std::size_t i) const {
  return convert_parameter(signature_.parameters[i], [&] { return ByteArgument(values_[i]); });
}

ops::Bytes Arguments::bytes(std::size_t i) const {
  return convert_parameter(signature_.parameters[i], [&] { return to_bytes(values_[i]); });
}

TextRows Arguments::text_rows(std::size_t i) const {
  return convert_parameter(signature_.parameters[i], [&] { return to_text_rows(values_[i]); });
}

}  // namespace veltrane::python
