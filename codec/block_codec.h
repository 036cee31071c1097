// The codec object: geometry, the float image plane, scan tables, the coder
// state of LCEB and ECEB and the banks of context models. Apart from the DCT
// and the arithmetic coder, every operation of the codec core is a member.
// Each object serves one plane and one coding or decoding pass, because the
// context models are initialised only at construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "arith_coder.h"

constexpr int BLK_SIZE = 8;

// Raster position (row * 8 + column) to zigzag index.
extern const int kRasterToZigzag[64];

// A rows x cols array: a table of row pointers into one contiguous block, so
// that a[r][c] is element (r, c) and a[0] + r * cols is row r.
template <typename T>
class CArray2D {
 public:
  void Allocate(std::size_t iRows, std::size_t iCols) {
    m_vData.assign(iRows * iCols, T());
    m_vRows.resize(iRows);
    for (std::size_t r = 0; r < iRows; ++r) m_vRows[r] = m_vData.data() + r * iCols;
  }
  T* operator[](std::size_t r) { return m_vRows[r]; }
  const T* operator[](std::size_t r) const { return m_vRows[r]; }

 private:
  std::vector<T> m_vData;
  std::vector<T*> m_vRows;
};

// Result of the coders when a plane cannot be coded or decoded.
constexpr int kQuantOverflow = -1;  // a quantised value would not fit 32 bits
constexpr int kDamagedPayload = -2;  // the payload cannot be a coded plane

class CBlockCodec {
 public:
  CBlockCodec(std::uint32_t iWidth, std::uint32_t iHeight);
  CBlockCodec(const CBlockCodec&) = delete;
  CBlockCodec& operator=(const CBlockCodec&) = delete;

  // Bytes a W x H object occupies, for the programs' memory check.
  static double FootprintBytes(std::uint32_t iWidth, std::uint32_t iHeight);

  void SetPlaneRaw(const unsigned char* pcBytes);
  void SetPlane(const float* pfValues);
  void GetPlane(float* pfValues) const;

  // Line filters across one block boundary (p addresses sample 0 of the line).
  void Filter8(float* p, const int* piOffsets, bool bPre, int iType, const float* pfMatrix) const;
  void FilterMatrix8(float* p, const int* piOffsets, const float* pfMatrix) const;
  void FilterMatrix16(float* p, const int* piOffsets, const float* pfMatrix) const;

  // MDC polyphase split (on the full plane) and merge (on a description).
  void ExtractDescription(float* pfOut, int k) const;
  void InsertDescription(float* pfFull, int k) const;

  std::uint32_t m_iWidth;
  std::uint32_t m_iHeight;
  int m_aiHorOffset[16];
  int m_aiVerOffset[16];
  std::uint32_t m_iBlocksX;
  std::uint32_t m_iBlocksY;
  int m_aiCoef[64];
  std::vector<int> m_piLastSig;
  int m_aiZigzagCol[64];
  int m_aiZigzagRow[64];
  CArray2D<int> m_ppiScanEnd;
  CArray2D<int> m_apiEcebCoef[64];
  int m_iThreshold = 0;
  int m_iPrevThreshold = 0;
  CArray2D<float> _d;
  float* m_apfBlock[8];
  std::vector<float> m_pfDcPred;
  std::vector<unsigned char> m_apcZero[64];
  CBinModel m_pSignModel;
  CBinModel m_apMagModel[4];
  CBinModel m_apSigModel[18];
  CBinModel m_apEobModel[9];
  CBinModel m_apEcebSigModel[48];
  CBinModel m_apEcebEobModel[21];
  CBinModel m_pRefineModel;

 // Internal steps, public so that the tests can reach them.
  // Points m_apfBlock at the rows of block (bx, by).
  void SetBlock(int bx, int by);
  int GetSigContext(int bx, int y, int l) const;
  int GetEobContext(int bx, int y, int l) const;
  int GetEcebSigContext(int bx, int by, int l) const;
  int GetEcebEobContext(int bx, int by, int s) const;
};

class CBlockEncoder : public CBlockCodec {
 public:
  CBlockEncoder(std::uint32_t iWidth, std::uint32_t iHeight);

  // Loads 8-bit samples, pre-filters every interior block boundary and
  // transforms every block.
  void ForwardTransform(const unsigned char* pcPixels, int iType, const float* pfMatrix);

