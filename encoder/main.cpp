// tarnpack: reads a binary PGM or a grey PNG image (or a raw plane of transformed
// coefficients with -c), pre-filters and transforms it, codes it as one
// description or as four MDC descriptions, and writes the compressed stream.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "file_io.h"
#include "tarn/tarn.h"
#include "thread_option.h"

namespace {
constexpr int kInvalidPreFilter = -1;
constexpr int kCannotOpenInput = -2;
constexpr int kCannotCreateOutput = -3;
constexpr int kBadInput = -4;
constexpr int kBadQuantStep = -5;
constexpr int kOutOfMemory = -6;
constexpr int kCannotCreateDescriptionFile = -100;

struct Settings {
  const char* pcInFile;
  const char* pcOutFile;
  const char* pcFilterConfig;
  float fQ;
  bool bEntropyOnly = false;
  bool bEceb = true;
  int iMdc = 0;
  bool bVerbose = false;
  std::int32_t iThreads = 1;
};

void PrintUsage(const char* pcName) {
  std::cout << "Usage: " << pcName << " infile outfile precfg q [-c n] [-f n] [-v n]" << std::endl
            << "  infile:  input pgm file" << std::endl
            << "  outfile: compressed file." << std::endl
            << "  precfg: " << std::endl
            << "     0: Use built-in pre/post-filter with ideal bit alloc (better than 1 and 5)."
            << std::endl
            << "     1: Use built-in pre/post-filter with positive bit alloc for 0.125bpp."
            << std::endl
            << "     5: Use built-in pre/post-filter with positive bit alloc for 0.5bpp." << std::endl
            << "  precfg can also be a file name that contains pre/post-filters." << std::endl
            << "  q:      Quantization step (can be floating point value)." << std::endl
            << "  -c n: entropy coding only flag" << std::endl
            << "     n=1: entropy coding only. Input has been prefiltered, DCT-txed, and quantized."
            << std::endl
            << "  -f n: ECEB entropy coding flag" << std::endl
            << "       n=1 (default): Use the more efficient Embedded CEB (ECEB) entropy coding."
            << std::endl
            << "       n=0: Use local CEB (LCEB) entropy coding." << std::endl
            << "  -v n: 0(default): do not display filter info. 1: display filter info. "
            << std::endl
            << "  Examples: " << std::endl
            << "\t\ttarnpack.exe kovra.pgm z.out 0 20" << std::endl
            << "\t\ttarnpack.exe kovra.pgm z.out vexoman8_1_2_new.dat 20" << std::endl;
}

// pcName is null when the program was started without an invocation name.
[[noreturn]] void ExitWithUsage(const char* pcName) {
  PrintUsage(pcName != nullptr ? pcName : "");
  std::exit(1);
}

// A number beyond the float range becomes an infinity, which the check of q
// then refuses, as rounding to nearest has it: from halfway between the
// largest float and the next power of two on; below that it rounds to the
// largest float.
float NarrowToFloat(double fValue) {
  const double fOverflow = 0x1.ffffffp127;
  if (fValue >= fOverflow) return std::numeric_limits<float>::infinity();
  if (fValue <= -fOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(fValue);
}

Settings ParseCommandLine(int argc, char** argv) {
  if (argc < 5) ExitWithUsage(argv[0]);
  Settings s;
  s.pcInFile = argv[1];
  s.pcOutFile = argv[2];
  s.pcFilterConfig = argv[3];
  s.fQ = NarrowToFloat(std::strtod(argv[4], nullptr));
  if ((argc - 5) % 2 != 0) ExitWithUsage(argv[0]);
  for (int i = 5; i < argc; i += 2) {
    const char* pcOption = argv[i];
    const char cValue = argv[i + 1][0];
    if (pcOption[0] != '-') ExitWithUsage(argv[0]);
    switch (pcOption[1]) {
      case 'c':
        s.bEntropyOnly = true;
        break;
      case 'f':
        s.bEceb = cValue != '0';
        break;
      case 'm':
        s.iMdc = cValue - '0';
        std::cout << (s.iMdc == 0 || s.iMdc == 1 ? "MDC:" : "Invalid MDC option") << std::endl;
        break;
      case 'v':
        s.bVerbose = true;
        break;
      case 't':
        if (!ParseThreadCount(argv[i + 1], &s.iThreads)) ExitWithUsage(argv[0]);
        break;
      default:
        ExitWithUsage(argv[0]);
    }
  }
  return s;
}

int ReportOutOfMemory() {
  std::cout << "Not enough memory." << std::endl;
  return kOutOfMemory;
}

// Loads the pre-filter of precfg: a built-in digit, or the size field and
// the pre-filter of a filter configuration file, which -v prints. 0, or the
// error after its message.
int LoadFilters(const Settings& s, tarn_filters** ppFilters) {
  const char cFirst = s.pcFilterConfig[0];
  if (cFirst >= '0' && cFirst <= '9') {
    if (tarn_filters_builtin(cFirst - '0', ppFilters) != TARN_OK) return ReportOutOfMemory();
    return 0;
  }
  const std::vector<unsigned char> vBytes = ReadFilterFile(s.pcFilterConfig, TARN_FILTERS_PREFILTER);
  tarn_filter_info info;
  const tarn_status status =
      tarn_filters_load(vBytes.data(), vBytes.size(), TARN_FILTERS_PREFILTER, &info, ppFilters);
  if (status == TARN_ERR_OUT_OF_MEMORY) return ReportOutOfMemory();
  if (s.bVerbose) std::cout << "Prefilter size " << info.size << std::endl;
  if (s.bVerbose && (info.sections & TARN_SECTION_PREFILTER))
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 8; ++j) std::cout << info.prefilter[8 * i + j] << "  ";
      std::cout << std::endl;
    }
  if (status != TARN_OK) {
    std::cout << "Invalid prefilter data file." << std::endl;
    return kInvalidPreFilter;
  }
  return 0;
}

