// encode, decode, encode_coefficients and decode_coefficients: the library's
// coding calls, run without the GIL so that threads code at once.
#include <pybind11/numpy.h>

#include <new>
#include <string>
#include <vector>

#include "arguments.h"
#include "bindings.h"
#include "errors.h"

namespace py = pybind11;

namespace tarnpy {
namespace {

std::int32_t ThreadsArgument(int iThreads) {
  if (iThreads < 0) ThrowArgument("threads must be 0 (one per core) or a positive count, not " + std::to_string(iThreads));
  return iThreads;
}

tarn_encode_options EncodeOptions(double q, const std::string& coder, bool mdc, int iThreads) {
  tarn_encode_options options;
  Check(tarn_encode_options_init(&options));
  options.q = QuantStepArgument(q);
  options.coder = CoderArgument(coder);
  options.mdc = mdc ? 1 : 0;
  options.threads = ThreadsArgument(iThreads);
  return options;
}

tarn_decode_options DecodeOptions(const std::string& coder, bool mdc, int iThreads) {
  tarn_decode_options options;
  Check(tarn_decode_options_init(&options));
  options.coder = CoderArgument(coder);
  options.mdc = mdc ? 1 : 0;
  options.threads = ThreadsArgument(iThreads);
  return options;
}

py::bytes StreamBytes(const tarn_encoded& stream) {
  const std::unique_ptr<uint8_t, decltype(&tarn_free)> data(stream.data, tarn_free);
  return py::bytes(reinterpret_cast<const char*>(stream.data), stream.size);
}

py::bytes Encode(const py::array& array, double q, const std::string& coder, bool mdc, const py::object& filters,
                 int iThreads) {
  const Plane<std::uint8_t> image = EncodableImage(array);
  const FiltersArgument set(filters);
  tarn_encode_options options = EncodeOptions(q, coder, mdc, iThreads);
  options.filters = set.Get();
  tarn_encoded stream;
  tarn_status status;
  {
    py::gil_scoped_release release;
    status = tarn_encode(image.data, image.width, image.height, image.stride, &options, &stream);
  }
  Check(status);
  return StreamBytes(stream);
}

py::bytes EncodeCoefficients(const py::array& array, double q, const std::string& coder, bool mdc, int iThreads) {
  const Plane<float> plane = CoefficientPlane(array, mdc);
  const tarn_encode_options options = EncodeOptions(q, coder, mdc, iThreads);
  // The library takes the plane row-major without a stride.
  const py::array_t<float, py::array::c_style> packed = py::array_t<float, py::array::c_style>::ensure(plane.array);
  tarn_encoded stream;
  tarn_status status;
  {
    py::gil_scoped_release release;
    status = tarn_encode_coefficients(packed.data(), plane.width, plane.height, &options, &stream);
  }
  Check(status);
  return StreamBytes(stream);
}

// What the reconstruction hands to its callbacks, copied while it runs
// (without the GIL: no Python object is touched).
struct Diagnostics {
  std::vector<float> vPlanes[3];  // by tarn_plane_kind; the mask's stays empty
  std::vector<std::uint8_t> vMask;
  std::uint32_t aiWidth[3] = {}, aiHeight[3] = {};
  bool abSeen[3] = {};
  std::vector<std::string> vWarnings;
  bool bOutOfMemory = false;  // a copy failed (the callbacks must not throw)
};

void OnPlane(void* pUser, const tarn_diagnostic_plane* pPlane) {
  Diagnostics& d = *static_cast<Diagnostics*>(pUser);
  const std::size_t iCount = std::size_t(pPlane->width) * pPlane->height;
  try {
    if (pPlane->kind == TARN_PLANE_LOST_MASK)
      d.vMask.assign(pPlane->mask, pPlane->mask + iCount);
    else
      d.vPlanes[pPlane->kind].assign(pPlane->values, pPlane->values + iCount);
  } catch (const std::bad_alloc&) {
    d.bOutOfMemory = true;
    return;
  }
  d.aiWidth[pPlane->kind] = pPlane->width;
  d.aiHeight[pPlane->kind] = pPlane->height;
  d.abSeen[pPlane->kind] = true;
}

void OnWarning(void* pUser, const char* pcLine) {
  Diagnostics& d = *static_cast<Diagnostics*>(pUser);
  try {
    d.vWarnings.emplace_back(pcLine);
  } catch (const std::bad_alloc&) {
    d.bOutOfMemory = true;
  }
}

template <typename T>
py::object ArrayOf(const std::vector<T>& values, bool bSeen, std::uint32_t iWidth, std::uint32_t iHeight) {
  if (!bSeen) return py::none();
  py::array_t<T> array({py::ssize_t(iHeight), py::ssize_t(iWidth)});
  std::copy(values.begin(), values.end(), array.mutable_data());
  return std::move(array);
}

py::dict InfoOf(const Diagnostics& d, const tarn_decoded& out) {
  py::dict info;
  info["lost_data"] = ArrayOf(d.vPlanes[TARN_PLANE_LOST_DATA], d.abSeen[TARN_PLANE_LOST_DATA],
                              d.aiWidth[TARN_PLANE_LOST_DATA], d.aiHeight[TARN_PLANE_LOST_DATA]);
  info["before_post"] = ArrayOf(d.vPlanes[TARN_PLANE_BEFORE_POST], d.abSeen[TARN_PLANE_BEFORE_POST],
                                d.aiWidth[TARN_PLANE_BEFORE_POST], d.aiHeight[TARN_PLANE_BEFORE_POST]);
  info["lost_mask"] = ArrayOf(d.vMask, d.abSeen[TARN_PLANE_LOST_MASK], d.aiWidth[TARN_PLANE_LOST_MASK],
                              d.aiHeight[TARN_PLANE_LOST_MASK]);
  py::list bytesRead;
  for (int k = 0; k < out.descriptions; ++k) bytesRead.append(out.bytes_read[k]);
  info["bytes_read"] = bytesRead;
  py::list warnings;
  for (const std::string& line : d.vWarnings) warnings.append(line);
  info["warnings"] = warnings;
  return info;
}

// Decodes with the options, without the GIL; the result's buffers are the
// caller's.
tarn_decoded Run(const py::object& data, const tarn_decode_options& options) {
  const Bytes stream(data);
  tarn_decoded out;
  tarn_status status;
  {
    py::gil_scoped_release release;
    status = tarn_decode(stream.Data(), stream.Size(), &options, &out);
  }
  Check(status);
  return out;
}

py::object Decode(const py::object& data, const std::string& coder, bool mdc, const py::object& filters,
                  const py::object& loss, bool diagnostics, int iThreads) {
  const FiltersArgument set(filters);
  tarn_filter_info info;
  Check(tarn_filters_get_info(set.Get(), &info));
  if (!(info.sections & TARN_SECTION_POSTFILTER))
    ThrowArgument("these filters were loaded with reader='prefilter' and have no post-filter: load them with "
                  "reader='full' to decode");
  tarn_decode_options options = DecodeOptions(coder, mdc, iThreads);
  options.filters = set.Get();
  options.loss = LossArgument(loss);
  Diagnostics record;
  if (diagnostics) {
    options.on_plane = OnPlane;
    options.on_warning = OnWarning;
    options.user_data = &record;
  }
  const tarn_decoded out = Run(data, options);
  py::array_t<std::uint8_t> image = AdoptBuffer(out.pixels, out.height, out.width);
  if (record.bOutOfMemory) Check(TARN_ERR_OUT_OF_MEMORY);
  if (!diagnostics) return std::move(image);
  return py::make_tuple(image, InfoOf(record, out));
}

py::array_t<float> DecodeCoefficients(const py::object& data, const std::string& coder, bool mdc, int iThreads) {
  tarn_decode_options options = DecodeOptions(coder, mdc, iThreads);
  options.coefficients_only = 1;
  const tarn_decoded out = Run(data, options);
  return AdoptBuffer(out.plane, out.height, out.width);
}

}  // namespace

void AddCodec(py::module_& module) {
  module.def("encode", &Encode, py::arg("image"), py::arg("q"), py::arg("coder") = "eceb", py::arg("mdc") = false,
             py::arg("filters") = 0, py::arg("threads") = 1, R"doc(Encodes a 2-D uint8 array (height, width; both multiples of 16, at most 65535) with
quantisation step q and returns the compressed stream: the bytes tarnpack writes for the same
image, filter, coder and MDC. coder is 'eceb' (bit plane by bit plane) or 'lceb' (block by
block); mdc codes four descriptions; filters is a built-in digit 0 to 9 or a tarn.Filters (its
pre-filter is used); threads is how many threads the call may use (0: one per core), which
changes nothing but the time. A non-contiguous array is copied. The stream records neither the coder,
the filters nor MDC: decode must be given the same. Raises TypeError for another dtype,
tarn.ArgumentError (a ValueError) for another shape or size, tarn.QuantStepError for a q that
is not positive and finite, tarn.QuantTooSmallError for one too small to quantise with.
)doc");
  module.def("decode", &Decode, py::arg("data"), py::arg("coder") = "eceb", py::arg("mdc") = false,
             py::arg("filters") = 0, py::arg("loss") = py::none(), py::arg("diagnostics") = false, py::arg("threads") = 1, R"doc(Decodes a compressed stream (bytes-like) into a 2-D uint8 array: the image tarnunpack writes
with the same choices. coder, mdc and filters must be the encoder's (filters: a digit or a
tarn.Filters read with reader='full', whose post-filter and filters for lost blocks are used);
without mdc an MDC stream decodes its first description as a half-size image. threads is as
for encode.

loss simulates lost blocks: None, or a dict with 'pattern' (0, no loss, to 9; tarnunpack -l)
and optionally 'spare_border' (True spares the border blocks, -b 0; default False),
'reuse_concealed' (False uses only received blocks, -r 0; default True) and 'post_filter_2d'
(True: the loss post-filter in both directions, -x 1; default False).

With diagnostics=True it returns (image, info): info['lost_data'] and info['before_post'] are
the float32 planes tarnunpack dumps to LostData.raw and BeforePost.raw (before_post is None
where none is written: loss pattern 5, or concealment that stopped), info['lost_mask'] the
uint8 mask of LostMask.raw (one per 8 x 8 block, 1 = lost), info['bytes_read'] a list of the
bytes each description's decoder read, info['warnings'] the concealment's lines.
Raises tarn.TruncatedError or tarn.CorruptError for a stream that cannot be decoded.
)doc");
  module.def("encode_coefficients", &EncodeCoefficients, py::arg("plane"), py::arg("q"), py::arg("coder") = "eceb",
             py::arg("mdc") = false, py::arg("threads") = 1, R"doc(Entropy coding only (tarnpack -c): codes a 2-D float32 plane of transformed coefficients
(height, width; multiples of 8, 16 with mdc, at most 65535) as decode_coefficients returns it,
with step q. Raises tarn.RawPlaneDataError for a NaN or an infinity in the plane.
)doc");
  module.def("decode_coefficients", &DecodeCoefficients, py::arg("data"), py::arg("coder") = "eceb",
             py::arg("mdc") = false, py::arg("threads") = 1, R"doc(Entropy decoding only (tarnunpack -c): the decoded coefficient plane of a stream as a 2-D
float32 array (height, width), block by block as the transform leaves them; with mdc the four
descriptions merged.
)doc");
}

}  // namespace tarnpy
