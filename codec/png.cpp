// PNG images in memory through libpng. libpng reports a failure by calling
// an error function that must not return, and prints errors and warnings
// to standard error unless given functions of its own: ours drop the
// warnings and jump back (longjmp) to the call that set the jump buffer,
// having noted whether the data ran out or an allocation failed, so that
// the failure becomes a status. The functions that set a jump buffer hold
// no objects with destructors, which a jump would skip.
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "api_internal.h"
#include "stream_format.h"

namespace tarn {
namespace {

// The largest width and height a PNG can have (an MDC image may be twice
// as large as a stream's 16-bit fields).
constexpr png_uint_32 kMaxPngDimension = 0x7FFFFFFF;

// What the callbacks of one libpng object share: the data being read or
// the file being written, and why a run failed.
struct PngContext {
  const unsigned char* pcInput = nullptr;
  std::size_t iInputSize = 0;
  std::size_t iInputPos = 0;
  unsigned char* pcOutput = nullptr;  // from malloc, handed out on success
  std::size_t iOutputSize = 0;
  std::size_t iOutputCapacity = 0;
  bool bTruncated = false;
  bool bOutOfMemory = false;
};

PngContext& ContextOf(png_structp png) { return *static_cast<PngContext*>(png_get_error_ptr(png)); }

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

png_voidp OnMalloc(png_structp png, png_alloc_size_t iBytes) {
  void* p = std::malloc(iBytes);
  if (p == nullptr) ContextOf(png).bOutOfMemory = true;
  return p;
}
void OnFree(png_structp, png_voidp p) { std::free(p); }

void ReadInput(png_structp png, png_bytep pcDest, png_size_t iCount) {
  PngContext& context = ContextOf(png);
  if (iCount > context.iInputSize - context.iInputPos) {
    context.bTruncated = true;
    png_error(png, "data ends early");
  }
  std::memcpy(pcDest, context.pcInput + context.iInputPos, iCount);
  context.iInputPos += iCount;
}

// Appends to the output, doubling its room as it grows.
void WriteOutput(png_structp png, png_bytep pcData, png_size_t iCount) {
  PngContext& context = ContextOf(png);
  if (context.iOutputCapacity - context.iOutputSize < iCount) {
    const std::size_t iCapacity = std::max(2 * context.iOutputCapacity, context.iOutputSize + iCount);
    void* p = std::realloc(context.pcOutput, iCapacity);
    if (p == nullptr) {
      context.bOutOfMemory = true;
      png_error(png, "out of memory");
    }
    context.pcOutput = static_cast<unsigned char*>(p);
    context.iOutputCapacity = iCapacity;
  }
  std::memcpy(context.pcOutput + context.iOutputSize, pcData, iCount);
  context.iOutputSize += iCount;
}

void FlushOutput(png_structp) {}

// The status of a libpng run that failed.
tarn_status FailureOf(const PngContext& context) {
  if (context.bOutOfMemory) return TARN_ERR_OUT_OF_MEMORY;
  return context.bTruncated ? TARN_ERR_TRUNCATED_INPUT : TARN_ERR_PNG_FORMAT;
}

// A libpng read object over data in memory.
class CPngReader {
 public:
  CPngReader(const void* pData, std::size_t iSize) {
    m_context.pcInput = static_cast<const unsigned char*>(pData);
    m_context.iInputSize = iSize;
    m_png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &m_context, OnError, OnWarning, &m_context,
                                     OnMalloc, OnFree);
    if (m_png != nullptr) m_info = png_create_info_struct(m_png);
  }
  ~CPngReader() { png_destroy_read_struct(&m_png, &m_info, nullptr); }
  CPngReader(const CPngReader&) = delete;
  CPngReader& operator=(const CPngReader&) = delete;

  // Reads the chunks before the image data and checks what they announce.
  tarn_status ReadHeader(int iRules, std::uint32_t* piWidth, std::uint32_t* piHeight) {
    if (m_info == nullptr) return TARN_ERR_OUT_OF_MEMORY;
    if (!ReadInfo()) return FailureOf(m_context);
    png_uint_32 iWidth = 0, iHeight = 0;
    int iDepth = 0, iColour = 0;
    png_get_IHDR(m_png, m_info, &iWidth, &iHeight, &iDepth, &iColour, nullptr, nullptr, nullptr);
    if (iColour != PNG_COLOR_TYPE_GRAY || iDepth > 8 || png_get_valid(m_png, m_info, PNG_INFO_tRNS) != 0 ||
        iWidth > kMaxDimension || iHeight > kMaxDimension)
      return TARN_ERR_PNG_FORMAT;
    if (iRules == TARN_PGM_ENCODER && (iWidth % 16 != 0 || iHeight % 16 != 0)) return TARN_ERR_PGM_SIZE;
    *piWidth = iWidth;
    *piHeight = iHeight;
    return TARN_OK;
  }

  // After ReadHeader: the samples into the rows, then the chunks up to the
  // end chunk, whose checksums libpng verifies.
  tarn_status ReadImage(png_bytep* ppRows) { return ReadRows(ppRows) ? TARN_OK : FailureOf(m_context); }

