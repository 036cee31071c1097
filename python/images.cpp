// read_image, write_image and psnr: image files through the library's
// readers and writers, and the psnr tool's measure.
#include <pybind11/numpy.h>

#include <cctype>
#include <cmath>

#include "arguments.h"
#include "bindings.h"
#include "errors.h"
#include "files.h"

namespace py = pybind11;

namespace tarnpy {
namespace {

// Any binary PGM of 8-bit samples or a grey PNG (told by its signature),
// of any size up to 65535.
py::array_t<std::uint8_t> ReadImage(const py::object& path) {
  const std::vector<unsigned char> bytes = ReadFile(path);
  tarn_image image;
  tarn_status status;
  {
    py::gil_scoped_release release;
    status = tarn_png_has_signature(bytes.data(), bytes.size())
                 ? tarn_png_read(bytes.data(), bytes.size(), TARN_PGM_ANY, &image)
                 : tarn_pgm_read(bytes.data(), bytes.size(), TARN_PGM_ANY, &image);
  }
  Check(status);
  return AdoptBuffer(image.pixels, image.height, image.width);
}

bool IsPngName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == ".png";
}

void WriteImage(const py::object& path, const py::array& array) {
  const Plane<std::uint8_t> image = ImageArgument(array, "image");
  const bool bPng = IsPngName(PathText(path));
  uint8_t* pcFile = nullptr;
  std::size_t iSize = 0;
  tarn_status status;
  {
    py::gil_scoped_release release;
    status = bPng ? tarn_png_write(image.data, image.width, image.height, image.stride, &pcFile, &iSize)
                  : tarn_pgm_write(image.data, image.width, image.height, image.stride, &pcFile, &iSize);
  }
  Check(status);
  const std::unique_ptr<uint8_t, decltype(&tarn_free)> file(pcFile, tarn_free);
  WriteFile(path, pcFile, iSize);
}

// As the psnr tool: the squared differences summed in double (exact for
// any image), their mean, then 10 log10(255^2 / MSE); inf for equal images.
double Psnr(const py::array& a, const py::array& b) {
  const Plane<std::uint8_t> first = ImageArgument(a, "a"), second = ImageArgument(b, "b");
  if (first.width != second.width || first.height != second.height)
    ThrowArgument("image sizes differ: " + SizeText(first.width, first.height) + " and " +
                  SizeText(second.width, second.height));
  py::gil_scoped_release release;
  double fSum = 0;
  for (std::uint32_t y = 0; y < first.height; ++y)
    for (std::uint32_t x = 0; x < first.width; ++x) {
      const double d = double(first.data[y * first.stride + x]) - second.data[y * second.stride + x];
      fSum += d * d;
    }
  const double fMse = fSum / (double(first.width) * first.height);
  return 10 * std::log10(255.0 * 255.0 / fMse);
}

}  // namespace

void AddImages(py::module_& module) {
  module.def("read_image", &ReadImage, py::arg("path"), R"doc(Reads an image file into a 2-D uint8 array (height, width): a binary PGM (P5, maximum value 1
to 255, samples as stored) or, told by its signature, a grey PNG of 8 bits (1, 2 and 4-bit
grey scaled to 0..255). Any size up to 65535 a side. Raises OSError when the file cannot be
read, tarn.PgmMagicError, PgmFormatError, PngFormatError (colour, alpha, tRNS, 16 bits,
damaged) or TruncatedImageError for a file the library refuses.
)doc");
  module.def("write_image", &WriteImage, py::arg("path"), py::arg("image"), R"doc(Writes a 2-D uint8 array as an image file: an 8-bit grey PNG when the name ends in '.png' (in
any case), else a binary PGM with the header tarnunpack writes; any size. OSError when the file
cannot be written (a partly written file is removed).
)doc");
  module.def("psnr", &Psnr, py::arg("a"), py::arg("b"), R"doc(The PSNR (peak 255) of two 2-D uint8 arrays of the same shape, in dB, as the psnr tool computes
it: 10 log10(255^2 / MSE); inf for equal arrays. Print it as the tool does with
f"PSNR: {value:g} dB".
)doc");
}

}  // namespace tarnpy
