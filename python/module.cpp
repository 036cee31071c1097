// The Python module tarn: a thin binding of the library's public C API
// (include/tarn/tarn.h) over numpy arrays and bytes.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "bindings.h"
#include "errors.h"
#include "filters.h"
#include "tarn/tarn.h"

namespace py = pybind11;

PYBIND11_MODULE(tarn, module) {
  module.doc() = R"doc(tarn: an experimental still-image codec for 8-bit grey-scale images.

A lapped transform (a pre-filter across every interior 8 x 8 block boundary, then a block DCT),
a dead-zone quantiser with step q and an adaptive binary arithmetic coder with two context
schemes, 'eceb' (bit plane by bit plane, the default) and 'lceb' (block by block); with mdc=True
four descriptions that each decode alone. The decoder can simulate lost blocks, conceal them
and post-filter around them.

Images are 2-D uint8 numpy arrays (height, width); compressed streams are bytes, the very bytes
tarnpack writes, and decode gives the image tarnunpack writes. A stream records neither the
coder, the filters nor MDC: decode must be given the encoder's choices.

    import tarn
    image = tarn.read_image("camera.png")           # PGM or grey PNG
    stream = tarn.encode(image, q=20)
    decoded = tarn.decode(stream, loss={"pattern": 3})
    print(f"PSNR: {tarn.psnr(image, decoded):g} dB")

Coding runs without the GIL, so a thread pool over many images uses every core; one
tarn.Filters may be shared by all threads. Failures raise tarn.Error subclasses, one per
status of the library, with its message (tarn.ArgumentError is also a ValueError); a wrong
array dtype raises TypeError.
)doc";
  module.attr("__version__") = tarn_version_string();
  // pybind11 reaches numpy through a function-local static, made on first
  // use by importing numpy, which lets go of the GIL: made first by two
  // threads at once, each would wait for the other. Made here, at import.
  py::array_t<std::uint8_t>(0);
  py::array_t<float>(0);
  tarnpy::AddExceptions(module);
  tarnpy::AddFilters(module);
  tarnpy::AddCodec(module);
  tarnpy::AddImages(module);
}
