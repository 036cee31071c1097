// Binary PGM images in memory. Two readers: the encoder's, line by line as
// a C++ stream reads it (its exact rules decide which headers the encoder
// takes), and a tolerant one for any 8-bit binary PGM.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api_internal.h"
#include "stream_format.h"

namespace tarn {
namespace {

constexpr int kEnd = -1;

// Header lines are read into a 100-character buffer: a line longer than 99
// characters fails the stream, and the header is then rejected.
constexpr int kLineBuffer = 100;

// A position in a byte string that remembers whether it ever looked past
// the end, where more data could have changed what a reader made of it.
class CByteCursor {
 public:
  CByteCursor(const unsigned char* pcData, std::size_t iSize) : m_pcData(pcData), m_iSize(iSize) {}
  bool LookedPastEnd() const { return m_bPastEnd; }
  std::size_t Position() const { return m_iPos; }

 protected:
  int Look() {
    if (m_iPos < m_iSize) return m_pcData[m_iPos];
    m_bPastEnd = true;
    return kEnd;
  }
  std::size_t m_iPos = 0;

 private:
  const unsigned char* m_pcData;
  std::size_t m_iSize;
  bool m_bPastEnd = false;
};

// The part of std::istream that the encoder's header reader uses (peek and
// getline, with their end-of-file and fail states), over a byte string.
class CLineStream : public CByteCursor {
 public:
  using CByteCursor::CByteCursor;

  int Peek() {
    if (!Good()) {
      m_bFail = true;
      return kEnd;
    }
    const int c = Look();
    if (c == kEnd) m_bEof = true;
    return c;
  }
  // Reads up to cDelimiter (taken, not stored) into pcLine, at most
  // kLineBuffer - 1 characters; a longer line fails the stream, and so does
  // a read that takes nothing.
  void GetLine(char* pcLine, char cDelimiter) {
    const int iDelimiter = static_cast<unsigned char>(cDelimiter);
    int iStored = 0;
    bool bTookDelimiter = false;
    if (Good()) {
      int c = Look();
      for (; iStored + 1 < kLineBuffer && c != kEnd && c != iDelimiter; c = Look()) {
        pcLine[iStored++] = static_cast<char>(c);
        ++m_iPos;
      }
      if (c == kEnd) {
        m_bEof = true;
      } else if (c == iDelimiter) {
        bTookDelimiter = true;
        ++m_iPos;
      } else {
        m_bFail = true;
      }
    }
    pcLine[iStored] = '\0';
    if (iStored == 0 && !bTookDelimiter) m_bFail = true;
  }
  bool Good() const { return !m_bEof && !m_bFail; }
  bool Failed() const { return m_bFail; }

 private:
  bool m_bEof = false;
  bool m_bFail = false;
};

void SkipComments(CLineStream& in) {
  char ac[kLineBuffer];
  while (in.Peek() == '#') in.GetLine(ac, '\n');
}

bool IsValidDimension(long iSize) { return iSize > 0 && iSize <= long(kMaxDimension); }

// The encoder's header: magic line, "width height" line, maxval line, each
// after any number of comment lines.
tarn_status ParseEncoderHeader(CLineStream& in, std::uint32_t* piWidth, std::uint32_t* piHeight) {
  char ac[kLineBuffer];
  SkipComments(in);
  in.GetLine(ac, '\n');
  if (ac[0] != 'P' || ac[1] != '5') return TARN_ERR_PGM_MAGIC;
  SkipComments(in);
  in.GetLine(ac, ' ');
  const long iWidth = std::strtol(ac, nullptr, 10);
  in.GetLine(ac, '\n');
  const long iHeight = std::strtol(ac, nullptr, 10);
  if (!IsValidDimension(iWidth) || !IsValidDimension(iHeight)) return TARN_ERR_PGM_FORMAT;
  if (iWidth % 16 != 0 || iHeight % 16 != 0) return TARN_ERR_PGM_SIZE;
  SkipComments(in);
  in.GetLine(ac, '\n');
  // Samples are read as one byte each: a maxval above 255 (two-byte
  // samples) or below 1 (no number at all reads as 0) is no such image.
  const long iMaxval = std::strtol(ac, nullptr, 10);
  if (iMaxval < 1 || iMaxval > 255) return TARN_ERR_PGM_FORMAT;
  *piWidth = static_cast<std::uint32_t>(iWidth);
  *piHeight = static_cast<std::uint32_t>(iHeight);
  // A header the stream failed in (a maxval line it could not take) leaves
  // no samples to read.
  return in.Failed() ? TARN_ERR_TRUNCATED_INPUT : TARN_OK;
}

// The tolerant reader's header tokens.
class CTokens : public CByteCursor {
 public:
  using CByteCursor::CByteCursor;
  // Skips blanks and "#" comments (up to the line end).
  void Skip(bool bComments) {
    for (int c = Look(); c != kEnd; c = Look()) {
      if (bComments && c == '#') {
        while (Look() != kEnd && Look() != '\n') ++m_iPos;
      } else if (std::isspace(c)) {
        ++m_iPos;
      } else {
        return;
      }
    }
  }
  bool Magic() {
    Skip(false);
    const bool bP5 = Take('P') && Take('5');
    const int c = Look();
    return bP5 && c != kEnd && std::isspace(c);
  }
  // A decimal number up to 65535, or -1.
  long Number() {
    Skip(true);
    long iValue = -1;
    for (int c = Look(); c != kEnd && std::isdigit(c) && iValue <= 65535; c = Look()) {
      iValue = (iValue < 0 ? 0 : 10 * iValue) + (c - '0');
      ++m_iPos;
    }
    return iValue;
  }
  // The single blank that ends the header.
  bool EndOfHeader() {
    const int c = Look();
    ++m_iPos;
    return c != kEnd && std::isspace(c);
  }

