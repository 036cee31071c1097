// Decoding through the public API: a stream in memory, or record by record
// through a decoder object that merges MDC descriptions and reconstructs.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "api_internal.h"
#include "block_codec.h"
#include "parallel.h"
#include "stream_format.h"

struct tarn_decoder {
  tarn_decode_options options;
  tarn::LossSettings loss;
  std::uint32_t iWidth = 0, iHeight = 0;  // of one description
  int iDescriptions = 1;
  int iNext = 0;          // the description decoded next
  bool bFinished = false;
  std::unique_ptr<tarn::CProgress> pProgress;
  std::unique_ptr<tarn::CBlockDecoder> pCodec;  // the description's (normal mode)
  tarn::CArray2D<float> full;                   // the merged plane (MDC)
};

namespace tarn {
namespace {

tarn_status Validate(const tarn_decode_options* pOptions) {
  if (pOptions == nullptr || !IsCompatible(pOptions->abi_version)) return TARN_ERR_INVALID_ARGUMENT;
  if (pOptions->coder != TARN_CODER_ECEB && pOptions->coder != TARN_CODER_LCEB)
    return TARN_ERR_INVALID_ARGUMENT;
  if (pOptions->loss.pattern < 0 || pOptions->loss.pattern > 9) return TARN_ERR_INVALID_ARGUMENT;
  if (pOptions->filters != nullptr && !pOptions->filters->bFull) return TARN_ERR_INVALID_ARGUMENT;
  return pOptions->threads < 0 ? TARN_ERR_INVALID_ARGUMENT : TARN_OK;
}

bool IsValidSize(std::uint32_t iSize) { return iSize > 0 && iSize <= kMaxDimension && iSize % 8 == 0; }

std::int64_t DecodePlane(tarn_decoder& dec, CBlockDecoder& codec, int k, const tarn_record& record) {
  codec.m_pProgress = dec.pProgress.get();
  codec.m_iProgressPart = k;
  const bool bEntropyOnly = dec.options.coefficients_only != 0;
  const std::int64_t iLength = static_cast<std::int64_t>(record.length);
  return dec.options.coder == TARN_CODER_LCEB ? codec.DecodeLceb(record.payload, iLength, record.q, bEntropyOnly)
                                              : codec.DecodeEceb(record.payload, iLength, record.q, bEntropyOnly);
}

// Decodes description k with iThreads threads into its place: merged into
// the full plane with MDC, else kept as the decoder's object.
tarn_status DecodeDescription(tarn_decoder& dec, int k, const tarn_record& record, int iThreads,
                              uint32_t* piRead) {
  // A step that is not a positive number cannot come from an encoder.
  if (record.length > kMaxPayloadLength || !(record.q > 0 && std::isfinite(record.q)))
    return TARN_ERR_CORRUPT_STREAM;
  std::unique_ptr<CBlockDecoder> pCodec(new CBlockDecoder(dec.iWidth, dec.iHeight));
  pCodec->m_iThreads = iThreads;
  const std::int64_t iResult = DecodePlane(dec, *pCodec, k, record);
  if (iResult == kCancelled) return TARN_ERR_CANCELLED;
  if (iResult < 0) return TARN_ERR_CORRUPT_STREAM;
  *piRead = static_cast<uint32_t>(iResult);
  if (dec.iDescriptions == 4)
    pCodec->InsertDescription(dec.full.Data(), k);
  else
    dec.pCodec = std::move(pCodec);
  return TARN_OK;
}

// Decodes the next iCount descriptions, as many at once as there are
// threads. Each merges into its own place in the full plane, so one that
// succeeds after another failed changes nothing a caller can see: the
// plane is only read once every description is in, and a description
// decoded again overwrites all of its place.
tarn_status DecodeBatch(tarn_decoder& dec, const tarn_record* pRecords, int iCount, uint32_t* piRead,
                        int32_t* piDecoded) {
  const int iThreads = ResolveThreads(dec.options.threads);
  const int iAtOnce = std::min(iThreads, iCount);
  std::vector<tarn_status> vStatus(std::size_t(iCount), TARN_OK);
  std::vector<uint32_t> vRead(std::size_t(iCount), 0);
  dec.pProgress->TakeCallerThread();
  ParallelFor(iAtOnce, iCount, [&](int i) {
    vStatus[i] = Guard([&] {
      return DecodeDescription(dec, dec.iNext + i, pRecords[i], std::max(1, iThreads / iAtOnce), &vRead[i]);
    });
  }, dec.pProgress.get());
  int i = 0;
  for (; i < iCount && vStatus[i] == TARN_OK; ++i)
    if (piRead != nullptr) piRead[i] = vRead[i];
  dec.iNext += i;
  if (piDecoded != nullptr) *piDecoded = i;
  return i < iCount ? vStatus[i] : TARN_OK;
}

void CopyRows(const float* pfPlane, std::uint32_t iWidth, std::uint32_t iHeight, float* pfOut,
              std::size_t iStride) {
  for (std::uint32_t y = 0; y < iHeight; ++y)
    std::copy(pfPlane + std::size_t(y) * iWidth, pfPlane + std::size_t(y + 1) * iWidth, pfOut + y * iStride);
}

// The plane that the output comes from: the description's, or the merged
// one of MDC.
CArray2D<float>& PlaneOf(tarn_decoder& dec) { return dec.iDescriptions == 4 ? dec.full : dec.pCodec->_d; }

// With MDC, the full-size object that reconstructs the merged plane, built
// around it.
void Prepare(tarn_decoder& dec) {
  if (dec.options.coefficients_only != 0 || dec.iDescriptions == 1 || dec.pCodec) return;
  dec.pCodec.reset(new CBlockDecoder(2 * dec.iWidth, 2 * dec.iHeight, std::move(dec.full)));
  dec.pCodec->m_iThreads = ResolveThreads(dec.options.threads);
}

tarn_status Finish(tarn_decoder& dec, void* pOutput, std::size_t iStride) {
  std::uint32_t iWidth, iHeight;
  tarn_decoder_output_size(&dec, &iWidth, &iHeight);
  if (dec.options.coefficients_only != 0) {
    CopyRows(PlaneOf(dec).Data(), iWidth, iHeight, static_cast<float*>(pOutput), iStride);
    return TARN_OK;
  }
  Prepare(dec);
  CBlockDecoder& codec = *dec.pCodec;
  codec.m_diagnostics.pfnPlane = dec.options.on_plane;
  codec.m_diagnostics.pfnWarning = dec.options.on_warning;
  codec.m_diagnostics.pUser = dec.options.user_data;
  codec.Reconstruct(static_cast<unsigned char*>(pOutput), iStride, BankOf(dec.options.filters), dec.loss);
  dec.pCodec.reset();
  return TARN_OK;
}

// Takes the records of a stream in memory, as far as they go, and decodes
// them into dec, filling the byte counts of pOut.
tarn_status DecodeRecords(tarn_decoder& dec, const unsigned char* pcData, std::size_t iSize,
                          tarn_decoded* pOut) {
  tarn_record aRecords[4];
  tarn_status readStatus = TARN_OK;
  int iCount = 0;
  for (std::size_t iPos = 4; iCount < dec.iDescriptions; ++iCount) {
    if (iSize - iPos < 8) {
      readStatus = TARN_ERR_TRUNCATED_STREAM;
      break;
    }
    uint32_t iLength;
    const tarn_status fields = tarn_record_fields(pcData + iPos, &aRecords[iCount].q, &iLength);
    iPos += 8;
    readStatus = iLength > iSize - iPos ? TARN_ERR_TRUNCATED_STREAM : fields;
    if (readStatus != TARN_OK) break;
    aRecords[iCount].payload = pcData + iPos;
    aRecords[iCount].length = iLength;
    // The next record's width and height, unused; absent after the last.
    iPos += iLength;
    iPos = std::min(iSize, iPos + 4);
  }
  if (iCount > 0) {
    if (tarn_status status = DecodeBatch(dec, aRecords, iCount, pOut->bytes_read, &pOut->descriptions))
      return status;
  }
  return readStatus;
}

tarn_status DecodeStream(const unsigned char* pcData, std::size_t iSize,
                         const tarn_decode_options& options, tarn_decoded* pOut) {
  if (iSize < 4) return TARN_ERR_TRUNCATED_STREAM;
  uint32_t iWidth, iHeight;
  if (tarn_status status = tarn_stream_dimensions(pcData, &iWidth, &iHeight)) return status;
  tarn_decoder* pRaw = nullptr;
  if (tarn_status status = tarn_decoder_create(&options, iWidth, iHeight, &pRaw)) return status;
  std::unique_ptr<tarn_decoder, void (*)(tarn_decoder*)> pDecoder(pRaw, tarn_decoder_free);
  if (tarn_status status = DecodeRecords(*pDecoder, pcData, iSize, pOut)) return status;
  tarn_decoder_output_size(pDecoder.get(), &pOut->width, &pOut->height);
  const std::size_t iSamples = std::size_t(pOut->width) * pOut->height;
  void* pOutput;
  if (options.coefficients_only != 0)
    pOutput = pOut->plane = static_cast<float*>(Allocate(iSamples * sizeof(float)));
  else
    pOutput = pOut->pixels = static_cast<uint8_t*>(Allocate(iSamples));
  return Finish(*pDecoder, pOutput, pOut->width);
}

}  // namespace
}  // namespace tarn

