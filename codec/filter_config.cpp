#include "filter_config.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "line_filters.h"

namespace tarn {
namespace {
// Little-endian fields over a byte string; a field that the bytes do not
// hold in full reads as 0.
class CFieldReader {
 public:
  CFieldReader(const unsigned char* pcData, std::size_t iSize) : m_pcData(pcData), m_iSize(iSize) {}
  std::uint32_t ReadBits() {
    std::uint32_t iBits = 0;
    if (m_iPos <= m_iSize && m_iSize - m_iPos >= 4)
      for (int k = 0; k < 4; ++k) iBits |= std::uint32_t(m_pcData[m_iPos + k]) << (8 * k);
    m_iPos += 4;
    return iBits;
  }
  std::int32_t ReadInt() { return static_cast<std::int32_t>(ReadBits()); }
  float ReadFloat() {
    const std::uint32_t iBits = ReadBits();
    float f;
    std::memcpy(&f, &iBits, 4);
    return f;
  }

 private:
  const unsigned char* m_pcData;
  std::size_t m_iSize;
  std::size_t m_iPos = 0;
};

// Reads iRows x iCols values into pfOut with row stride iStride; false when
// one is a NaN or an infinity, which no filter can use.
bool ReadMatrix(CFieldReader& reader, int iRows, int iCols, int iStride, float* pfOut) {
  bool bFinite = true;
  for (int i = 0; i < iRows; ++i)
    for (int j = 0; j < iCols; ++j) {
      pfOut[i * iStride + j] = reader.ReadFloat();
      bFinite &= std::isfinite(pfOut[i * iStride + j]);
    }
  return bFinite;
}

tarn_status ReadLossPostFilter(CFieldReader& reader, FilterBank& bank, FilterFields& fields) {
  fields.iLossSize = reader.ReadInt();
  fields.iSections |= TARN_SECTION_LOSS_SIZE;
  if (fields.iLossSize != 0 && fields.iLossSize != 8 && fields.iLossSize != 16)
    return TARN_ERR_LOSS_POSTFILTER_SIZE;
  if (fields.iLossSize == 0) return TARN_OK;
  const bool bFinite = ReadMatrix(reader, fields.iLossSize, fields.iLossSize, 16, bank.m_afLossPostFilter);
  bank.m_iLossPostFilterSize = fields.iLossSize;
  fields.iSections |= TARN_SECTION_LOSS_FILTER;
  return bFinite ? TARN_OK : TARN_ERR_LOSS_POSTFILTER_SIZE;
}

tarn_status ReadDctWiener(CFieldReader& reader, FilterBank& bank, FilterFields& fields) {
  fields.iDctSize = reader.ReadInt();
  fields.iSections |= TARN_SECTION_DCT_SIZE;
  if (fields.iDctSize != 0 && fields.iDctSize != 8) return TARN_ERR_DCT_WIENER_SIZE;
  if (fields.iDctSize == 0) return TARN_OK;
  const bool bFinite = ReadMatrix(reader, 8, 16, 16, bank.m_afDctWiener);
  bank.m_bHasDctWiener = true;
  fields.iSections |= TARN_SECTION_DCT_WIENER;
  return bFinite ? TARN_OK : TARN_ERR_DCT_WIENER_SIZE;
}

// A non-finite boundary Wiener filter is reported as the DCT Wiener
// filter's error: both serve the edge-adaptive prediction.
tarn_status ReadBoundaryWiener(CFieldReader& reader, FilterBank& bank, FilterFields& fields) {
  fields.iBoundaryFlag = reader.ReadInt();
  fields.iSections |= TARN_SECTION_BOUNDARY_FLAG;
  if (fields.iBoundaryFlag == 0) return TARN_OK;  // the absent marker stays
  const bool bFinite = ReadMatrix(reader, 8, 8, 8, bank.m_afBoundaryWiener);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j)
      bank.m_afBoundaryWienerMirror[(7 - i) * 8 + (7 - j)] = bank.m_afBoundaryWiener[i * 8 + j];
  fields.iSections |= TARN_SECTION_BOUNDARY_WIENER;
  return bFinite ? TARN_OK : TARN_ERR_DCT_WIENER_SIZE;
}
}  // namespace

