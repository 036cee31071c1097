// File plumbing shared by the programs: a reader that knows how much of its
// file is left, the removal of a half-written output, the encoder's closing
// statistics and the memory check both programs run before they size
// anything from an image's dimensions.
#pragma once

#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

// Reads exact byte counts from a file by name. The file's length is taken at
// opening, so a caller can tell a field that announces more bytes than the
// file holds before it allocates anything for them. A pipe or FIFO has no
// length to take: then Remaining() reports kUnknownSize and ReadBytes grows
// its buffer only as the data arrives.
class CFileReader {
 public:
  static constexpr std::uint64_t kUnknownSize = UINT64_MAX;

  explicit CFileReader(const std::string& name);
  bool IsOpen() const { return m_file.is_open(); }
  std::istream& Stream() { return m_file; }
  // Bytes after the current position, kUnknownSize when the length cannot be
  // learnt; 0 once a read has failed.
  std::uint64_t Remaining();
  // All iCount bytes, or false (a short read leaves the stream failed).
  bool Read(void* pDest, std::uint64_t iCount);
  // Fills *pvDest up to iCount bytes (what it holds already counts), or
  // false. A count beyond the known length allocates nothing; from a pipe
  // the buffer grows by doubling as the data arrives, so it never holds more
  // than twice what came plus one chunk.
  bool ReadBytes(std::vector<unsigned char>* pvDest, std::uint64_t iCount);
  // Appends what the file has ready, at least one byte and at most iMax:
  // from a pipe it waits only until something arrives. Returns their
  // number, 0 at the end of the file.
  std::size_t ReadSome(std::vector<unsigned char>* pvDest, std::size_t iMax);
  // Appends up to iCount bytes, fewer only where the file ends; their number.
  std::size_t ReadUpTo(std::vector<unsigned char>* pvDest, std::size_t iCount);

 private:
  std::ifstream m_file;
  std::uint64_t m_iSize = 0;
  bool m_bSizeKnown = false;
};

// The bytes of a filter configuration file that the library's loader with
// this reader reads (none of a file that cannot be read), taken field by
// field, so that a pipe is read no further than the loader goes.
std::vector<unsigned char> ReadFilterFile(const char* pcName, std::int32_t iReader);

// The whole content of a file or pipe, or false when it cannot be opened or
// read.
bool ReadWholeFile(const char* pcName, std::vector<unsigned char>* pvBytes);

// Writes bytes to pcName through a temporary file in the same folder that
// is renamed over it once complete, so that a failed write leaves neither a
// partial pcName nor the temporary file behind; false on failure.
bool WriteFileAtomically(const char* pcName, const unsigned char* pcBytes, std::size_t iSize);

// True when the two names lead to the same file: the same device and inode
// when both exist, else the same folder (by device and inode) and the same
// last name, so that a file one of them would create counts too.
bool IsSameFile(const char* pcA, const char* pcB);

// Removes the output file pcName after a write to it failed partway, so that
// no truncated output is left behind. Only a regular file is removed: a
// device or a pipe named as the output (/dev/full, a FIFO) is left alone.
void RemovePartialFile(const char* pcName);

// Prints "<total> bytes in total, <b> bpp, <r>:1." for a W x H image: the
// bit rate b narrowed to float, the ratio r = 8 / b in double, both in the
// stream's current floating-point format.
void PrintTotals(std::ostream& out, std::uint32_t iTotal, std::uint32_t iWidth,
                 std::uint32_t iHeight);

// True when fBytes fit into the memory the system reports as available (the
// MemAvailable line of pcMeminfo); true as well when no figure can be read,
// since then the allocations themselves are the only check left.
bool FitsInMemory(double fBytes, const char* pcMeminfo = "/proc/meminfo");