 private:
  bool Take(int c) {
    if (Look() != c) return false;
    ++m_iPos;
    return true;
  }
};

tarn_status ParseAnyHeader(CTokens& in, std::uint32_t* piWidth, std::uint32_t* piHeight) {
  if (!in.Magic()) return TARN_ERR_PGM_MAGIC;
  const long iWidth = in.Number(), iHeight = in.Number(), iMaxval = in.Number();
  if (!IsValidDimension(iWidth) || !IsValidDimension(iHeight) || iMaxval < 1 || iMaxval > 255 ||
      !in.EndOfHeader())
    return TARN_ERR_PGM_FORMAT;
  *piWidth = static_cast<std::uint32_t>(iWidth);
  *piHeight = static_cast<std::uint32_t>(iHeight);
  return TARN_OK;
}

tarn_status ParseHeader(const unsigned char* pcData, std::size_t iSize, bool bComplete, int iRules,
                        std::uint32_t* piWidth, std::uint32_t* piHeight, std::size_t* piHeaderSize) {
  tarn_status status;
  bool bPastEnd;
  if (iRules == TARN_PGM_ENCODER) {
    CLineStream in(pcData, iSize);
    status = ParseEncoderHeader(in, piWidth, piHeight);
    bPastEnd = in.LookedPastEnd();
    *piHeaderSize = in.Position();
  } else {
    CTokens in(pcData, iSize);
    status = ParseAnyHeader(in, piWidth, piHeight);
    bPastEnd = in.LookedPastEnd();
    *piHeaderSize = in.Position();
  }
  if (*piHeaderSize > iSize) *piHeaderSize = iSize;  // a reader that took the end as a character
  return !bComplete && bPastEnd ? TARN_ERR_NEED_MORE_DATA : status;
}

}  // namespace
}  // namespace tarn

using namespace tarn;

extern "C" {

tarn_status tarn_pgm_parse_header(const void* data, size_t size, int32_t complete, int32_t rules,
                                  uint32_t* width, uint32_t* height, size_t* header_size) {
  if ((data == nullptr && size > 0) || width == nullptr || height == nullptr || header_size == nullptr ||
      (rules != TARN_PGM_ENCODER && rules != TARN_PGM_ANY))
    return TARN_ERR_INVALID_ARGUMENT;
  return ParseHeader(static_cast<const unsigned char*>(data), size, complete != 0, rules, width, height,
                     header_size);
}

tarn_status tarn_pgm_read(const void* data, size_t size, int32_t rules, tarn_image* out) {
  if (out == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  std::memset(out, 0, sizeof *out);
  uint32_t iWidth, iHeight;
  size_t iHeaderSize;
  if (tarn_status status = tarn_pgm_parse_header(data, size, 1, rules, &iWidth, &iHeight, &iHeaderSize))
    return status;
  const std::size_t iSamples = std::size_t(iWidth) * iHeight;
  if (size - iHeaderSize < iSamples) return TARN_ERR_TRUNCATED_INPUT;
  return Guard([&] {
    out->pixels = static_cast<uint8_t*>(Allocate(iSamples));
    std::memcpy(out->pixels, static_cast<const unsigned char*>(data) + iHeaderSize, iSamples);
    out->width = iWidth;
    out->height = iHeight;
    return TARN_OK;
  });
}

size_t tarn_pgm_header(uint32_t width, uint32_t height, char text[32]) {
  return static_cast<size_t>(std::snprintf(text, 32, "P5\n%u %u\n255\n", width, height));
}

tarn_status tarn_pgm_write(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                           uint8_t** data, size_t* size) {
  if (pixels == nullptr || data == nullptr || size == nullptr || stride < width)
    return TARN_ERR_INVALID_ARGUMENT;
  *data = nullptr;
  *size = 0;
  return Guard([&] {
    char acHeader[32];
    const std::size_t iHeader = tarn_pgm_header(width, height, acHeader);
    const std::size_t iTotal = iHeader + std::size_t(width) * height;
    uint8_t* pcOut = static_cast<uint8_t*>(Allocate(iTotal));
    std::memcpy(pcOut, acHeader, iHeader);
    for (uint32_t y = 0; y < height; ++y)
      std::memcpy(pcOut + iHeader + std::size_t(y) * width, pixels + y * stride, width);
    *data = pcOut;
    *size = iTotal;
    return TARN_OK;
  });
}

}  // extern "C"
