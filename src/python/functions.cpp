// Entry routines: bind and convert the arguments, run the operation on native
// data and convert its result, all with the interpreter lock held (the
// operations' worker threads never see Python objects). Byte arguments may
// be the caller's own buffers, held until the routine returns. The only
// Python code that runs meanwhile is that of converting later arguments (an
// __index__, a sequence's __iter__); it may change a held buffer's bytes,
// which the operation then reads, but cannot resize or free it: exporters
// refuse that while a buffer is held. The operation itself runs with the
// lock held, so nothing else touches the buffers while its workers read them.
#include "python/functions.hpp"

#include <array>

#include "common/secret.hpp"
#include "operations/operations.hpp"
#include "python/binding.hpp"
#include "python/boundary.hpp"
#include "python/results.hpp"

namespace veltrane::python {
namespace {

constexpr std::array<const char*, 0> kKeyGenParams{};
constexpr std::array kBuildOkvsParams{"public_key", "strings_in_each_row"};
constexpr std::array kInitiateQueriesParams{"sender_data", "receiver_data", "sender_okvs",
                                            "receiver_okvs", "zadiv_pk"};
constexpr std::array kRandomizeParams{"ciphertexts"};
constexpr std::array kCombineParams{"sender_ciphertexts", "receiver_ciphertexts"};
constexpr std::array kDecryptParams{"points", "bank_secret_key"};
constexpr std::array kFinishParams{"sender_points", "receiver_points", "gamma_points",
                                   "delta_points", "zadiv_secret_key"};

constexpr Signature kKeyGen{"key_gen", kKeyGenParams};
constexpr Signature kBuildOkvs{"build_okvs", kBuildOkvsParams};
constexpr Signature kInitiateQueries{"initiate_queries", kInitiateQueriesParams};
constexpr Signature kRandomize{"randomize", kRandomizeParams};
constexpr Signature kCombine{"combine", kCombineParams};
constexpr Signature kDecrypt{"decrypt", kDecryptParams};
constexpr Signature kFinish{"finish", kFinishParams};

PyObject* key_gen(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded([&] {
    Arguments bound(kKeyGen, args, nargs, kwnames);
    auto [public_key, secret_key] = ops::key_gen();
    std::array<ops::Bytes, 2> parts{std::move(public_key), std::move(secret_key)};
    WipeOnExit wipe_secret(parts[1]);
    return tuple_of_int_lists(parts);
  });
}

PyObject* build_okvs(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return guarded([&] {
    Arguments bound(kBuildOkvs, args, nargs, kwnames);
    const ByteArgument public_key = bound.byte_argument(0);
    const TextRows rows = bound.text_rows(1);
    return int_list(ops::build_okvs(public_key.view(), rows));
  });
}

PyObject* initiate_queries(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
  return guarded([&] {
    Arguments bound(kInitiateQueries, args, nargs, kwnames);
    const TextRows sender_data = bound.text_rows(0);
    const TextRows receiver_data = bound.text_rows(1);
    const ByteArgument sender_okvs = bound.byte_argument(2);
    const ByteArgument receiver_okvs = bound.byte_argument(3);
    const ByteArgument zadiv_pk = bound.byte_argument(4);
    return int_list(
        ops::initiate_queries(sender_data, receiver_data, sender_okvs.view(),
                              receiver_okvs.view(), zadiv_pk.view()));
  });
}

PyObject* randomize(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
  return guarded([&] {
    Arguments bound(kRandomize, args, nargs, kwnames);
    const ByteArgument ciphertexts = bound.byte_argument(0);
    return int_list(ops::randomize(ciphertexts.view()));
  });
}

PyObject* combine(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded([&] {
    Arguments bound(kCombine, args, nargs, kwnames);
    const ByteArgument sender_ciphertexts = bound.byte_argument(0);
    const ByteArgument receiver_ciphertexts = bound.byte_argument(1);
    return tuple_of_int_lists(
        ops::combine(sender_ciphertexts.view(), receiver_ciphertexts.view()));
  });
}

PyObject* decrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded([&] {
    Arguments bound(kDecrypt, args, nargs, kwnames);
    const ByteArgument points = bound.byte_argument(0);
    ops::Bytes bank_secret_key = bound.bytes(1);
    WipeOnExit wipe_key(bank_secret_key);
    return int_list(ops::decrypt(points.view(), bank_secret_key));
  });
}

PyObject* finish(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded([&] {
    Arguments bound(kFinish, args, nargs, kwnames);
    const ByteArgument sender_points = bound.byte_argument(0);
    const ByteArgument receiver_points = bound.byte_argument(1);
    const ByteArgument gamma_points = bound.byte_argument(2);
    const ByteArgument delta_points = bound.byte_argument(3);
    ops::Bytes zadiv_secret_key = bound.bytes(4);
    WipeOnExit wipe_key(zadiv_secret_key);
    return bool_list(ops::finish(sender_points.view(), receiver_points.view(),
                                 gamma_points.view(), delta_points.view(), zadiv_secret_key));
  });
}

// The table stores fast-call routines in PyMethodDef's generic slot.
PyCFunction entry(_PyCFunctionFastWithKeywords routine) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(routine));
}

constexpr int kFlags = METH_FASTCALL | METH_KEYWORDS;

// An empty documentation is NULL, so that __doc__ is None.
PyMethodDef table[] = {
    {"key_gen", entry(key_gen), kFlags,
     "Generates a key pair for this party, returning a tuple with (public_key: bytes, "
     "secret_key: bytes)."},
    {"build_okvs", entry(build_okvs), kFlags,
     "Builds an OKVS for one party. Takes the public key of this party and the data from the "
     "database, which is a list of rows. Each row is a list of the relevant columns as a "
     "String."},
    {"initiate_queries", entry(initiate_queries), kFlags, nullptr},
    {"randomize", entry(randomize), kFlags, nullptr},
    {"combine", entry(combine), kFlags, nullptr},
    {"decrypt", entry(decrypt), kFlags, nullptr},
    {"finish", entry(finish), kFlags, nullptr},
};

}  // namespace

std::span<PyMethodDef> function_table() noexcept { return table; }

}  // namespace veltrane::python
