#include "block_codec.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace tarn {

namespace {
// Limits above the coder's exact range are capped (images wider than 2048).
int ModelLimit(std::uint32_t iLimit) {
  return static_cast<int>(std::min<std::uint32_t>(iLimit, kMaxModelLimit));
}

void InitBank(CBinModel* pModels, int iCount, std::uint32_t iLimit) {
  for (int i = 0; i < iCount; ++i) pModels[i].Init(1, 1, ModelLimit(iLimit));
}
}  // namespace

CBlockCodec::CBlockCodec(std::uint32_t iWidth, std::uint32_t iHeight)
    : CBlockCodec(iWidth, iHeight, CArray2D<float>()) {}

CBlockCodec::CBlockCodec(std::uint32_t iWidth, std::uint32_t iHeight, CArray2D<float>&& plane)
    : m_iWidth(iWidth), m_iHeight(iHeight), m_iBlocksX(iWidth / 8), m_iBlocksY(iHeight / 8) {
  if (plane.Data() != nullptr)
    _d = std::move(plane);
  else
    _d.Allocate(iHeight, iWidth);
  m_piLastSig.resize(m_iBlocksX);
  m_piEcebCoef = reinterpret_cast<int*>(_d.Data());
  m_pcScanEnd.Allocate((std::size_t(m_iBlocksX) + 2) * (m_iBlocksY + 2));
  m_piSignificant.Allocate((std::size_t(m_iBlocksX) + 2) * (m_iBlocksY + 2));
  m_pfDcPred.resize(iWidth);
  for (int k = 0; k < 16; ++k) {
    m_aiHorOffset[k] = k;
    m_aiVerOffset[k] = static_cast<int>(k * iWidth);
  }
  for (auto& line : m_apcZero) line.resize(m_iBlocksX);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      int z = kRasterToZigzag[i * 8 + j];
      m_aiZigzagCol[z] = j;
      m_aiZigzagRow[z] = i;
    }
  std::fill(std::begin(m_aiCoef), std::end(m_aiCoef), 0);
  std::fill(std::begin(m_apfBlock), std::end(m_apfBlock), nullptr);
  InitBank(&m_pSignModel, 1, iWidth);
  InitBank(m_apMagModel, 4, 50);
  InitBank(m_apEobModel, 9, iWidth);
  InitBank(m_apSigModel, 18, iWidth);
  InitBank(m_apEcebSigModel, 48, 8u * iWidth);
  InitBank(m_apEcebEobModel, 21, iWidth);
  InitBank(&m_pRefineModel, 1, iWidth);
}

std::uint64_t CBlockCodec::FootprintBytes(std::uint32_t iWidth, std::uint32_t iHeight) {
  // The plane (with the coefficient store in its memory) at 4 bytes a
  // sample, 9 bytes a block of significance and scan length (new planes in
  // an encoder, loss masks in a decoder: 4 bytes a block at most), row
  // tables, lines, and the bands of the conversions between the plane and
  // the store (a copy of one band for each thread converting, of which
  // there are rarely more than a few).
  const std::uint64_t iSamples = std::uint64_t(iWidth) * iHeight;
  return 4 * iSamples + iSamples / 64 * 13 + 8 * std::uint64_t(iHeight) + 144 * std::uint64_t(iWidth) +
         2 * 9 * (std::uint64_t(iWidth) + iHeight);
}

void CBlockCodec::SetPlaneRaw(const unsigned char* pcBytes) {
  std::memcpy(_d[0], pcBytes, sizeof(float) * m_iWidth * static_cast<std::size_t>(m_iHeight));
}

void CBlockCodec::SetPlane(const float* pfValues) {
  std::copy(pfValues, pfValues + static_cast<std::size_t>(m_iWidth) * m_iHeight, _d[0]);
}

void CBlockCodec::GetPlane(float* pfValues) const {
  const float* pfPlane = _d[0];
  std::copy(pfPlane, pfPlane + static_cast<std::size_t>(m_iWidth) * m_iHeight, pfValues);
}

void CBlockCodec::SetBlock(int bx, int by) { GetBlockRows(bx, by, m_apfBlock); }

CBlockEncoder::CBlockEncoder(std::uint32_t iWidth, std::uint32_t iHeight)
    : CBlockCodec(iWidth, iHeight) {
  m_piNewPlanes.Allocate(std::size_t(m_iBlocksX) * m_iBlocksY);
}

CCodingPass::CCodingPass(CBlockEncoder* pEncoder) : m_pEncoder(pEncoder) {
  pEncoder->m_pArithEnc.Start();
  if (pEncoder->m_iThreads < 2) return;
  try {
    pEncoder->m_pCoding.reset(new CCodingThread(&pEncoder->m_pArithEnc, &pEncoder->m_pBitWriter));
  } catch (const std::system_error&) {
    // No thread to be had: the pass codes in place.
  }
}

int CCodingPass::Finish() {
  if (m_pEncoder->m_pCoding) m_pEncoder->m_pCoding->Finish();
  m_pEncoder->m_pCoding.reset();
  m_pEncoder->m_pArithEnc.Flush(&m_pEncoder->m_pBitWriter);
  CBitWriter& writer = m_pEncoder->m_pBitWriter;
  return writer.Overflowed() ? kQuantOverflow : writer.GetByteCount();
}

CBlockDecoder::CBlockDecoder(std::uint32_t iWidth, std::uint32_t iHeight)
    : CBlockDecoder(iWidth, iHeight, CArray2D<float>()) {}

CBlockDecoder::CBlockDecoder(std::uint32_t iWidth, std::uint32_t iHeight, CArray2D<float>&& plane)
    : CBlockCodec(iWidth, iHeight, std::move(plane)) {
  m_pcDataLossMask.Allocate(m_iBlocksY, m_iBlocksX);
  m_pcDataLossMaskCopy.Allocate(m_iBlocksY, m_iBlocksX);
}

void CBlockDecoder::ShowPlane(tarn_plane_kind kind) const {
  if (m_diagnostics.pfnPlane == nullptr) return;
  tarn_diagnostic_plane plane = {kind, m_iWidth, m_iHeight, _d.Data(), nullptr};
  if (kind == TARN_PLANE_LOST_MASK) {
    plane.width = m_iBlocksX;
    plane.height = m_iBlocksY;
    plane.values = nullptr;
    plane.mask = m_pcDataLossMaskCopy.Data();
  }
  m_diagnostics.pfnPlane(m_diagnostics.pUser, &plane);
}

void CBlockDecoder::Warn(const char* pcLine) const {
  if (m_diagnostics.pfnWarning != nullptr) m_diagnostics.pfnWarning(m_diagnostics.pUser, pcLine);
}

}  // namespace tarn