int ReportTruncated(const Settings& s) {
  std::cout << "Truncated org_file " << s.pcInFile << std::endl;
  return kBadInput;
}

// The message and exit value of a failure of the input or of the coding.
int Report(tarn_status status, const Settings& s) {
  switch (status) {
    case TARN_ERR_PGM_MAGIC: std::cout << "Invalid pgm file " << std::endl; return kBadInput;
    case TARN_ERR_PGM_FORMAT: std::cout << "Invalid pgm format" << std::endl; return kBadInput;
    case TARN_ERR_PGM_SIZE: std::cout << "Image size must be multiple of 16." << std::endl; return kBadInput;
    case TARN_ERR_PNG_FORMAT: std::cout << "Invalid png format" << std::endl; return kBadInput;
    case TARN_ERR_RAW_PLANE_SIZE: std::cout << "Invalid raw plane size." << std::endl; return kBadInput;
    case TARN_ERR_RAW_PLANE_DATA: std::cout << "Invalid raw plane data." << std::endl; return kBadInput;
    case TARN_ERR_TRUNCATED_INPUT: return ReportTruncated(s);
    case TARN_ERR_QUANT_STEP:
      std::cout << "Quantization step must be a positive number." << std::endl;
      return kBadQuantStep;
    case TARN_ERR_QUANT_TOO_SMALL: std::cout << "Quantization step too small." << std::endl; return kBadQuantStep;
    default: return ReportOutOfMemory();
  }
}

// True when the input that was no PGM begins with the PNG signature: the
// PGM reader stops at the signature's first line, so up to its 8 bytes are
// read first.
bool IsPng(CFileReader& in, std::vector<unsigned char>* pvData) {
  if (pvData->size() < TARN_PNG_SIGNATURE_SIZE) in.ReadUpTo(pvData, TARN_PNG_SIGNATURE_SIZE - pvData->size());
  return tarn_png_has_signature(pvData->data(), pvData->size()) != 0;
}

// A PNG is decoded from memory, so the whole input is read first: from a
// pipe, as long as it delivers.
tarn_status ReadPngHeader(CFileReader& in, std::uint32_t* piWidth, std::uint32_t* piHeight,
                          std::vector<unsigned char>* pvData) {
  while (in.ReadSome(pvData, 1 << 20) != 0) {
  }
  return tarn_png_parse_header(pvData->data(), pvData->size(), TARN_PGM_ENCODER, piWidth, piHeight);
}

