// Bit-plane coefficient coding (ECEB). The quantised plane is coded plane by
// plane from its largest magnitude's top bit down to bit 0. In each plane
// every block walks its scan (a prefix of the zigzag order), refining the
// coefficients that are already significant and coding significance and
// sign for the others, then decides whether the scan must be extended along
// the zigzag order to reach coefficients that became significant.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dct.h"
#include "eceb_contexts.h"
#include "parallel.h"
#include "quantiser.h"

namespace tarn {

namespace {
// The largest header exponent: quantised magnitudes are below 2^31.
constexpr int kMaxPlaneExponent = 30;

// Block rows coded so far, over all planes from 2^n down, once row by of
// the plane 2^p is done.
int PlaneRowsDone(int n, int p, int by, int iBlocksY) { return (n - p) * iBlocksY + by + 1; }

float PredictDc(const std::vector<float>& P, int bx, int by) {
  if (by == 0) return bx == 0 ? 1024.0f : P[bx - 1];
  if (bx == 0) return P[0];
  return RoundedMean(P[bx], P[bx - 1]);
}

// A mask of raster positions as one of zigzag indices: a table per byte.
struct MaskReorder {
  std::uint64_t aaiByByte[8][256] = {};
};

constexpr MaskReorder MakeMaskReorder() {
  MaskReorder m;
  for (int k = 0; k < 8; ++k)
    for (int v = 0; v < 256; ++v)
      for (int b = 0; b < 8; ++b)
        if ((v >> b) & 1) m.aaiByByte[k][v] |= std::uint64_t(1) << kRasterToZigzag[8 * k + b];
  return m;
}
constexpr MaskReorder kMaskReorder = MakeMaskReorder();

std::uint64_t ZigzagMask(std::uint64_t iRaster) {
  std::uint64_t iMask = 0;
  for (int k = 0; k < 8; ++k) iMask |= kMaskReorder.aaiByByte[k][(iRaster >> (8 * k)) & 0xFF];
  return iMask;
}

// The index of the highest bit of iMask at or above s, or 0 when none.
int HighestFrom(std::uint64_t iMask, int s) {
  if (s >= 64 || (iMask >> s) == 0) return 0;
  return 63 - __builtin_clzll(iMask);
}

// One plane of block (bx, by) on the decoder side. K never overflows: a
// coefficient first becomes +-T0 <= 2^30 and then gains at most one lower
// bit per plane, so its magnitude stays below 2 T0.
void DecodeBlockPlane(CBlockDecoder* pDec, int bx, int by) {
  const int T = pDec->m_iThreshold;
  const std::size_t iPos = pDec->Bordered(bx, by);
  const CNeighbours neighbours(*pDec, iPos);
  int* const piBlock = pDec->EcebBlock(bx, by);
  auto K = [piBlock](int l) -> int& { return piBlock[kZigzagToRaster[l]]; };
  const std::uint64_t iBefore = pDec->m_piSignificant[iPos];
  std::uint64_t iOwn = iBefore;
  const int iScanEnd = pDec->m_pcScanEnd[iPos];
  for (int l = 0; l < iScanEnd; ++l) {
    if ((iBefore >> l) & 1) {
      if (pDec->Decode(&pDec->m_pRefineModel)) K(l) += K(l) > 0 ? T : -T;
    } else if (pDec->Decode(&pDec->m_apEcebSigModel[neighbours.Sig(l, iOwn)])) {
      K(l) = pDec->Decode(&pDec->m_pSignModel) ? -T : T;
      iOwn |= std::uint64_t(1) << l;
    }
  }
  // A damaged payload may ask to extend a scan that is already whole: then
  // there is nothing to extend.
  if (pDec->Decode(&pDec->m_apEcebEobModel[neighbours.Eob(iScanEnd)])) {
    int iEnd = iScanEnd;
    for (int l = iScanEnd; l < 64; ++l) {
      iEnd = l + 1;
      if (!pDec->Decode(&pDec->m_apEcebSigModel[neighbours.Sig(l, iOwn)])) continue;
      K(l) = pDec->Decode(&pDec->m_pSignModel) ? -T : T;
      iOwn |= std::uint64_t(1) << l;
      if (l == 63 || !pDec->Decode(&pDec->m_apEcebEobModel[neighbours.Eob(l + 1)])) break;
    }
    pDec->m_pcScanEnd[iPos] = static_cast<std::uint8_t>(iEnd);
  }
  pDec->m_piSignificant[iPos] = iOwn;
}

// Dequantises the store into the plane (its own memory) in two passes, as
// the encoder quantised it. First the DCs in block order, each with its
// prediction added and left in the store in place of its index; the
// decoder's line rounds the product before the sum (the encoder's rounds
// once), so the two may differ in the last bit when K x q is not a float.
// Then the bands of block rows, each on its own, with the inverse DCT
// unless only the coefficients are wanted.
void RestorePlane(CBlockDecoder* pDec, float fQ, bool bEntropyOnly) {
  for (int by = 0; by < static_cast<int>(pDec->m_iBlocksY); ++by)
    for (int bx = 0; bx < static_cast<int>(pDec->m_iBlocksX); ++bx) {
      int* piDc = pDec->EcebBlock(bx, by);
      const float fDc = static_cast<float>(double(Dequantise(*piDc, fQ)) + PredictDc(pDec->m_pfDcPred, bx, by));
      pDec->m_pfDcPred[bx] = fDc;
      std::memcpy(piDc, &fDc, sizeof fDc);
    }
  const std::size_t iWidth = pDec->m_iWidth;
  ParallelRanges(pDec->m_iThreads, static_cast<int>(pDec->m_iBlocksY), 4, [&](int by0, int by1) {
    std::vector<int> vBand(8 * iWidth);
    float* apfRows[8];
    for (int by = by0; by < by1; ++by) {
      std::memcpy(vBand.data(), pDec->EcebBlock(0, by), vBand.size() * sizeof(int));
      for (int bx = 0; bx < static_cast<int>(pDec->m_iBlocksX); ++bx) {
        const int* piCoef = vBand.data() + 64 * bx;
        pDec->GetBlockRows(bx, by, apfRows);
        pDec->m_pKernels->pfnDequantiseBlock(piCoef, fQ, apfRows);
        std::memcpy(apfRows[0], piCoef, sizeof(float));
        if (!bEntropyOnly) pDec->m_pKernels->pfnInverseDct(apfRows);
      }
    }
  });
}

// Scan lengths of 1 for every block of the grid; the border keeps 0.
void StartScans(CBlockCodec* pCodec) {
  for (int by = 0; by < static_cast<int>(pCodec->m_iBlocksY); ++by)
    std::fill_n(&pCodec->m_pcScanEnd[pCodec->Bordered(0, by)], pCodec->m_iBlocksX, 1);
}
}  // namespace

void CBlockEncoder::EncodeEcebBlock(int bx, int by, int iPlane) {
  const int T = m_iThreshold;
  const std::size_t iPos = Bordered(bx, by);
  const std::size_t iBlock = std::size_t(by) * m_iBlocksX + bx;
  const CNeighbours neighbours(*this, iPos);
  const int* const piBlock = m_piEcebCoef + 64 * iBlock;
  auto K = [piBlock](int l) { return piBlock[kZigzagToRaster[l]]; };
  const std::uint64_t iBefore = m_piSignificant[iPos];
  const std::uint64_t iNew =
      (m_piNewPlanes[iBlock] >> iPlane) & 1 ? ZigzagMask(m_pKernels->pfnInPlane(piBlock, T)) : 0;
  const std::uint64_t iOwn = iBefore | iNew;
  m_piSignificant[iPos] = iOwn;
  const int iScanEnd = m_pcScanEnd[iPos];
  for (int l = 0; l < iScanEnd; ++l) {
    if ((iBefore >> l) & 1)
      Encode((std::abs(K(l)) & T) != 0, &m_pRefineModel);
    else if (Encode((iNew >> l) & 1, &m_apEcebSigModel[neighbours.Sig(l, iOwn)]))
      Encode(K(l) < 0, &m_pSignModel);
  }
  // Every coefficient at or above the scan's end is below 2T: only the new
  // ones can extend it.
  const int iEnd = HighestFrom(iNew, iScanEnd);
  if (!Encode(iEnd >= iScanEnd, &m_apEcebEobModel[neighbours.Eob(iScanEnd)])) return;
  for (int l = iScanEnd; l <= iEnd; ++l) {
    if (!Encode((iNew >> l) & 1, &m_apEcebSigModel[neighbours.Sig(l, iOwn)])) continue;
    Encode(K(l) < 0, &m_pSignModel);
    if (l < 63) Encode(l < iEnd, &m_apEcebEobModel[neighbours.Eob(l + 1)]);
  }
  m_pcScanEnd[iPos] = static_cast<std::uint8_t>(iEnd + 1);
}

// The previous plane's threshold (2T) is not kept: at T = 2^30 it would not
// fit 32 bits; the tests against it read the significance masks instead.
int CBlockEncoder::EncodeEceb(std::vector<unsigned char>* pvPayload, float fQ) {
  const int iBlocksX = static_cast<int>(m_iBlocksX), iBlocksY = static_cast<int>(m_iBlocksY);
  auto predict = [this](int bx, int by) { return PredictDc(m_pfDcPred, bx, by); };
  auto update = [this, fQ](int bx, int K0, float fPrediction) {
    m_pfDcPred[bx] = static_cast<float>(double(K0) * fQ + fPrediction);
  };
  if (!QuantiseDcs(this, fQ, predict, update)) return kQuantOverflow;
  const bool bFits = QuantiseBands(this, fQ, [this](int bx, int by) {
    const int* K = EcebBlock(bx, by);
    std::uint32_t iPlanes = 0;
    for (int l = 0; l < 64; ++l)
      if (const int a = std::abs(K[l])) iPlanes |= std::uint32_t(1) << (31 - __builtin_clz(static_cast<std::uint32_t>(a)));
    m_piNewPlanes[std::size_t(by) * m_iBlocksX + bx] = iPlanes;
  });
  if (!bFits) return kQuantOverflow;
  // The top plane: that of the largest magnitude (0 for a plane of zeros).
  std::uint32_t iAllPlanes = 0;
  for (std::size_t b = 0; b < std::size_t(m_iBlocksX) * m_iBlocksY; ++b) iAllPlanes |= m_piNewPlanes[b];
  const int n = iAllPlanes == 0 ? 0 : 31 - __builtin_clz(iAllPlanes);
  StartScans(this);
  m_pBitWriter.Init(pvPayload);
  m_pBitWriter.WriteBits(n, 8);
  CCodingPass pass(this);
  for (int p = n; p >= 0; --p) {
    m_iThreshold = 1 << p;
    for (int by = 0; by < iBlocksY; ++by) {
      for (int bx = 0; bx < iBlocksX; ++bx) EncodeEcebBlock(bx, by, p);
      if (!KeepGoing(PlaneRowsDone(n, p, by, iBlocksY), (n + 1) * iBlocksY)) return kCancelled;
    }
  }
  return pass.Finish();
}

std::int64_t CBlockDecoder::DecodeEceb(const unsigned char* pcPayload, std::int64_t iLength, float fQ,
                                       bool bEntropyOnly) {
  const int iBlocksX = static_cast<int>(m_iBlocksX), iBlocksY = static_cast<int>(m_iBlocksY);
  // The store (the plane's memory) and masks of a fresh object hold zeros,
  // the values every coefficient starts from; they stay untouched where a
  // damaged payload stops early.
  StartScans(this);
  m_pBitReader.Init(pcPayload, iLength);
  int n = m_pBitReader.ReadBits(8);
  if (n > kMaxPlaneExponent) return kDamagedPayload;
  m_pArithDec.Start(&m_pBitReader);
  for (int p = n; p >= 0; --p) {
    m_iThreshold = 1 << p;
    for (int by = 0; by < iBlocksY; ++by) {
      for (int bx = 0; bx < iBlocksX; ++bx) {
        DecodeBlockPlane(this, bx, by);
        if (m_pBitReader.BytesPastEnd() > kMaxBytesPastEnd) return kDamagedPayload;
      }
      if (!KeepGoing(PlaneRowsDone(n, p, by, iBlocksY), (n + 1) * iBlocksY)) return kCancelled;
    }
  }
  RestorePlane(this, fQ, bEntropyOnly);
  return m_pBitReader.GetByteCount();
}

}  // namespace tarn
