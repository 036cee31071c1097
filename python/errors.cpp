#include "errors.h"

namespace py = pybind11;

namespace tarnpy {
namespace {

// An exception class: its name, its status (or -1 for a class that only
// groups others), its base in the module ("" for Error itself), an extra
// built-in base, and its docstring.
struct ErrorClass {
  const char* pcName;
  int iStatus;
  const char* pcBase;
  PyObject* pExtraBase;
  const char* pcDoc;
};

// Listed bases first. Statuses the module's calls cannot return (a progress
// callback's cancellation, a header that needs more data, a raw plane file's
// size, the decoder's pixel limit, a PGM size under the encoder's rules) have
// no class of their own and come as tarn.Error.
std::vector<ErrorClass> Classes() {
  return {
      {"Error", -1, "", nullptr,
       "Base of every error of the library. str(e) is the library's message, e.status the library's\n"
       "status code (tarn_status in tarn.h)."},
      {"ArgumentError", TARN_ERR_INVALID_ARGUMENT, "Error", PyExc_ValueError,
       "An argument the library cannot take: a size that is not a multiple of 16, a coder that is\n"
       "not 'eceb' or 'lceb', a loss pattern out of 0..9, ... Also a ValueError."},
      {"OutOfMemoryError", TARN_ERR_OUT_OF_MEMORY, "Error", PyExc_MemoryError,
       "An allocation failed. Also a MemoryError."},
      {"FilterFileError", -1, "Error", nullptr, "Base of the errors of a filter configuration file."},
      {"FilterSizeError", TARN_ERR_FILTER_SIZE, "FilterFileError", nullptr,
       "The filter file's size field is not 8, or its pre- or post-filter holds a NaN or an infinity."},
      {"LossFilterSizeError", TARN_ERR_LOSS_POSTFILTER_SIZE, "FilterFileError", nullptr,
       "The filter file's loss post-filter size is not 0, 8 or 16, or the filter is not finite."},
      {"DctWienerSizeError", TARN_ERR_DCT_WIENER_SIZE, "FilterFileError", nullptr,
       "The filter file's DCT Wiener size is not 0 or 8, or a Wiener filter is not finite."},
      {"ImageFileError", -1, "Error", nullptr, "Base of the errors of an image file that read_image reads."},
      {"PgmMagicError", TARN_ERR_PGM_MAGIC, "ImageFileError", nullptr,
       "The file begins neither with the PNG signature nor with a binary PGM's \"P5\"."},
      {"PgmFormatError", TARN_ERR_PGM_FORMAT, "ImageFileError", nullptr,
       "The PGM header is unusable: a size of 0 or over 65535, a maximum value not in 1..255, ..."},
      {"PngFormatError", TARN_ERR_PNG_FORMAT, "ImageFileError", nullptr,
       "The PNG is not grey of at most 8 bits (colour, alpha, a tRNS chunk, 16 bits), is larger\n"
       "than 65535, or its image data is damaged."},
      {"TruncatedImageError", TARN_ERR_TRUNCATED_INPUT, "ImageFileError", nullptr,
       "The image file ends before its samples do."},
      {"RawPlaneDataError", TARN_ERR_RAW_PLANE_DATA, "Error", nullptr,
       "A coefficient plane to encode holds a NaN or an infinity."},
      {"QuantStepError", TARN_ERR_QUANT_STEP, "Error", nullptr, "q is not a positive finite number."},
      {"QuantTooSmallError", TARN_ERR_QUANT_TOO_SMALL, "QuantStepError", nullptr,
       "q is so small that a quantised value would not fit 32 bits."},
      {"TruncatedError", TARN_ERR_TRUNCATED_STREAM, "Error", nullptr, "The compressed stream ends early."},
      {"CorruptError", TARN_ERR_CORRUPT_STREAM, "Error", nullptr,
       "The compressed stream cannot be decoded: a size that is not a positive multiple of 8, a\n"
       "payload length over 2^31 - 1, a q that is no positive number, a damaged payload."},
  };
}

const char* ClassName(tarn_status status) {
  for (const ErrorClass& c : Classes())
    if (c.iStatus == status) return c.pcName;
  return "Error";
}

// Raises the module's class for the error, with e.status set.
void Raise(const StatusError& error) {
  py::object cls = py::module_::import("tarn").attr(ClassName(error.Status()));
  py::object exception = cls(error.what());
  exception.attr("status") = static_cast<int>(error.Status());
  PyErr_SetObject(cls.ptr(), exception.ptr());
}

}  // namespace

void Check(tarn_status status) {
  if (status != TARN_OK) throw StatusError(status, tarn_status_string(status));
}

void ThrowArgument(const std::string& message) { throw StatusError(TARN_ERR_INVALID_ARGUMENT, message); }

void AddExceptions(py::module_& module) {
  for (const ErrorClass& c : Classes()) {
    py::tuple bases = *c.pcBase == '\0' ? py::make_tuple(py::handle(PyExc_Exception))
                      : c.pExtraBase != nullptr
                          ? py::make_tuple(module.attr(c.pcBase), py::handle(c.pExtraBase))
                          : py::make_tuple(module.attr(c.pcBase));
    const std::string qualified = std::string("tarn.") + c.pcName;
    PyObject* cls = PyErr_NewExceptionWithDoc(qualified.c_str(), c.pcDoc, bases.ptr(), nullptr);
    if (cls == nullptr) throw py::error_already_set();
    module.add_object(c.pcName, py::reinterpret_steal<py::object>(cls));
  }
  py::register_exception_translator([](std::exception_ptr pending) {
    try {
      if (pending) std::rethrow_exception(pending);
    } catch (const StatusError& error) {
      Raise(error);
    }
  });
}

}  // namespace tarnpy
