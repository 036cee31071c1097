#include "filters.h"

#include <pybind11/numpy.h>

#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "errors.h"
#include "files.h"

namespace py = pybind11;

namespace tarnpy {
namespace {

std::int32_t ReaderArgument(const std::string& reader) {
  if (reader == "full") return TARN_FILTERS_FULL;
  if (reader == "prefilter") return TARN_FILTERS_PREFILTER;
  ThrowArgument("reader must be 'full' or 'prefilter', not '" + reader + "'");
}

Filters Load(const void* pData, std::size_t iSize, const std::string& reader) {
  const std::int32_t iReader = ReaderArgument(reader);
  tarn_filters* pSet = nullptr;
  Filters filters;
  Check(tarn_filters_load(pData, iSize, iReader, &filters.info, &pSet));
  filters.set.reset(pSet, tarn_filters_free);
  return filters;
}

Filters FromBytes(const py::object& data, const std::string& reader) {
  const Bytes bytes(data);
  return Load(bytes.Data(), bytes.Size(), reader);
}

// Bytes after the longest filter file are never read.
Filters FromFile(const py::object& path, const std::string& reader) {
  const std::vector<unsigned char> bytes = ReadFile(path, TARN_FILTER_FILE_MAX_SIZE);
  return Load(bytes.data(), bytes.size(), reader);
}

Filters Builtin(int digit) {
  if (digit < 0 || digit > 9) ThrowArgument("a built-in filter is a digit from 0 to 9, not " + std::to_string(digit));
  tarn_filters* pSet = nullptr;
  Check(tarn_filters_builtin(digit, &pSet));
  Filters filters;
  filters.set.reset(pSet, tarn_filters_free);
  Check(tarn_filters_get_info(pSet, &filters.info));
  return filters;
}

// A matrix of the set as a new array, or None when the section was not read.
py::object Matrix(const Filters& filters, std::uint32_t iSection, const float* pfValues, py::ssize_t iRows,
                  py::ssize_t iCols) {
  if ((filters.info.sections & iSection) == 0) return py::none();
  py::array_t<float> matrix({iRows, iCols});
  std::copy(pfValues, pfValues + iRows * iCols, matrix.mutable_data());
  return std::move(matrix);
}

std::string Repr(const Filters& filters) {
  if (filters.info.digit >= 0) return "tarn.Filters.builtin(" + std::to_string(filters.info.digit) + ")";
  std::string text = "<tarn.Filters from a file:";
  if (!(filters.info.sections & TARN_SECTION_POSTFILTER)) text += " pre-filter only";
  else text += " pre- and post-filter";
  if (filters.info.sections & TARN_SECTION_LOSS_FILTER) text += ", loss post-filter " + std::to_string(filters.info.loss_size);
  if (filters.info.sections & TARN_SECTION_DCT_WIENER) text += ", DCT Wiener";
  if (filters.info.sections & TARN_SECTION_BOUNDARY_WIENER) text += ", boundary Wiener";
  return text + ">";
}

}  // namespace

void AddFilters(py::module_& module) {
  py::class_<Filters>(module, "Filters", R"doc(A filter set: the lapped pre-filter and post-filter and the decoder's optional filters for lost
blocks. Made by Filters.builtin(digit) or loaded from a filter configuration file with
Filters.from_file(path) or Filters.from_bytes(data); encode and decode take one as `filters`
(a plain digit 0 to 9 stands for the built-in set). A set is immutable and may be shared by any
number of threads. Its sections read as new float32 arrays, None where the file has none.
)doc")
      .def_static("builtin", &Builtin, py::arg("digit"), R"doc(The built-in set of a digit 0 to 9: 0, 1 and 5 are the built-in lifting filters, any other
digit the identity (no pre/post-filter). It has no filters for lost blocks.
)doc")
      .def_static("from_bytes", &FromBytes, py::arg("data"), py::arg("reader") = "full", R"doc(Loads a set from the bytes of a filter configuration file. reader 'full' reads the whole file,
as tarnunpack does (what decode needs); 'prefilter' only the size field and the pre-filter, as
tarnpack does (such a set encodes, but cannot decode). A file that ends early reads as zeros.
Raises a tarn.FilterFileError (FilterSizeError, LossFilterSizeError, DctWienerSizeError) for an
invalid field.
)doc")
      .def_static("from_file", &FromFile, py::arg("path"), py::arg("reader") = "full", R"doc(Loads a set from a filter configuration file, as from_bytes; OSError when it cannot be read.
)doc")
      .def_property_readonly(
          "digit",
          [](const Filters& f) { return f.info.digit >= 0 ? py::object(py::int_(f.info.digit)) : py::object(py::none()); },
          "The built-in digit, or None for a set from a file.")
      .def_property_readonly(
          "prefilter", [](const Filters& f) { return Matrix(f, TARN_SECTION_PREFILTER, f.info.prefilter, 8, 8); },
          "The 8 x 8 pre-filter: output sample i of a block boundary is the sum of [i, j] times input j.")
      .def_property_readonly(
          "postfilter", [](const Filters& f) { return Matrix(f, TARN_SECTION_POSTFILTER, f.info.postfilter, 8, 8); },
          "The 8 x 8 post-filter, or None for a set read with reader='prefilter'.")
      .def_property_readonly(
          "loss_filter",
          [](const Filters& f) {
            return Matrix(f, TARN_SECTION_LOSS_FILTER, f.info.loss_filter, f.info.loss_size, f.info.loss_size);
          },
          "The loss post-filter next to lost blocks: 8 x 8 (non-PR) or 16 x 16 (general Wiener), or None.")
      .def_property_readonly(
          "dct_wiener", [](const Filters& f) { return Matrix(f, TARN_SECTION_DCT_WIENER, f.info.dct_wiener, 8, 16); },
          "The 8 x 16 DCT Wiener filter that estimates lost blocks, or None.")
      .def_property_readonly(
          "boundary_wiener",
          [](const Filters& f) { return Matrix(f, TARN_SECTION_BOUNDARY_WIENER, f.info.boundary_wiener, 8, 8); },
          "The 8 x 8 boundary Wiener filter, or None.")
      .def("__repr__", &Repr);
}

}  // namespace tarnpy
