// The codec object: geometry, the float image plane, scan tables, the coder
// state of LCEB and ECEB and the banks of context models. Apart from the DCT
// and the arithmetic coder, every operation of the codec core is a member.
// Each object serves one plane and one coding or decoding pass, because the
// context models are initialised only at construction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "arith_coder.h"
#include "coding_thread.h"
#include "filter_config.h"
#include "kernels.h"
#include "progress.h"
#include "tarn/tarn.h"

namespace tarn {

constexpr int BLK_SIZE = 8;

// Raster position (row * 8 + column) to zigzag index.
inline constexpr int kRasterToZigzag[64] = {
    0,  1,  5,  6,  14, 15, 27, 28,  //
    2,  4,  7,  13, 16, 26, 29, 42,  //
    3,  8,  12, 17, 25, 30, 41, 43,  //
    9,  11, 18, 24, 31, 40, 44, 53,  //
    10, 19, 23, 32, 39, 45, 52, 54,  //
    20, 22, 33, 38, 46, 51, 55, 60,  //
    21, 34, 37, 47, 50, 56, 59, 61,  //
    35, 36, 48, 49, 57, 58, 62, 63};

// Zigzag index to raster position (row * 8 + column).
constexpr std::array<int, 64> MakeZigzagToRaster() {
  std::array<int, 64> a{};
  for (int i = 0; i < 64; ++i) a[kRasterToZigzag[i]] = i;
  return a;
}
inline constexpr std::array<int, 64> kZigzagToRaster = MakeZigzagToRaster();

// An array of iCount zeros that the system provides (calloc): pages never
// written cost no resident memory. Throws std::bad_alloc.
template <typename T>
class CZeroArray {
  static_assert(std::is_trivially_copyable<T>::value, "calloc-backed storage");

 public:
  void Allocate(std::size_t iCount) {
    m_pData.reset(static_cast<T*>(std::calloc(iCount + 1, sizeof(T))));
    if (!m_pData) throw std::bad_alloc();
  }
  T& operator[](std::size_t i) { return m_pData.get()[i]; }
  const T& operator[](std::size_t i) const { return m_pData.get()[i]; }
  T* Data() { return m_pData.get(); }
  const T* Data() const { return m_pData.get(); }

 private:
  struct Free {
    void operator()(T* p) const { std::free(p); }
  };
  std::unique_ptr<T, Free> m_pData;
};

// A rows x cols array: a table of row pointers into one contiguous block, so
// that a[r][c] is element (r, c) and a[0] + r * cols is row r. The block is
// zeroed by the system (calloc), so pages that are never written cost no
// resident memory. Throws std::bad_alloc when the block cannot be had.
template <typename T>
class CArray2D {
  static_assert(std::is_trivially_copyable<T>::value, "calloc-backed storage");

 public:
  CArray2D() = default;
  // The row table points into this object's own block: copies would share
  // it, so there are none; a move keeps the block and with it the table.
  CArray2D(const CArray2D&) = delete;
  CArray2D& operator=(const CArray2D&) = delete;
  CArray2D(CArray2D&&) = default;
  CArray2D& operator=(CArray2D&&) = default;

  void Allocate(std::size_t iRows, std::size_t iCols) {
    m_pData.reset(static_cast<T*>(std::calloc(iRows * iCols + 1, sizeof(T))));
    if (!m_pData) throw std::bad_alloc();
    m_vRows.resize(iRows);
    for (std::size_t r = 0; r < iRows; ++r) m_vRows[r] = m_pData.get() + r * iCols;
  }
  T* operator[](std::size_t r) { return m_vRows[r]; }
  const T* operator[](std::size_t r) const { return m_vRows[r]; }
  T* Data() { return m_pData.get(); }
  const T* Data() const { return m_pData.get(); }
  // Hands the block over (to be released with free()); the array is empty
  // afterwards.
  T* Release() {
    m_vRows.clear();
    return m_pData.release();
  }

 private:
  struct Free {
    void operator()(T* p) const { std::free(p); }
  };
  std::unique_ptr<T, Free> m_pData;
  std::vector<T*> m_vRows;
};

// Result of the coders when a plane cannot be coded or decoded.
constexpr int kQuantOverflow = -1;   // a quantised value would not fit 32 bits
constexpr int kDamagedPayload = -2;  // the payload cannot be a coded plane
constexpr int kCancelled = -3;       // the progress callback asked to stop

class CBlockCodec {
 public:
  CBlockCodec(std::uint32_t iWidth, std::uint32_t iHeight);
  // The same around a plane of H rows of W samples that the object takes
  // over instead of allocating its own.
  CBlockCodec(std::uint32_t iWidth, std::uint32_t iHeight, CArray2D<float>&& plane);
  CBlockCodec(const CBlockCodec&) = delete;
  CBlockCodec& operator=(const CBlockCodec&) = delete;

