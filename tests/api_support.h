// Helpers of the tests of the public API: encoding into a byte vector and
// the files a decoded result makes.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tarn/tarn.h"
#include "test_files.h"

// A progress callback that records what it saw: whether the percentages
// rose to at most 100, the last one, whether a call came from another
// thread than the one that made the recorder, and it cancels the work at
// call stop_after.
struct ProgressCalls {
  std::thread::id caller = std::this_thread::get_id();
  bool elsewhere = false;
  bool rising = true;
  int count = 0;
  int last = -1;
  int stop_after = 1 << 30;
  static int Progress(void* user, int32_t percent) {
    auto* self = static_cast<ProgressCalls*>(user);
    self->elsewhere |= std::this_thread::get_id() != self->caller;
    self->rising &= percent >= self->last && percent <= 100;
    self->last = percent;
    return ++self->count < self->stop_after;
  }
};

// What a decode shows its callbacks: each diagnostic plane as the bytes
// its dump file holds, and the warnings, each line ended by a line end.
struct SeenDiagnostics {
  std::vector<unsigned char> planes[3];
  std::string warnings;
  void Attach(tarn_decode_options* d) {
    d->on_plane = Plane;
    d->on_warning = Warning;
    d->user_data = this;
  }
  bool operator==(const SeenDiagnostics& o) const {
    return planes[0] == o.planes[0] && planes[1] == o.planes[1] && planes[2] == o.planes[2] &&
           warnings == o.warnings;
  }
  static void Plane(void* user, const tarn_diagnostic_plane* plane) {
    const std::size_t count = std::size_t(plane->width) * plane->height;
    const auto* bytes = plane->kind == TARN_PLANE_LOST_MASK
                            ? plane->mask
                            : reinterpret_cast<const unsigned char*>(plane->values);
    const std::size_t size = plane->kind == TARN_PLANE_LOST_MASK ? count : 4 * count;
    static_cast<SeenDiagnostics*>(user)->planes[plane->kind].assign(bytes, bytes + size);
  }
  static void Warning(void* user, const char* line) {
    static_cast<SeenDiagnostics*>(user)->warnings += std::string(line) + "\n";
  }
};

// A stream as bytes, with the record table of its tarn_encoded.
struct Encoded {
  std::vector<unsigned char> bytes;
  tarn_encoded encoded = {};
  std::vector<unsigned char> Record(int k) const {
    const auto start = bytes.begin() + static_cast<std::ptrdiff_t>(encoded.record_offset[k]);
    return std::vector<unsigned char>(start, start + 12 + encoded.payload_length[k]);
  }
};

inline Encoded Encode(const PgmImage& image, const tarn_encode_options& options) {
  Encoded e;
  const tarn_status status = tarn_encode(image.pixels.data(), static_cast<uint32_t>(image.width),
                                         static_cast<uint32_t>(image.height),
                                         static_cast<size_t>(image.width), &options, &e.encoded);
  EXPECT_EQ(status, TARN_OK) << tarn_status_string(status);
  if (status == TARN_OK) e.bytes.assign(e.encoded.data, e.encoded.data + e.encoded.size);
  tarn_free(e.encoded.data);
  e.encoded.data = nullptr;
  return e;
}

inline std::vector<unsigned char> Take(uint8_t* data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  tarn_free(data);
  return bytes;
}

// The PGM file of a decoded image, as the library writes it.
inline std::vector<unsigned char> PgmFile(const tarn_decoded& out) {
  uint8_t* data = nullptr;
  size_t size = 0;
  EXPECT_EQ(tarn_pgm_write(out.pixels, out.width, out.height, out.width, &data, &size), TARN_OK);
  return Take(data, size);
}

// The raw plane file of decoded coefficients.
inline std::vector<unsigned char> RawPlaneFile(const tarn_decoded& out) {
  uint8_t* data = nullptr;
  size_t size = 0;
  EXPECT_EQ(tarn_raw_plane_write(out.plane, out.width, out.height, &data, &size), TARN_OK);
  return Take(data, size);
}