 private:
  bool ReadInfo() {
    if (setjmp(png_jmpbuf(m_png))) return false;
    png_set_read_fn(m_png, &m_context, ReadInput);
    png_set_user_limits(m_png, kMaxDimension, kMaxDimension);
    png_read_info(m_png, m_info);
    return true;
  }
  bool ReadRows(png_bytep* ppRows) {
    if (setjmp(png_jmpbuf(m_png))) return false;
    png_set_expand_gray_1_2_4_to_8(m_png);
    png_set_interlace_handling(m_png);
    png_read_update_info(m_png, m_info);
    png_read_image(m_png, ppRows);
    png_read_end(m_png, nullptr);
    return true;
  }

  PngContext m_context;
  png_structp m_png = nullptr;
  png_infop m_info = nullptr;
};

// A libpng write object that builds the file in memory.
class CPngWriter {
 public:
  CPngWriter() {
    m_png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &m_context, OnError, OnWarning, &m_context,
                                      OnMalloc, OnFree);
    if (m_png != nullptr) m_info = png_create_info_struct(m_png);
  }
  ~CPngWriter() {
    png_destroy_write_struct(&m_png, &m_info);
    std::free(m_context.pcOutput);
  }
  CPngWriter(const CPngWriter&) = delete;
  CPngWriter& operator=(const CPngWriter&) = delete;

  // Writes an 8-bit grey image and hands the file to *ppData.
  tarn_status Write(const uint8_t* pcPixels, std::uint32_t iWidth, std::uint32_t iHeight, std::size_t iStride,
                    uint8_t** ppData, std::size_t* piSize) {
    if (m_info == nullptr) return TARN_ERR_OUT_OF_MEMORY;
    if (!WriteRows(pcPixels, iWidth, iHeight, iStride))
      return m_context.bOutOfMemory ? TARN_ERR_OUT_OF_MEMORY : TARN_ERR_INVALID_ARGUMENT;
    *ppData = m_context.pcOutput;
    *piSize = m_context.iOutputSize;
    m_context.pcOutput = nullptr;
    return TARN_OK;
  }

 private:
  bool WriteRows(const uint8_t* pcPixels, std::uint32_t iWidth, std::uint32_t iHeight, std::size_t iStride) {
    if (setjmp(png_jmpbuf(m_png))) return false;
    png_set_write_fn(m_png, &m_context, WriteOutput, FlushOutput);
    png_set_user_limits(m_png, kMaxPngDimension, kMaxPngDimension);
    png_set_IHDR(m_png, m_info, iWidth, iHeight, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(m_png, m_info);
    for (std::uint32_t y = 0; y < iHeight; ++y) png_write_row(m_png, pcPixels + y * iStride);
    png_write_end(m_png, nullptr);
    return true;
  }

  PngContext m_context;
  png_structp m_png = nullptr;
  png_infop m_info = nullptr;
};

bool IsValidArgument(const void* pData, std::size_t iSize, int32_t iRules) {
  return (pData != nullptr || iSize == 0) && (iRules == TARN_PGM_ENCODER || iRules == TARN_PGM_ANY);
}

}  // namespace
}  // namespace tarn

using namespace tarn;

extern "C" {

int32_t tarn_png_has_signature(const void* data, size_t size) {
  return data != nullptr && size >= TARN_PNG_SIGNATURE_SIZE &&
         png_sig_cmp(static_cast<png_const_bytep>(data), 0, TARN_PNG_SIGNATURE_SIZE) == 0;
}

tarn_status tarn_png_parse_header(const void* data, size_t size, int32_t rules, uint32_t* width,
                                  uint32_t* height) {
  if (!IsValidArgument(data, size, rules) || width == nullptr || height == nullptr)
    return TARN_ERR_INVALID_ARGUMENT;
  return Guard([&] {
    CPngReader reader(data, size);
    return reader.ReadHeader(rules, width, height);
  });
}

tarn_status tarn_png_read(const void* data, size_t size, int32_t rules, tarn_image* out) {
  if (out == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  std::memset(out, 0, sizeof *out);
  if (!IsValidArgument(data, size, rules)) return TARN_ERR_INVALID_ARGUMENT;
  return Guard([&] {
    CPngReader reader(data, size);
    uint32_t iWidth, iHeight;
    if (tarn_status status = reader.ReadHeader(rules, &iWidth, &iHeight)) return status;
    std::unique_ptr<uint8_t, decltype(&tarn_free)> pixels(
        static_cast<uint8_t*>(Allocate(std::size_t(iWidth) * iHeight)), tarn_free);
    std::vector<png_bytep> vRows(iHeight);
    for (uint32_t y = 0; y < iHeight; ++y) vRows[y] = pixels.get() + std::size_t(y) * iWidth;
    if (tarn_status status = reader.ReadImage(vRows.data())) return status;
    out->pixels = pixels.release();
    out->width = iWidth;
    out->height = iHeight;
    return TARN_OK;
  });
}

tarn_status tarn_png_write(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                           uint8_t** data, size_t* size) {
  if (pixels == nullptr || data == nullptr || size == nullptr || stride < width || width == 0 ||
      height == 0 || width > kMaxPngDimension || height > kMaxPngDimension)
    return TARN_ERR_INVALID_ARGUMENT;
  *data = nullptr;
  *size = 0;
  return Guard([&] {
    CPngWriter writer;
    return writer.Write(pixels, width, height, stride, data, size);
  });
}

}  // extern "C"
