#include "filter_config.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {
// Little-endian field reader over a file that yields 0 once the file ends.
class CFieldReader {
 public:
  explicit CFieldReader(const char* pcFileName) : m_file(pcFileName, std::ios::binary) {}
  bool Read4(unsigned char* pcOut) {
    std::memset(pcOut, 0, 4);
    if (!m_file) return false;
    m_file.read(reinterpret_cast<char*>(pcOut), 4);
    if (m_file.gcount() == 4) return true;
    std::memset(pcOut, 0, 4);  // a value cut off by the file's end reads as 0
    return false;
  }
  std::int32_t ReadInt() {
    unsigned char ac[4];
    Read4(ac);
    return static_cast<std::int32_t>(ac[0] | ac[1] << 8 | ac[2] << 16 |
                                     static_cast<std::uint32_t>(ac[3]) << 24);
  }
  float ReadFloat() {
    std::int32_t iBits = ReadInt();
    float f;
    std::memcpy(&f, &iBits, 4);
    return f;
  }

 private:
  std::ifstream m_file;
};

// Reads iRows x iCols values into pfOut (row stride iStride), printing each
// row when verbose; each value is also handed to store for extra copies.
template <typename Store>
void ReadMatrix(CFieldReader& reader, bool bVerbose, int iRows, int iCols, int iStride,
                float* pfOut, Store store) {
  for (int i = 0; i < iRows; ++i) {
    for (int j = 0; j < iCols; ++j) {
      float f = reader.ReadFloat();
      pfOut[i * iStride + j] = f;
      store(i, j, f);
      if (bVerbose) std::cout << f << "  ";
    }
    if (bVerbose) std::cout << std::endl;
  }
}

void ReadMatrix(CFieldReader& reader, bool bVerbose, int iRows, int iCols, int iStride,
                float* pfOut) {
  ReadMatrix(reader, bVerbose, iRows, iCols, iStride, pfOut, [](int, int, float) {});
}

int ReadLossPostFilter(CFieldReader& reader, bool bVerbose, FilterBank& bank) {
  int iSize = reader.ReadInt();
  if (iSize == 8 || iSize == 16) {
    if (bVerbose)
      std::cout << std::endl
                << (iSize == 8 ? "Non-PR postfilter size:" : "General Wiener filter size:")
                << iSize << std::endl;
    ReadMatrix(reader, bVerbose, iSize, iSize, 16, bank.m_afLossPostFilter);
    bank.m_iLossPostFilterSize = iSize;
  } else if (iSize != 0) {
    std::cout << "Invalid postfilter size." << std::endl;
    return -10;
  }
  return 0;
}

int ReadDctWiener(CFieldReader& reader, bool bVerbose, FilterBank& bank) {
  int iSize = reader.ReadInt();
  if (iSize == 8) {
    if (bVerbose)
      std::cout << std::endl << "Wiener filter for DCT: " << iSize << "x" << 16 << std::endl;
    ReadMatrix(reader, bVerbose, 8, 16, 16, bank.m_afDctWiener);
    bank.m_bHasDctWiener = true;
  } else if (iSize != 0) {
    std::cout << "Invalid DCT wiener size." << std::endl;
    return -10;
  } else if (bank.m_iLossPostFilterSize != 16) {
    std::cout << "No DCT Wiener. Mean reconstruction will be used." << std::endl;
  }
  return 0;
}

void ReadBoundaryWiener(CFieldReader& reader, bool bVerbose, FilterBank& bank) {
  if (reader.ReadInt() == 0) {
    bank.m_afBoundaryWiener[0] = kAbsentFilter;
    bank.m_afBoundaryWienerMirror[0] = kAbsentFilter;
    return;
  }
  if (bVerbose) std::cout << std::endl << "Boundary Wiener filter: " << std::endl;
  float* pfMirror = bank.m_afBoundaryWienerMirror;
  ReadMatrix(reader, bVerbose, 8, 8, 8, bank.m_afBoundaryWiener,
             [pfMirror](int i, int j, float f) { pfMirror[(7 - i) * 8 + (7 - j)] = f; });
}
}  // namespace

int LoadFilterBank(const char* pcFileName, bool bVerbose, FilterBank& bank) {
  CFieldReader reader(pcFileName);
  int iSize = reader.ReadInt();
  if (bVerbose) std::cout << "Postfilter size: " << iSize << "x" << iSize << std::endl;
  if (iSize != 8) {
    std::cout << "Invalid prefilter data file. Filter size should be BLK_SIZE" << std::endl;
    return -1;
  }
  for (int k = 0; k < 64; ++k) reader.ReadFloat();
  ReadMatrix(reader, bVerbose, 8, 8, 16, bank.m_afPostFilter);
  if (int iResult = ReadLossPostFilter(reader, bVerbose, bank)) return iResult;
  if (int iResult = ReadDctWiener(reader, bVerbose, bank)) return iResult;
  ReadBoundaryWiener(reader, bVerbose, bank);
  return 0;
}
