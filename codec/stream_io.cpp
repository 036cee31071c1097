#include "stream_io.h"

#include <cstring>
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
  m_file.seekg(0, std::ios::beg);
  m_iSize = iEnd > 0 ? static_cast<std::uint64_t>(iEnd) : 0;
}

std::uint64_t CFileReader::Remaining() {
  std::streamoff iPos = m_file.tellg();
  if (iPos < 0 || static_cast<std::uint64_t>(iPos) > m_iSize) return 0;
  return m_iSize - static_cast<std::uint64_t>(iPos);
}

bool CFileReader::Read(void* pDest, std::uint64_t iCount) {
  m_file.read(static_cast<char*>(pDest), static_cast<std::streamsize>(iCount));
  return m_file && static_cast<std::uint64_t>(m_file.gcount()) == iCount;
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