  // Code the plane into pvPayload (grown as needed); return the payload
  // length, or kQuantOverflow when fQ is too small for the plane.
  int EncodeLceb(std::vector<unsigned char>* pvPayload, float fQ);
  int EncodeEceb(std::vector<unsigned char>* pvPayload, float fQ);

  CArithEncoder m_pArithEnc;
  CBitWriter m_pBitWriter;

 // Internal steps.
  void EncodeMagnitude(int iValue, int iClass);
  void EncodeLcebBlock(int bx, int by);
  void EncodeEcebBlock(int bx, int by);
  bool Encode(bool bBit, CBinModel* pModel) { return m_pArithEnc.EncodeBit(bBit, pModel, &m_pBitWriter); }
};

class CBlockDecoder : public CBlockCodec {
 public:
  CBlockDecoder(std::uint32_t iWidth, std::uint32_t iHeight);

  // Decode a plane from iLength payload bytes; return the bytes read (one or
  // two more than the encoder wrote), or kDamagedPayload.
  int DecodeLceb(const unsigned char* pcPayload, int iLength, float fQ, bool bEntropyOnly);
  int DecodeEceb(const unsigned char* pcPayload, int iLength, float fQ, bool bEntropyOnly);

  void Reconstruct(unsigned char* pcOut, int iType, const float* pfPostFilter,
                   const float* pfLossPostFilter, const float* pfDctWiener, int iLossConfig,
                   int iReuseEstData, int iLossPostFilterSize, int iSwitch2DPost,
                   int iBoundaryLoss, const float* pfBoundaryWiener,
                   const float* pfBoundaryWienerMirror);
  void PostFilter(int iType, const float* pfPostFilter);
  void PostFilterNonPr(int iType, int iSwitch2DPost, const float* pfPostFilter,
                       const float* pfLossPostFilter);
  void PostFilterWiener16(int iType, const float* pfPostFilter, const float* pfLossPostFilter);

  void SimulateLoss(int iConfig);
  void ConcealLostBlocks(int iConfig, int iReuseEstData, const float* pfDctWiener,
                         const float* pfBoundaryWiener, const float* pfBoundaryWienerMirror);

  std::vector<std::vector<unsigned char>> m_pcDataLossMask;
  std::vector<std::vector<unsigned char>> m_pcDataLossMaskCopy;
  CArithDecoder m_pArithDec;
  CBitReader m_pBitReader;
  int m_iBoundaryLoss = 0;

 // Internal steps.
  int DecodeMagnitude(int iClass);
  bool Decode(CBinModel* pModel) { return m_pArithDec.DecodeBit(pModel, &m_pBitReader); }

  void SimulateLatticeLoss(int iConfig);
  void SimulateLineLoss(int iConfig);
  void SimulateRandomLoss(int iConfig);
  void MarkLatticeLost(int r0, int c0);
  void MarkLost(int r, int c);
  void ZeroBlock(int r, int c);

  void ConcealInRasterOrder(int iReuseEstData, const float* pfDctWiener,
                            const float* pfBoundaryWiener, const float* pfBoundaryWienerMirror);
  bool ConcealBlock(int r, int c, int iReuseEstData, const float* pfDctWiener,
                    const float* pfBoundaryWiener, const float* pfBoundaryWienerMirror);
  bool PredictEdgeAdaptive(int r, int c, int iReuseEstData, const float* pfDctWiener,
                           const float* pfBoundaryWiener, const float* pfBoundaryWienerMirror);
  int GetNeighbourAvailability(int r, int c, int iDirection) const;
  void PredictFromTwoNeighbours(float afPred[8][8], const float* pfFilter, int r1, int c1,
                                int r2, int c2, int iDirection) const;
  void PredictFromOneNeighbour(float afPred[8][8], const float* pfFilter, int r, int c,
                               int iDirection) const;
};

// The loss patterns' pseudo-random source: one process-wide state, 1 at
// start, so every run draws the same sequence (41, 18467, 6334, ...).
int DrawRandom();
// Puts the state back to 1, so that a test can repeat a run's draws.
void ResetRandom();

// Writes the plane as width x height little-endian floats, row by row; a file
// that cannot be created is skipped silently (it is a diagnostic dump).
void DumpPlane(const char* pcName, const CBlockCodec& codec);