  // Bytes a W x H object allocates.
  static std::uint64_t FootprintBytes(std::uint32_t iWidth, std::uint32_t iHeight);

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
  // The quantised coefficients of both coders, block by block, each block's
  // in raster order: coefficient (r, c) of block b (raster order of blocks)
  // at 64 b + 8 r + c. They share the plane's memory: a
  // band of block row by holds the same bytes as the plane rows 8 by ..
  // 8 by + 7, so a band is converted between the two in place (through a
  // copy of the band), each band on its own, and the encoder's plane holds
  // the quantised values
  // after coding.
  int* m_piEcebCoef = nullptr;
  // Per block of a grid with a border of one empty block all round: the
  // bit-plane coder's scan lengths, and which coefficients are significant
  // (bit l for zigzag index l): in the current plane once the block has been
  // coded in it, in the previous plane until then. The border holds zeros,
  // which count as no neighbour.
  CZeroArray<std::uint8_t> m_pcScanEnd;
  CZeroArray<std::uint64_t> m_piSignificant;
  int m_iThreshold = 0;
  int m_iPrevThreshold = 0;
  CArray2D<float> _d;
  float* m_apfBlock[8];
  std::vector<float> m_pfDcPred;
  std::vector<unsigned char> m_apcZero[64];
  // Optional; told after every block row of a coding pass, as part
  // m_iProgressPart of the work.
  CProgress* m_pProgress = nullptr;
  int m_iProgressPart = 0;
  // Threads the object may use for its work over bands of the plane.
  int m_iThreads = 1;
  // The arithmetic kernels (tests may choose a set other than the fastest).
  const Kernels* m_pKernels = &BestKernels();
  // The models come last, on cache lines of their own: an encoder's coding
  // thread updates them at every decision while the modelling reads the
  // members above.
  alignas(kCacheLine) CBinModel m_pSignModel;
  CBinModel m_apMagModel[4];
  CBinModel m_apSigModel[18];
  CBinModel m_apEobModel[9];
  CBinModel m_apEcebSigModel[48];
  CBinModel m_apEcebEobModel[21];
  CBinModel m_pRefineModel;

 // Internal steps, public so that the tests can reach them.
  // Points m_apfBlock at the rows of block (bx, by).
  void SetBlock(int bx, int by);
  // The same into a table of the caller's (for work on several threads).
  void GetBlockRows(int bx, int by, float* apfRows[8]) {
    for (int r = 0; r < 8; ++r) apfRows[r] = _d[8 * by + r] + 8 * bx;
  }
  int GetSigContext(int bx, int y, int l) const;
  int GetEobContext(int bx, int y, int l) const;
  int* EcebBlock(int bx, int by) { return m_piEcebCoef + 64 * (std::size_t(by) * m_iBlocksX + bx); }
  const int* EcebBlock(int bx, int by) const { return m_piEcebCoef + 64 * (std::size_t(by) * m_iBlocksX + bx); }
  // Coefficient of zigzag index l of block (bx, by).
  int& EcebCoef(int l, int bx, int by) { return EcebBlock(bx, by)[kZigzagToRaster[l]]; }
  int EcebCoef(int l, int bx, int by) const { return EcebBlock(bx, by)[kZigzagToRaster[l]]; }
  // Index of block (bx, by) in the bordered grid of m_pcScanEnd and m_piSignificant.
  std::size_t Bordered(int bx, int by) const { return (std::size_t(by) + 1) * (m_iBlocksX + 2) + bx + 1; }
  // False once the progress callback has asked to stop.
  bool KeepGoing(int iDone, int iTotal) const {
    return m_pProgress == nullptr || m_pProgress->Report(m_iProgressPart, iDone, iTotal);
  }
  // The same from inside a unary run, every 2^20 decisions of it: one run
  // can take seconds.
  bool KeepRunning(int iRun) const {
    return (iRun & 0xFFFFF) != 0 || m_pProgress == nullptr || m_pProgress->Poll();
  }
};

class CBlockEncoder : public CBlockCodec {
 public:
  CBlockEncoder(std::uint32_t iWidth, std::uint32_t iHeight);

  // Loads 8-bit samples (row y at pcPixels + y * iStride), pre-filters every
  // interior block boundary and transforms every block.
  void ForwardTransform(const unsigned char* pcPixels, std::size_t iStride, int iType,
                        const float* pfMatrix);

  // Code the plane into pvPayload (grown as needed); return the payload
  // length, or kQuantOverflow when fQ is too small for the plane, or
  // kCancelled.
  int EncodeLceb(std::vector<unsigned char>* pvPayload, float fQ);
  int EncodeEceb(std::vector<unsigned char>* pvPayload, float fQ);

  // The coder and the writer follow the models (the coding thread's too).
  CArithEncoder m_pArithEnc;
  CBitWriter m_pBitWriter;
  // Per block: bit p set when a coefficient's magnitude has its top bit at
  // p, so that it becomes significant in the plane 2^p.
  alignas(kCacheLine) CZeroArray<std::uint32_t> m_piNewPlanes;

 // Internal steps.
  void EncodeMagnitude(int iValue, int iClass);
  void EncodeLcebBlock(int bx, int by);
  void EncodeEcebBlock(int bx, int by, int iPlane);
  bool Encode(bool bBit, CBinModel* pModel) {
    if (m_pCoding == nullptr) return m_pArithEnc.EncodeBit(bBit, pModel, &m_pBitWriter);
    m_pCoding->Put(bBit, pModel);
    return bBit;
  }

