// The module's arguments in the library's terms: images and planes as numpy
// arrays, bytes-like streams, coder names, q, loss settings and filter sets,
// each checked with a message that says what was wrong.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tarn/tarn.h"

namespace tarnpy {

// A 2-D array as the library takes it: width x height samples, row y at
// data + y * stride (elements). Holds the array, or the copy made of one
// whose rows are not contiguous.
template <typename T>
struct Plane {
  pybind11::array_t<T> array;
  const T* data = nullptr;
  std::uint32_t width = 0, height = 0;
  std::size_t stride = 0;
};

// A 2-D uint8 image of any size (up to 2^31 - 1 a side); TypeError for
// another dtype, tarn.ArgumentError for another shape.
Plane<std::uint8_t> ImageArgument(const pybind11::array& image, const char* name);

// An image to encode: also width and height multiples of 16, at most 65535.
Plane<std::uint8_t> EncodableImage(const pybind11::array& image);

// A 2-D float32 coefficient plane to encode: width and height multiples of
// 8 (16 with MDC), at most 65535.
Plane<float> CoefficientPlane(const pybind11::array& plane, bool mdc);

// The bytes of a bytes-like object (bytes, bytearray, memoryview, a
// contiguous array), held while the view lives.
class Bytes {
 public:
  explicit Bytes(const pybind11::object& data);
  ~Bytes() { PyBuffer_Release(&m_view); }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  const void* Data() const { return m_view.buf; }
  std::size_t Size() const { return static_cast<std::size_t>(m_view.len); }

 private:
  Py_buffer m_view;
};

// "eceb" or "lceb" as a tarn_coder.
std::int32_t CoderArgument(const std::string& coder);

// q narrowed to float as tarnpack narrows its argument: a value beyond the
// float range becomes an infinity, which the library refuses.
float QuantStepArgument(double q);

// None, or a dict with "pattern" (0 to 9) and optional "spare_border",
// "reuse_concealed" and "post_filter_2d", as the decoder's loss settings.
tarn_loss LossArgument(const pybind11::object& loss);

// A filter set the library is handed for the length of one call: a digit's
// built-in set, or a tarn.Filters object's.
class FiltersArgument {
 public:
  explicit FiltersArgument(const pybind11::object& filters);
  const tarn_filters* Get() const { return m_pSet.get(); }

 private:
  std::shared_ptr<const tarn_filters> m_pSet;
};

// A numpy array that owns a buffer the library handed out and releases it
// with tarn_free.
template <typename T>
pybind11::array_t<T> AdoptBuffer(T* data, std::uint32_t height, std::uint32_t width) {
  std::unique_ptr<T, decltype(&tarn_free)> owned(data, tarn_free);
  pybind11::capsule owner(data, [](void* p) { tarn_free(p); });
  owned.release();
  return pybind11::array_t<T>({pybind11::ssize_t(height), pybind11::ssize_t(width)}, data, owner);
}

// "W x H" for messages.
std::string SizeText(std::uint32_t width, std::uint32_t height);

}  // namespace tarnpy
