// Keeps what a decoder hands to its diagnostics (planes and warnings), for
// the tests of loss simulation, concealment and reconstruction.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "block_codec.h"

struct DiagnosticsRecorder {
  // Each plane kind as last shown: the floats, or the mask bytes.
  std::map<int, std::vector<float>> planes;
  std::vector<unsigned char> mask;
  std::string warnings;  // the lines, each ended by a line end

  void Attach(tarn::CBlockDecoder& dec) {
    dec.m_diagnostics.pfnPlane = OnPlane;
    dec.m_diagnostics.pfnWarning = OnWarning;
    dec.m_diagnostics.pUser = this;
  }
  bool Has(int kind) const { return kind == TARN_PLANE_LOST_MASK ? !mask.empty() : planes.count(kind) > 0; }
  // True when the plane of that kind was shown and equals the decoder's.
  bool Shows(int kind, const tarn::CBlockDecoder& dec) const {
    const auto it = planes.find(kind);
    if (it == planes.end()) return false;
    const float* p = dec._d[0];
    return it->second == std::vector<float>(p, p + std::size_t(dec.m_iWidth) * dec.m_iHeight);
  }

 private:
  static void OnPlane(void* user, const tarn_diagnostic_plane* plane) {
    auto* self = static_cast<DiagnosticsRecorder*>(user);
    const std::size_t count = std::size_t(plane->width) * plane->height;
    if (plane->kind == TARN_PLANE_LOST_MASK)
      self->mask.assign(plane->mask, plane->mask + count);
    else
      self->planes[plane->kind].assign(plane->values, plane->values + count);
  }
  static void OnWarning(void* user, const char* line) {
    static_cast<DiagnosticsRecorder*>(user)->warnings += std::string(line) + "\n";
  }
};