using namespace tarn;

extern "C" {

tarn_status tarn_decode_options_init_abi(tarn_decode_options* options, uint32_t abi_version) {
  if (options == nullptr || !IsCompatible(abi_version)) return TARN_ERR_INVALID_ARGUMENT;
  std::memset(options, 0, sizeof *options);
  options->abi_version = abi_version;
  options->coder = TARN_CODER_ECEB;
  options->loss.boundary_loss = 1;
  options->loss.reuse_concealed = 1;
  options->threads = 1;
  return TARN_OK;
}

tarn_status tarn_stream_dimensions(const uint8_t bytes[4], uint32_t* width, uint32_t* height) {
  if (bytes == nullptr || width == nullptr || height == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  *width = GetU16(bytes);
  *height = GetU16(bytes + 2);
  return IsValidSize(*width) && IsValidSize(*height) ? TARN_OK : TARN_ERR_CORRUPT_STREAM;
}

tarn_status tarn_record_fields(const uint8_t bytes[8], float* q, uint32_t* length) {
  if (bytes == nullptr || q == nullptr || length == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  *q = BitsToFloat(GetU32(bytes));
  *length = GetU32(bytes + 4);
  const bool bValidQ = *q > 0 && std::isfinite(*q);
  return *length > kMaxPayloadLength || !bValidQ ? TARN_ERR_CORRUPT_STREAM : TARN_OK;
}

tarn_status tarn_decoder_create(const tarn_decode_options* options, uint32_t width, uint32_t height,
                                tarn_decoder** out) {
  if (out == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  *out = nullptr;
  if (tarn_status status = Validate(options)) return status;
  if (!IsValidSize(width) || !IsValidSize(height)) return TARN_ERR_INVALID_ARGUMENT;
  const std::uint64_t iPixels = std::uint64_t(width) * height * (options->mdc != 0 ? 4 : 1);
  if (options->max_pixels != 0 && iPixels > options->max_pixels) return TARN_ERR_PIXEL_LIMIT;
  return Guard([&] {
    std::unique_ptr<tarn_decoder> pDec(new tarn_decoder);
    pDec->options = *options;
    pDec->loss = {options->loss.pattern, options->loss.boundary_loss, options->loss.reuse_concealed,
                  options->loss.post_filter_2d};
    pDec->iWidth = width;
    pDec->iHeight = height;
    pDec->iDescriptions = options->mdc != 0 ? 4 : 1;
    pDec->pProgress.reset(new CProgress(options->progress, options->user_data, pDec->iDescriptions));
    if (pDec->iDescriptions == 4) pDec->full.Allocate(2 * std::size_t(height), 2 * std::size_t(width));
    *out = pDec.release();
    return TARN_OK;
  });
}

tarn_status tarn_decoder_decode(tarn_decoder* decoder, float q, const uint8_t* payload, size_t length,
                                uint32_t* bytes_read) {
  const tarn_record record = {q, payload, length};
  return tarn_decoder_decode_records(decoder, &record, 1, bytes_read, nullptr);
}

tarn_status tarn_decoder_decode_records(tarn_decoder* decoder, const tarn_record* records, int32_t count,
                                        uint32_t* bytes_read, int32_t* decoded) {
  if (decoded != nullptr) *decoded = 0;
  if (decoder == nullptr || records == nullptr || count < 1 || count > decoder->iDescriptions - decoder->iNext)
    return TARN_ERR_INVALID_ARGUMENT;
  for (int32_t i = 0; i < count; ++i)
    if (records[i].payload == nullptr && records[i].length > 0) return TARN_ERR_INVALID_ARGUMENT;
  return Guard([&] { return DecodeBatch(*decoder, records, count, bytes_read, decoded); });
}

void tarn_decoder_output_size(const tarn_decoder* decoder, uint32_t* width, uint32_t* height) {
  const std::uint32_t f = decoder->iDescriptions == 4 ? 2 : 1;
  *width = f * decoder->iWidth;
  *height = f * decoder->iHeight;
}

tarn_status tarn_decoder_prepare(tarn_decoder* decoder) {
  if (decoder == nullptr || decoder->bFinished || decoder->iNext < decoder->iDescriptions)
    return TARN_ERR_INVALID_ARGUMENT;
  return Guard([&] {
    Prepare(*decoder);
    return TARN_OK;
  });
}

tarn_status tarn_decoder_take_plane(tarn_decoder* decoder, float** plane) {
  if (decoder == nullptr || plane == nullptr || decoder->bFinished || decoder->iNext < decoder->iDescriptions ||
      decoder->options.coefficients_only == 0)
    return TARN_ERR_INVALID_ARGUMENT;
  decoder->bFinished = true;
  *plane = PlaneOf(*decoder).Release();
  return TARN_OK;
}

tarn_status tarn_decoder_finish(tarn_decoder* decoder, void* output, size_t stride) {
  if (decoder == nullptr || output == nullptr || decoder->bFinished ||
      decoder->iNext < decoder->iDescriptions)
    return TARN_ERR_INVALID_ARGUMENT;
  uint32_t iWidth, iHeight;
  tarn_decoder_output_size(decoder, &iWidth, &iHeight);
  if (stride < iWidth) return TARN_ERR_INVALID_ARGUMENT;
  decoder->bFinished = true;
  return Guard([&] { return Finish(*decoder, output, stride); });
}

void tarn_decoder_free(tarn_decoder* decoder) { delete decoder; }

tarn_status tarn_decode(const void* data, size_t size, const tarn_decode_options* options,
                        tarn_decoded* out) {
  if (out == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  std::memset(out, 0, sizeof *out);
  if (data == nullptr && size > 0) return TARN_ERR_INVALID_ARGUMENT;
  if (tarn_status status = Validate(options)) return status;
  const tarn_status status = Guard([&] {
    return DecodeStream(static_cast<const unsigned char*>(data), size, *options, out);
  });
  if (status != TARN_OK) {
    tarn_free(out->pixels);
    tarn_free(out->plane);
    out->pixels = nullptr;
    out->plane = nullptr;
  }
  return status;
}

uint64_t tarn_decode_memory(uint32_t width, uint32_t height, const tarn_decode_options* options) {
  // One description object per description decoded at once; with MDC the
  // merged plane and, when reconstructing, the full-size object.
  const std::uint64_t iSamples = std::uint64_t(width) * height;
  std::uint64_t iBytes = CBlockCodec::FootprintBytes(width, height);
  if (options == nullptr || options->mdc == 0) return iBytes;
  iBytes *= std::uint64_t(std::min(ResolveThreads(options->threads), 4));
  iBytes += 16 * iSamples;
  if (options->coefficients_only == 0) iBytes += CBlockCodec::FootprintBytes(2 * width, 2 * height);
  return iBytes;
}

}  // extern "C"