// The input's header: a raw plane's size fields, or a PGM header, read as
// far as it goes (from a pipe, as it arrives). The bytes read after the
// header are the first of the samples, left in *pvData. A PNG (*pbPng) is
// read whole into *pvData.
tarn_status ReadHeader(CFileReader& in, const Settings& s, std::uint32_t* piWidth,
                       std::uint32_t* piHeight, std::vector<unsigned char>* pvData, bool* pbPng) {
  if (s.bEntropyOnly) {
    unsigned char acHeader[TARN_RAW_PLANE_HEADER_SIZE];
    if (!in.Read(acHeader, sizeof acHeader)) return TARN_ERR_TRUNCATED_INPUT;
    return tarn_raw_plane_parse_header(acHeader, s.iMdc != 0, piWidth, piHeight);
  }
  for (;;) {
    const bool bEnd = in.ReadSome(pvData, 1 << 16) == 0;
    std::size_t iHeader = 0;
    const tarn_status status = tarn_pgm_parse_header(pvData->data(), pvData->size(), bEnd, TARN_PGM_ENCODER,
                                                     piWidth, piHeight, &iHeader);
    if (status == TARN_ERR_NEED_MORE_DATA) continue;
    if (status == TARN_ERR_PGM_MAGIC && IsPng(in, pvData)) {
      *pbPng = true;
      return ReadPngHeader(in, piWidth, piHeight, pvData);
    }
    pvData->erase(pvData->begin(), pvData->begin() + static_cast<std::ptrdiff_t>(iHeader));
    return status;
  }
}

// The bytes held at the peak of a run: the input and what the library needs.
bool FitsRun(std::uint32_t iWidth, std::uint32_t iHeight, const Settings& s,
             const tarn_encode_options& options) {
  const double fInput = (s.bEntropyOnly ? 4.0 : 1.0) * iWidth * iHeight;
  return FitsInMemory(fInput + double(tarn_encode_memory(iWidth, iHeight, &options)));
}

// Decodes a whole PNG whose header has been read and encodes it (0), or
// returns the error after its message.
int EncodePng(const std::vector<unsigned char>& vFile, const Settings& s, const tarn_encode_options& options,
              tarn_encoded* pOut, std::uint32_t iWidth, std::uint32_t iHeight) {
  if (!FitsRun(iWidth, iHeight, s, options)) return ReportOutOfMemory();
  tarn_image image;
  if (tarn_status status = tarn_png_read(vFile.data(), vFile.size(), TARN_PGM_ENCODER, &image))
    return Report(status, s);
  const std::unique_ptr<uint8_t, decltype(&tarn_free)> pixels(image.pixels, tarn_free);
  const tarn_status status = tarn_encode(image.pixels, iWidth, iHeight, iWidth, &options, pOut);
  return status == TARN_OK ? 0 : Report(status, s);
}

// Reads and encodes the input (0), or returns the error after its message.
// A file too short for the announced size is refused before anything is
// sized from it; from a pipe the samples are read as they come.
int EncodeInput(CFileReader& in, const Settings& s, const tarn_encode_options& options,
                tarn_encoded* pOut, std::uint32_t* piWidth, std::uint32_t* piHeight) {
  std::uint32_t& iWidth = *piWidth;
  std::uint32_t& iHeight = *piHeight;
  std::vector<unsigned char> vInput;
  bool bPng = false;
  if (tarn_status status = ReadHeader(in, s, &iWidth, &iHeight, &vInput, &bPng)) return Report(status, s);
  if (bPng) return EncodePng(vInput, s, options, pOut, iWidth, iHeight);
  const std::uint64_t iBytes = (s.bEntropyOnly ? 4 : 1) * (std::uint64_t(iWidth) * iHeight);
  if (iBytes > vInput.size() && iBytes - vInput.size() > in.Remaining()) return ReportTruncated(s);
  if (!FitsRun(iWidth, iHeight, s, options)) return ReportOutOfMemory();
  if (!in.ReadBytes(&vInput, iBytes)) return ReportTruncated(s);
  tarn_status status;
  if (s.bEntropyOnly) {
    // The plane's floats, in the host's layout.
    std::vector<float> vPlane(std::size_t(iWidth) * iHeight);
    std::memcpy(vPlane.data(), vInput.data(), iBytes);
    std::vector<unsigned char>().swap(vInput);
    status = tarn_encode_coefficients(vPlane.data(), iWidth, iHeight, &options, pOut);
  } else {
    status = tarn_encode(vInput.data(), iWidth, iHeight, iWidth, &options, pOut);
  }
  return status == TARN_OK ? 0 : Report(status, s);
}

