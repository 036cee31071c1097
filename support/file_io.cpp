#include "file_io.h"

#include "tarn/tarn.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <sstream>

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
  if (pvDest->size() >= iCount) {
    pvDest->resize(iCount);
    return true;
  }
  if (iCount - pvDest->size() > Remaining()) return false;
  if (m_bSizeKnown) {
    const std::size_t iDone = pvDest->size();
    pvDest->resize(iCount);
    return Read(pvDest->data() + iDone, iCount - iDone);
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

std::size_t CFileReader::ReadSome(std::vector<unsigned char>* pvDest, std::size_t iMax) {
  std::streambuf* pBuffer = m_file.rdbuf();
  if (!m_file || pBuffer->sgetc() == std::char_traits<char>::eof()) {
    m_file.setstate(std::ios::eofbit | std::ios::failbit);
    return 0;
  }
  const std::size_t iReady = static_cast<std::size_t>(std::max<std::streamsize>(1, pBuffer->in_avail()));
  const std::size_t iCount = std::min(iMax, iReady);
  const std::size_t iStart = pvDest->size();
  pvDest->resize(iStart + iCount);
  pBuffer->sgetn(reinterpret_cast<char*>(pvDest->data() + iStart), static_cast<std::streamsize>(iCount));
  return iCount;
}

std::size_t CFileReader::ReadUpTo(std::vector<unsigned char>* pvDest, std::size_t iCount) {
  const std::size_t iStart = pvDest->size();
  pvDest->resize(iStart + iCount);
  m_file.read(reinterpret_cast<char*>(pvDest->data() + iStart), static_cast<std::streamsize>(iCount));
  const std::size_t iGot = static_cast<std::size_t>(m_file.gcount());
  pvDest->resize(iStart + iGot);
  return iGot;
}

std::vector<unsigned char> ReadFilterFile(const char* pcName, std::int32_t iReader) {
  std::vector<unsigned char> vBytes;
  CFileReader file(pcName);
  if (!file.IsOpen()) return vBytes;
  for (;;) {
    const std::size_t iNeeded = tarn_filters_needed(vBytes.data(), vBytes.size(), iReader);
    if (iNeeded <= vBytes.size() || file.ReadUpTo(&vBytes, iNeeded - vBytes.size()) == 0) return vBytes;
  }
}

namespace {
// The folder of a path, "." for a bare file name.
std::string FolderOf(const std::filesystem::path& path) {
  const std::filesystem::path parent = path.parent_path();
  return parent.empty() ? "." : parent.string();
}
}  // namespace

bool ReadWholeFile(const char* pcName, std::vector<unsigned char>* pvBytes) {
  std::ifstream file(pcName, std::ios::binary);
  if (!file) return false;
  pvBytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

namespace {
// Writes all of the bytes to a descriptor, across short writes.
bool WriteAll(int iFile, const unsigned char* pcBytes, std::size_t iSize) {
  while (iSize > 0) {
    const ssize_t iDone = write(iFile, pcBytes, iSize);
    if (iDone <= 0) return false;
    pcBytes += iDone;
    iSize -= static_cast<std::size_t>(iDone);
  }
  return true;
}
}  // namespace

bool WriteFileAtomically(const char* pcName, const unsigned char* pcBytes, std::size_t iSize) {
  const std::filesystem::path target(pcName);
  // A rename would replace a device or a pipe named as the output.
  std::error_code error;
  if (std::filesystem::exists(target, error) && !std::filesystem::is_regular_file(target, error)) return false;
  std::string temporary =
      (std::filesystem::path(FolderOf(target)) / ("." + target.filename().string() + ".XXXXXX")).string();
  const int iFile = mkstemp(temporary.data());
  if (iFile < 0) return false;
  // mkstemp makes the file readable by its owner only; give it the usual
  // permissions of a new file.
  const mode_t iMask = umask(0);
  umask(iMask);
  bool bOk = fchmod(iFile, 0666 & ~iMask) == 0 && WriteAll(iFile, pcBytes, iSize);
  bOk = close(iFile) == 0 && bOk;
  bOk = bOk && std::rename(temporary.c_str(), pcName) == 0;
  if (!bOk) std::remove(temporary.c_str());
  return bOk;
}

namespace {
// 1 when both exist and are the same file, 0 when both exist and are not,
// -1 when one of them does not exist.
int CompareInodes(const char* pcA, const char* pcB) {
  struct stat a, b;
  if (stat(pcA, &a) != 0 || stat(pcB, &b) != 0) return -1;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool IsSameFile(const char* pcA, const char* pcB) {
  const int iSame = CompareInodes(pcA, pcB);
  if (iSame >= 0) return iSame == 1;
  const std::filesystem::path a(pcA), b(pcB);
  return a.filename() == b.filename() && CompareInodes(FolderOf(a).c_str(), FolderOf(b).c_str()) == 1;
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
