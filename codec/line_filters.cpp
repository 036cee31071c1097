#include "line_filters.h"

#include "block_codec.h"

namespace tarn {

namespace {
float F(double v) { return static_cast<float>(v); }

void Type0Pre(float* z) {
  for (int k = 0; k < 4; ++k) z[4 + k] = F(double(z[4 + k]) * kType0Scale[k]);
  z[7] = F(z[7] - double(z[6]) * 0.125);
  z[6] = F((double(z[7]) - z[5]) * 0.375 + z[6]);
  z[5] = F((z[6] * 0.5 - z[4] * 0.375) + z[5]);
  z[4] = F(z[5] * 0.75 + z[4]);
}

void Type0Post(float* z) {
  z[4] = F(z[4] - z[5] * 0.75);
  z[5] = F(z[5] - (z[6] * 0.5 - z[4] * 0.375));
  z[6] = F(z[6] - (double(z[7]) - z[5]) * 0.375);
  z[7] = F(z[6] * 0.125 + z[7]);
  for (int k = 0; k < 4; ++k) z[4 + k] = F(double(z[4 + k]) / kType0Scale[k]);
}

void LiftPre(float* z, const LiftingConstants& c) {
  for (int k = 0; k < 4; ++k) z[4 + k] = F(double(z[4 + k]) * c.s[k]);
  z[7] = F(z[7] - double(z[6]) * c.l[0]);
  z[6] = F(double(z[7]) * c.l[1] + z[6]);
  z[6] = F(z[6] - double(z[5]) * c.l[2]);
  z[5] = F(double(z[6]) * c.l[3] + z[5]);
  z[5] = F(z[5] - double(z[4]) * c.l[4]);
  z[4] = F(double(z[5]) * c.l[5] + z[4]);
}

void LiftPost(float* z, const LiftingConstants& c) {
  z[4] = F(z[4] - double(z[5]) * c.l[5]);
  z[5] = F(double(z[4]) * c.l[4] + z[5]);
  z[5] = F(z[5] - double(z[6]) * c.l[3]);
  z[6] = F(double(z[5]) * c.l[2] + z[6]);
  z[6] = F(z[6] - double(z[7]) * c.l[1]);
  z[7] = F(double(z[6]) * c.l[0] + z[7]);
  for (int k = 0; k < 4; ++k) z[4 + k] = F(double(z[4 + k]) / c.s[k]);
}

void Lift(float* z, bool bPre, int iType) {
  if (iType == 0) {
    bPre ? Type0Pre(z) : Type0Post(z);
  } else if (iType == 1 || iType == 5) {
    const LiftingConstants& c = iType == 1 ? kType1 : kType5;
    bPre ? LiftPre(z, c) : LiftPost(z, c);
  }
}
}  // namespace

void FilterLine8(float* p, const int* piOffsets, bool bPre, int iType, const float* pfMatrix) {
  if (iType == -1) {
    FilterLineMatrix(p, piOffsets, pfMatrix, 8);
    return;
  }
  float z[8];
  for (int k = 0; k < 8; ++k) z[k] = p[piOffsets[k]];
  for (int j = 0; j < 4; ++j) {
    z[j] = F(double(z[j]) + z[7 - j]);
    z[7 - j] = F(z[j] * 0.5 - z[7 - j]);
  }
  Lift(z, bPre, iType);
  for (int j = 0; j < 4; ++j) {
    z[7 - j] = F(z[j] * 0.5 - z[7 - j]);
    z[j] = F(double(z[j]) - z[7 - j]);
  }
  for (int k = 0; k < 8; ++k) p[piOffsets[k]] = z[k];
}

void FilterLineMatrix(float* p, const int* piOffsets, const float* pfMatrix, int iSize) {
  float afIn[16], afOut[16];
  for (int j = 0; j < iSize; ++j) afIn[j] = p[piOffsets[j]];
  for (int i = 0; i < iSize; ++i) {
    float y = 0.0f;
    for (int j = 0; j < iSize; ++j) y = F(double(pfMatrix[16 * i + j]) * afIn[j] + y);
    afOut[i] = y;
  }
  for (int i = 0; i < iSize; ++i) p[piOffsets[i]] = afOut[i];
}

void CBlockCodec::Filter8(float* p, const int* piOffsets, bool bPre, int iType,
                          const float* pfMatrix) const {
  FilterLine8(p, piOffsets, bPre, iType, pfMatrix);
}

void CBlockCodec::FilterMatrix8(float* p, const int* piOffsets, const float* pfMatrix) const {
  FilterLineMatrix(p, piOffsets, pfMatrix, 8);
}

void CBlockCodec::FilterMatrix16(float* p, const int* piOffsets, const float* pfMatrix) const {
  FilterLineMatrix(p, piOffsets, pfMatrix, 16);
}

}  // namespace tarn
