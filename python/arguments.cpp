#include "arguments.h"

#include <cstring>
#include <limits>

#include "errors.h"
#include "filters.h"

namespace py = pybind11;

namespace tarnpy {
namespace {

constexpr std::uint32_t kMaxDimension = 65535;
constexpr py::ssize_t kMaxArraySide = 0x7FFFFFFF;

std::string ShapeText(const py::array& array) {
  py::tuple shape(array.ndim());
  for (py::ssize_t k = 0; k < array.ndim(); ++k) shape[k] = array.shape(k);
  return py::str(shape);
}

bool IsDtype(const py::array& array, char cKind, py::ssize_t iSize) {
  const py::dtype dtype = array.dtype();
  return dtype.kind() == cKind && dtype.itemsize() == iSize && dtype.attr("isnative").cast<bool>();
}

// The array as a plane of T; rows that are not contiguous, or that run
// backwards, are copied.
template <typename T>
Plane<T> PlaneOf(const py::array& array, const char* pcName, const char* pcDtype, char cKind) {
  if (!IsDtype(array, cKind, sizeof(T)))
    throw py::type_error(std::string(pcName) + " must be a numpy array of " + pcDtype + ", not " +
                         std::string(py::str(array.dtype())) + " (convert it with .astype(numpy." + pcDtype +
                         "))");
  if (array.ndim() != 2)
    ThrowArgument(std::string(pcName) + " must be a 2-D array (height, width), not of shape " + ShapeText(array));
  if (array.shape(0) < 1 || array.shape(1) < 1 || array.shape(0) > kMaxArraySide || array.shape(1) > kMaxArraySide)
    ThrowArgument(std::string(pcName) + " of shape " + ShapeText(array) + " is empty or too large");
  Plane<T> plane;
  plane.height = static_cast<std::uint32_t>(array.shape(0));
  plane.width = static_cast<std::uint32_t>(array.shape(1));
  const py::ssize_t iRowStride = array.strides(0);
  if (array.strides(1) == sizeof(T) && iRowStride > 0 && iRowStride % sizeof(T) == 0 &&
      iRowStride / py::ssize_t(sizeof(T)) >= plane.width)
    plane.array = py::array_t<T>::ensure(array);
  else
    plane.array = py::array_t<T, py::array::c_style>::ensure(array);
  if (!plane.array) throw py::error_already_set();
  plane.data = plane.array.data();
  plane.stride = static_cast<std::size_t>(plane.array.strides(0)) / sizeof(T);
  return plane;
}

void CheckSize(const char* pcName, std::uint32_t iWidth, std::uint32_t iHeight, std::uint32_t iMultiple) {
  const auto valid = [&](std::uint32_t iSide) { return iSide % iMultiple == 0 && iSide <= kMaxDimension; };
  if (!valid(iWidth) || !valid(iHeight))
    ThrowArgument(std::string(pcName) + " is " + SizeText(iWidth, iHeight) + " (width x height): both must be multiples of " +
                  std::to_string(iMultiple) + ", at most " + std::to_string(kMaxDimension));
}

bool BoolField(const py::dict& loss, const char* pcKey, bool bDefault) {
  return loss.contains(pcKey) ? py::bool_(loss[pcKey]).cast<bool>() : bDefault;
}

}  // namespace

std::string SizeText(std::uint32_t width, std::uint32_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

Plane<std::uint8_t> ImageArgument(const py::array& image, const char* name) {
  return PlaneOf<std::uint8_t>(image, name, "uint8", 'u');
}

Plane<std::uint8_t> EncodableImage(const py::array& image) {
  Plane<std::uint8_t> plane = ImageArgument(image, "image");
  CheckSize("image", plane.width, plane.height, 16);
  return plane;
}

Plane<float> CoefficientPlane(const py::array& array, bool mdc) {
  Plane<float> plane = PlaneOf<float>(array, "plane", "float32", 'f');
  CheckSize("plane", plane.width, plane.height, mdc ? 16 : 8);
  return plane;
}

Bytes::Bytes(const py::object& data) {
  if (PyObject_GetBuffer(data.ptr(), &m_view, PyBUF_SIMPLE) != 0) {
    PyErr_Clear();
    throw py::type_error("data must be a bytes-like object (bytes, bytearray, a contiguous memoryview), not " +
                         std::string(py::str(py::type::handle_of(data).attr("__name__"))));
  }
}

std::int32_t CoderArgument(const std::string& coder) {
  if (coder == "eceb") return TARN_CODER_ECEB;
  if (coder == "lceb") return TARN_CODER_LCEB;
  ThrowArgument("coder must be 'eceb' or 'lceb', not '" + coder + "'");
}

float QuantStepArgument(double q) {
  const double fOverflow = 0x1.ffffffp127;
  if (q >= fOverflow) return std::numeric_limits<float>::infinity();
  if (q <= -fOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(q);
}

tarn_loss LossArgument(const py::object& loss) {
  tarn_loss settings = {0, 1, 1, 0};
  if (loss.is_none()) return settings;
  if (!py::isinstance<py::dict>(loss)) throw py::type_error("loss must be None or a dict");
  const py::dict fields = loss.cast<py::dict>();
  for (const auto& item : fields) {
    const std::string key = py::str(item.first);
    if (key != "pattern" && key != "spare_border" && key != "reuse_concealed" && key != "post_filter_2d")
      ThrowArgument("unknown loss setting '" + key +
                    "': the keys are pattern, spare_border, reuse_concealed and post_filter_2d");
  }
  if (!fields.contains("pattern")) ThrowArgument("loss needs a 'pattern' (0 to 9)");
  const py::object pattern = fields["pattern"];
  if (!py::isinstance<py::int_>(pattern) || py::isinstance<py::bool_>(pattern) || pattern.cast<long long>() < 0 ||
      pattern.cast<long long>() > 9)
    ThrowArgument("loss pattern must be an int from 0 to 9, not " + std::string(py::repr(pattern)));
  settings.pattern = pattern.cast<std::int32_t>();
  settings.boundary_loss = BoolField(fields, "spare_border", false) ? 0 : 1;
  settings.reuse_concealed = BoolField(fields, "reuse_concealed", true) ? 1 : 0;
  settings.post_filter_2d = BoolField(fields, "post_filter_2d", false) ? 1 : 0;
  return settings;
}

FiltersArgument::FiltersArgument(const py::object& filters) {
  if (py::isinstance<Filters>(filters)) {
    m_pSet = filters.cast<const Filters&>().set;
    return;
  }
  if (!py::isinstance<py::int_>(filters) || py::isinstance<py::bool_>(filters))
    throw py::type_error("filters must be a built-in digit (0 to 9) or a tarn.Filters");
  const long long iDigit = filters.cast<long long>();
  if (iDigit < 0 || iDigit > 9) ThrowArgument("a built-in filter is a digit from 0 to 9, not " + std::to_string(iDigit));
  tarn_filters* pSet = nullptr;
  Check(tarn_filters_builtin(static_cast<std::int32_t>(iDigit), &pSet));
  m_pSet.reset(pSet, tarn_filters_free);
}

}  // namespace tarnpy