  // The coding thread of a pass (see CCodingPass); declared after the coder
  // and the writer it uses, so that it ends before them.
  std::unique_ptr<CCodingThread> m_pCoding;
};

// A coding pass of an encoder from its start: where the object may use more
// than one thread (and the system gives one), its decisions go to a coding
// thread, which ends with the pass, whichever way the pass ends.
class CCodingPass {
 public:
  explicit CCodingPass(CBlockEncoder* pEncoder);
  CCodingPass(const CCodingPass&) = delete;
  CCodingPass& operator=(const CCodingPass&) = delete;
  ~CCodingPass() { m_pEncoder->m_pCoding.reset(); }
  // Codes what is left and flushes the coder: the payload length, or
  // kQuantOverflow for a payload beyond the writer's limit.
  int Finish();

 private:
  CBlockEncoder* m_pEncoder;
};

// The decoder's loss simulation settings (options -l, -b, -r and -x of the
// decoder program), stored as they come.
struct LossSettings {
  int iConfig = 0;        // 0 no loss, 1 to 9 the patterns
  int iBoundaryLoss = 1;  // 0 spares the border blocks
  int iReuseEstData = 1;  // only 1 lets concealed blocks serve later ones
  int iSwitch2DPost = 0;  // non-zero: loss post-filter in both directions
};

// Where a reconstruction hands its diagnostic planes and warnings; a null
// function is not called.
struct Diagnostics {
  tarn_plane_fn pfnPlane = nullptr;
  tarn_warning_fn pfnWarning = nullptr;
  void* pUser = nullptr;
};

class CBlockDecoder : public CBlockCodec {
 public:
  CBlockDecoder(std::uint32_t iWidth, std::uint32_t iHeight);
  CBlockDecoder(std::uint32_t iWidth, std::uint32_t iHeight, CArray2D<float>&& plane);

  // Decode a plane from iLength payload bytes; return the bytes read (one or
  // two more than the encoder wrote), or kDamagedPayload, or kCancelled. A
  // payload read more than two bytes past its end is damaged: decoding stops
  // there, so a short payload claiming a large plane costs little. ECEB
  // starts from the zeros of a fresh object's stores: one pass per object.
  std::int64_t DecodeLceb(const unsigned char* pcPayload, std::int64_t iLength, float fQ, bool bEntropyOnly);
  std::int64_t DecodeEceb(const unsigned char* pcPayload, std::int64_t iLength, float fQ, bool bEntropyOnly);

  // Loss simulation, concealment, post-filter and conversion to bytes (row y
  // at pcOut + y * iStride).
  void Reconstruct(unsigned char* pcOut, std::size_t iStride, const FilterBank& filters,
                   const LossSettings& loss);
  void PostFilter(int iType, const float* pfPostFilter);
  void PostFilterNonPr(int iType, int iSwitch2DPost, const float* pfPostFilter,
                       const float* pfLossPostFilter);
  void PostFilterWiener16(int iType, const float* pfPostFilter, const float* pfLossPostFilter);

  void SimulateLoss(int iConfig);
  void ConcealLostBlocks(int iConfig, int iReuseEstData, const FilterBank& filters);

  CArray2D<unsigned char> m_pcDataLossMask;
  CArray2D<unsigned char> m_pcDataLossMaskCopy;
  CArithDecoder m_pArithDec;
  CBitReader m_pBitReader;
  int m_iBoundaryLoss = 0;
  Diagnostics m_diagnostics;

 // Internal steps.
  int DecodeMagnitude(int iClass);
  bool Decode(CBinModel* pModel) { return m_pArithDec.DecodeBit(pModel, &m_pBitReader); }

  // The loss patterns' pseudo-random source: 1 at construction, so every
  // decoder draws the same sequence (41, 18467, 6334, ...).
  int DrawRandom();
  void SimulateLatticeLoss(int iConfig);
  void SimulateLineLoss(int iConfig);
  void SimulateRandomLoss(int iConfig);
  void MarkLatticeLost(int r0, int c0);
  void MarkLost(int r, int c);
  void ZeroBlock(int r, int c);

  void ConcealInRasterOrder(int iReuseEstData, const FilterBank& filters);
  bool ConcealBlock(int r, int c, int iReuseEstData, const FilterBank& filters);
  bool PredictEdgeAdaptive(int r, int c, int iReuseEstData, const FilterBank& filters);
  int GetNeighbourAvailability(int r, int c, int iDirection) const;
  void PredictFromTwoNeighbours(float afPred[8][8], const float* pfFilter, int r1, int c1,
                                int r2, int c2, int iDirection) const;
  void PredictFromOneNeighbour(float afPred[8][8], const float* pfFilter, int r, int c,
                               int iDirection) const;
  // Hands the plane or the loss-mask copy to the diagnostics.
  void ShowPlane(tarn_plane_kind kind) const;
  void Warn(const char* pcLine) const;

 private:
  std::uint32_t m_iRandomState = 1;
};

}  // namespace tarn
