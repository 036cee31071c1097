#include "stream_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

void PutU16(unsigned char* pc, std::uint16_t iValue) {
  pc[0] = static_cast<unsigned char>(iValue);
  pc[1] = static_cast<unsigned char>(iValue >> 8);
}

void PutU32(unsigned char* pc, std::uint32_t iValue) {
  for (int k = 0; k < 4; ++k) pc[k] = static_cast<unsigned char>(iValue >> (8 * k));
}

std::uint16_t GetU16(const unsigned char* pc) {
  return static_cast<std::uint16_t>(pc[0] | pc[1] << 8);
}

std::uint32_t GetU32(const unsigned char* pc) {
  return pc[0] | pc[1] << 8 | pc[2] << 16 | static_cast<std::uint32_t>(pc[3]) << 24;
}

float BitsToFloat(std::uint32_t iBits) {
  float f;
  std::memcpy(&f, &iBits, 4);
  return f;
}

std::uint32_t FloatToBits(float fValue) {
  std::uint32_t iBits;
  std::memcpy(&iBits, &fValue, 4);
  return iBits;
}

void WriteRecord(std::ostream& out, const RecordHeader& header, const unsigned char* pcPayload) {
  unsigned char ac[kRecordHeaderBytes];
  PutU16(ac, header.m_iWidth);
  PutU16(ac + 2, header.m_iHeight);
  PutU32(ac + 4, FloatToBits(header.m_fQ));
  PutU32(ac + 8, header.m_iLength);
  out.write(reinterpret_cast<const char*>(ac), kRecordHeaderBytes);
  out.write(reinterpret_cast<const char*>(pcPayload), header.m_iLength);
}

CFileReader::CFileReader(const std::string& name) : m_file(name, std::ios::binary) {
  if (!m_file) return;
  m_file.seekg(0, std::ios::end);
  std::streamoff iEnd = m_file.tellg();
  if (iEnd < 0) {
    // Not seekable (a pipe): the failed seek took nothing from the stream.
    m_file.clear();
    return;
  }
  m_file.seekg(0, std::ios::beg);
  m_iSize = static_cast<std::uint64_t>(iEnd);
  m_bSizeKnown = true;
}

std::uint64_t CFileReader::Remaining() {
  if (!m_file) return 0;
  if (!m_bSizeKnown) return kUnknownSize;
  std::streamoff iPos = m_file.tellg();
  if (iPos < 0 || static_cast<std::uint64_t>(iPos) > m_iSize) return 0;
  return m_iSize - static_cast<std::uint64_t>(iPos);
}

bool CFileReader::Read(void* pDest, std::uint64_t iCount) {
  m_file.read(static_cast<char*>(pDest), static_cast<std::streamsize>(iCount));
  return m_file && static_cast<std::uint64_t>(m_file.gcount()) == iCount;
}

// Step of a read from a pipe: what a pipe that ends early can make us
// allocate before it has delivered anything.
constexpr std::uint64_t kReadChunk = std::uint64_t(1) << 20;

bool CFileReader::ReadBytes(std::vector<unsigned char>* pvDest, std::uint64_t iCount) {
  pvDest->clear();
  if (iCount > Remaining()) return false;
  if (m_bSizeKnown) {
    pvDest->resize(iCount);
    return Read(pvDest->data(), iCount);
  }
  while (pvDest->size() < iCount) {
    const std::uint64_t iDone = pvDest->size();
    const std::uint64_t iChunk = std::min(kReadChunk, iCount - iDone);
    // Double the capacity but never beyond iCount, so a complete read ends
    // holding exactly iCount bytes.
    if (iDone + iChunk > pvDest->capacity())
      pvDest->reserve(std::min(iCount, std::max(2 * iDone, iDone + iChunk)));
    pvDest->resize(iDone + iChunk);
    if (!Read(pvDest->data() + iDone, iChunk)) return false;
  }
  return true;
}

bool CFileReader::ReadU16(std::uint16_t* piValue) {
  unsigned char ac[2];
  if (!Read(ac, 2)) return false;
  *piValue = GetU16(ac);
  return true;
}

bool CFileReader::ReadU32(std::uint32_t* piValue) {
  unsigned char ac[4];
  if (!Read(ac, 4)) return false;
  *piValue = GetU32(ac);
  return true;
}

bool CFileReader::ReadFloat(float* pfValue) {
  std::uint32_t iBits;
  if (!ReadU32(&iBits)) return false;
  *pfValue = BitsToFloat(iBits);
  return true;
}

void RemovePartialFile(const char* pcName) {
  std::error_code error;
  if (std::filesystem::is_regular_file(pcName, error)) std::remove(pcName);
}

void PrintTotals(std::ostream& out, std::uint32_t iTotal, std::uint32_t iWidth,
                 std::uint32_t iHeight) {
  float fBitRate = static_cast<float>(double(iTotal) * 8 / iWidth / iHeight);
  double fRatio = 8 / double(fBitRate);
  out << iTotal << " bytes in total, " << fBitRate << " bpp, " << fRatio << ":1." << std::endl;
}

bool FitsInMemory(double fBytes, const char* pcMeminfo) {
  std::ifstream meminfo(pcMeminfo);
  std::string line;
  while (std::getline(meminfo, line)) {
    std::istringstream fields(line);
    std::string name;
    double fKiloBytes = 0;
    if (fields >> name >> fKiloBytes && name == "MemAvailable:") return fBytes <= fKiloBytes * 1024;
  }
  return true;
}