tarn_status LoadFilterBank(const unsigned char* pcData, std::size_t iSize, bool bFull,
                           FilterBank& bank, FilterFields& fields) {
  bank = FilterBank();
  bank.m_iType = -1;
  fields = FilterFields();
  CFieldReader reader(pcData, iSize);
  fields.iSize = reader.ReadInt();
  fields.iSections |= TARN_SECTION_SIZE;
  if (fields.iSize != 8) return TARN_ERR_FILTER_SIZE;
  const bool bPreFinite = ReadMatrix(reader, 8, 8, 16, bank.m_afPreFilter);
  fields.iSections |= TARN_SECTION_PREFILTER;
  if (!bPreFinite) return TARN_ERR_FILTER_SIZE;
  if (!bFull) return TARN_OK;
  const bool bPostFinite = ReadMatrix(reader, 8, 8, 16, bank.m_afPostFilter);
  fields.iSections |= TARN_SECTION_POSTFILTER;
  if (!bPostFinite) return TARN_ERR_FILTER_SIZE;
  if (tarn_status status = ReadLossPostFilter(reader, bank, fields)) return status;
  if (tarn_status status = ReadDctWiener(reader, bank, fields)) return status;
  return ReadBoundaryWiener(reader, bank, fields);
}

namespace {
// The loader's path through a file of which only the first iSize bytes are
// known: each step needs its field, and a field that decides the rest (a
// size, a flag, a matrix's finiteness) ends the walk while it is missing.
class CNeededWalk {
 public:
  CNeededWalk(const unsigned char* pcData, std::size_t iSize) : m_pcData(pcData), m_iSize(iSize) {}
  // Takes an integer field; false when the file does not hold it yet.
  bool Int(std::int32_t* piValue) {
    if (!Take(4)) return false;
    CFieldReader reader(m_pcData + m_iPos - 4, 4);
    *piValue = reader.ReadInt();
    return true;
  }
  // Takes iCount floats; false when they are not all there yet or one is
  // not finite (where the loader stops).
  bool Floats(std::size_t iCount) {
    if (!Take(4 * iCount)) return false;
    std::vector<float> vValues(iCount);
    CFieldReader reader(m_pcData + m_iPos - 4 * iCount, 4 * iCount);
    return ReadMatrix(reader, 1, static_cast<int>(iCount), 0, vValues.data());
  }
  std::size_t Position() const { return m_iPos; }

 private:
  bool Take(std::size_t iBytes) {
    m_iPos += iBytes;
    return m_iPos <= m_iSize;
  }
  const unsigned char* m_pcData;
  std::size_t m_iSize;
  std::size_t m_iPos = 0;
};
}  // namespace

std::size_t FilterFileBytesNeeded(const unsigned char* pcData, std::size_t iSize, bool bFull) {
  CNeededWalk walk(pcData, iSize);
  std::int32_t iValue;
  if (!walk.Int(&iValue) || iValue != 8 || !walk.Floats(64) || !bFull || !walk.Floats(64))
    return walk.Position();
  if (!walk.Int(&iValue) || (iValue != 0 && iValue != 8 && iValue != 16) ||
      (iValue != 0 && !walk.Floats(std::size_t(iValue) * iValue)))
    return walk.Position();
  if (!walk.Int(&iValue) || (iValue != 0 && iValue != 8) || (iValue == 8 && !walk.Floats(128)))
    return walk.Position();
  if (walk.Int(&iValue) && iValue != 0) walk.Floats(64);
  return walk.Position();
}

FilterBank BuiltInFilterBank(int iDigit) {
  FilterBank bank;
  bank.m_iType = iDigit;
  return bank;
}

void BuiltInFilterMatrix(int iType, bool bPre, float* pfOut) {
  const int aiOffsets[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int j = 0; j < 8; ++j) {
    float afLine[8] = {};
    afLine[j] = 1.0f;
    FilterLine8(afLine, aiOffsets, bPre, iType, nullptr);
    for (int i = 0; i < 8; ++i) pfOut[i * 8 + j] = afLine[i];
  }
}

}  // namespace tarn