std::string DescriptionFileName(std::size_t k) { return "mdc" + std::to_string(k + 1) + ".out"; }

// With MDC, an outfile that is one of the description files would be
// overwritten by it.
bool IsDescriptionFile(const Settings& s) {
  for (std::size_t k = 0; s.iMdc != 0 && k < 4; ++k)
    if (IsSameFile(s.pcOutFile, DescriptionFileName(k).c_str())) return true;
  return false;
}

// After a failed write to outfile: removes it and the iDescriptions
// description files this run wrote before it, and reports the failure.
int ReportFailedWrite(std::ofstream& out, const Settings& s, std::size_t iDescriptions) {
  out.close();
  RemovePartialFile(s.pcOutFile);
  for (std::size_t k = 0; k < iDescriptions; ++k)
    RemovePartialFile(DescriptionFileName(k).c_str());
  std::cout << "Can't create cmp_file " << s.pcOutFile << std::endl;
  return kCannotCreateOutput;
}

// Writes the records to outfile (and with MDC each to its own file),
// printing each payload length, then the totals.
int WriteStream(const Settings& s, std::uint32_t iWidth, std::uint32_t iHeight,
                const tarn_encoded& stream) {
  std::ofstream out(s.pcOutFile, std::ios::binary | std::ios::trunc);
  if (!out) {
    std::cout << "Can't create cmp_file " << s.pcOutFile << std::endl;
    return kCannotCreateOutput;
  }
  std::uint32_t iTotal = 0;
  for (int k = 0; k < stream.descriptions; ++k) {
    const char* pcRecord = reinterpret_cast<const char*>(stream.data + stream.record_offset[k]);
    const std::streamsize iRecord = TARN_RECORD_HEADER_SIZE + std::streamsize(stream.payload_length[k]);
    iTotal += stream.payload_length[k];
    out.write(pcRecord, iRecord);
    if (!out.flush()) return ReportFailedWrite(out, s, std::size_t(k));
    if (s.iMdc != 0) {
      std::ofstream part(DescriptionFileName(std::size_t(k)), std::ios::binary | std::ios::trunc);
      if (part) part.write(pcRecord, iRecord);
      if (!part || !part.flush()) {
        std::cout << "Failed to create file " << std::endl;
        return kCannotCreateDescriptionFile;
      }
    }
    std::cout << stream.payload_length[k] << " bytes" << std::endl;
  }
  PrintTotals(std::cout, iTotal, iWidth, iHeight);
  return 0;
}

struct Releaser {
  void operator()(tarn_filters* p) const { tarn_filters_free(p); }
};

int Run(const Settings& s) {
  tarn_encode_options options;
  tarn_encode_options_init(&options);
  options.q = s.fQ;
  options.coder = s.bEceb ? TARN_CODER_ECEB : TARN_CODER_LCEB;
  options.mdc = s.iMdc;
  options.threads = s.iThreads;
  if (tarn_status status = tarn_encode_options_validate(&options)) return Report(status, s);
  tarn_filters* pFilters = nullptr;
  if (int iResult = LoadFilters(s, &pFilters)) return iResult;
  const std::unique_ptr<tarn_filters, Releaser> filters(pFilters);
  options.filters = pFilters;
  CFileReader in(s.pcInFile);
  if (!in.IsOpen()) {
    std::cout << "Can't open org_file " << s.pcInFile << std::endl;
    return kCannotOpenInput;
  }
  if (IsDescriptionFile(s)) {
    std::cout << "Can't create cmp_file " << s.pcOutFile << std::endl;
    return kCannotCreateOutput;
  }
  try {
    tarn_encoded stream = {};
    std::uint32_t iWidth = 0, iHeight = 0;
    if (int iResult = EncodeInput(in, s, options, &stream, &iWidth, &iHeight)) return iResult;
    const std::unique_ptr<uint8_t, decltype(&tarn_free)> data(stream.data, tarn_free);
    return WriteStream(s, iWidth, iHeight, stream);
  } catch (const std::bad_alloc&) {
    return ReportOutOfMemory();
  }
}
}  // namespace

int main(int argc, char** argv) { return Run(ParseCommandLine(argc, argv)); }
