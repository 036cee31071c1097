// tarnunpack: reads a compressed stream, decodes one description (four with
// MDC), reconstructs the image and writes a binary PGM (a PNG for an output
// named *.png), or with -c the decoded coefficients as a raw plane.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "file_io.h"
#include "tarn/tarn.h"
#include "thread_option.h"

namespace {
constexpr int kCannotOpenStream = -1;
constexpr int kInvalidFilterSize = -1;
constexpr int kCannotCreateOutput = -2;
constexpr int kInvalidFilterSection = -10;
constexpr int kBadStream = -20;
constexpr int kOutOfMemory = -30;

struct Settings {
  const char* pcStream;
  const char* pcOutFile;
  int iBoundaryLoss = 1;
  bool bEntropyOnly = false;
  int iEdgeAdaptive = 0;
  bool bEceb = true;
  int iLossConfig = 0;
  int iMdc = 0;
  int iReuseEstData = 1;
  bool bVerbose = false;
  int iSwitch2DPost = 0;
  std::int32_t iThreads = 1;
};

void PrintUsage(const char* pcName) {
  std::cout << "Usage: " << pcName << " cmp_file pgm_flie fltcfg [-c n] [-f n] [-v n]" << std::endl
            << "  precfg: " << std::endl
            << "     0: Use built-in pre/post-filter with ideal bit alloc (better than 1 and 5)."
            << std::endl
            << "     1: Use built-in pre/post-filter with positive bit alloc for 0.125bpp."
            << std::endl
            << "     5: Use built-in pre/post-filter with positive bit alloc for 0.5bpp." << std::endl
            << "     precfg can also be a file name that contains other pre/post-filters."
            << std::endl
            << " -c n: entropy coding only flag" << std::endl
            << "       n=1: entropy decoding only. Output raw file for Matlab to process."
            << std::endl
            << " -f n: ECEB entropy coding flag" << std::endl
            << "       n=1 (default): Use the more efficient Embedded CEB (ECEB) entropy coding."
            << std::endl
            << "       n=0: Use local CEB (LCEB) entropy coding." << std::endl
            << "  -v n: 0(default): do not display filter info. 1: display filter info. "
            << std::endl
            << "  Examples: " << std::endl
            << "\t\ttarnunpack.exe  z.out dec.pgm 0" << std::endl
            << "\t\ttarnunpack.exe  z.out dec.pgm vexoman8_1_2_new.dat" << std::endl;
}

// pcName is null when the program was started without an invocation name.
[[noreturn]] void ExitWithUsage(const char* pcName) {
  PrintUsage(pcName != nullptr ? pcName : "");
  std::exit(1);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Takes the option pairs after the three positional arguments, printing each
// option's notice as it is taken.
Settings ParseOptions(int argc, char** argv) {
  Settings s;
  s.pcStream = argv[1];
  s.pcOutFile = argv[2];
  if ((argc - 4) % 2 != 0) ExitWithUsage(argv[0]);
  for (int i = 4; i < argc; i += 2) {
    const char* pcOption = argv[i];
    const char cValue = argv[i + 1][0];
    const int iValue = cValue - '0';
    if (pcOption[0] != '-') ExitWithUsage(argv[0]);
    switch (pcOption[1]) {
      case 'b':
        s.iBoundaryLoss = iValue;
        if (iValue == 0) std::cout << "Disable loss of boundary blocks." << std::endl;
        break;
      case 'c':
        s.bEntropyOnly = true;
        break;
      case 'e':
        s.iEdgeAdaptive = iValue;
        if (iValue != 0) std::cout << "Use edge adaptive prediction for lost block." << std::endl;
        break;
      case 'f':
        s.bEceb = cValue != '0';
        break;
      case 'l':
        if (!IsDigit(cValue)) ExitWithUsage(argv[0]);
        s.iLossConfig = iValue;
        std::cout << "Error concealment test with config " << iValue << std::endl;
        break;
      case 'm':
        s.iMdc = iValue;
        if (iValue != 0) std::cout << "Decoding MDC bitstream" << std::endl;
        break;
      case 'r':
        s.iReuseEstData = iValue;
        if (iValue == 0)
          std::cout << "Override default iReuseEstData setting. Only use received data."
                    << std::endl;
        break;
      case 't':
        if (!ParseThreadCount(argv[i + 1], &s.iThreads)) ExitWithUsage(argv[0]);
        break;
      case 'v':
        s.bVerbose = true;
        break;
      case 'x':
        s.iSwitch2DPost = iValue;
        if (iValue != 0)
          std::cout << "Override default iSwitch2DPost setting. Use special filter in 2D."
                    << std::endl;
        break;
      default:
        ExitWithUsage(argv[0]);
    }
  }
  return s;
}

int Report(const char* pcMessage, const char* pcName, int iResult) {
  std::cout << pcMessage << pcName << std::endl;
  return iResult;
}

int ReportOutOfMemory() {
  std::cout << "Not enough memory." << std::endl;
  return kOutOfMemory;
}

// A failure of the stream or of its decoding.
int ReportStream(tarn_status status, const Settings& s) {
  if (status == TARN_ERR_TRUNCATED_STREAM) return Report("Truncated cmp_file ", s.pcStream, kBadStream);
  if (status == TARN_ERR_CORRUPT_STREAM) return Report("Corrupt cmp_file ", s.pcStream, kBadStream);
  return ReportOutOfMemory();
}

// Prints iRows x iCols values of a matrix, each followed by two blanks.
void PrintMatrix(const float* pfValues, int iRows, int iCols) {
  for (int i = 0; i < iRows; ++i) {
    for (int j = 0; j < iCols; ++j) std::cout << pfValues[i * iCols + j] << "  ";
    std::cout << std::endl;
  }
}

// Shows what the loader read, in file order: the sizes and matrices with
// -v, and the notice when the file has no DCT Wiener filter.
void ShowFilters(const tarn_filter_info& info, bool bVerbose) {
  if (bVerbose) std::cout << "Postfilter size: " << info.size << "x" << info.size << std::endl;
  if (bVerbose && (info.sections & TARN_SECTION_POSTFILTER)) PrintMatrix(info.postfilter, 8, 8);
  if (bVerbose && (info.sections & TARN_SECTION_LOSS_FILTER)) {
    std::cout << std::endl
              << (info.loss_size == 8 ? "Non-PR postfilter size:" : "General Wiener filter size:")
              << info.loss_size << std::endl;
    PrintMatrix(info.loss_filter, info.loss_size, info.loss_size);
  }
  if (info.sections & TARN_SECTION_DCT_WIENER) {
    if (bVerbose) {
      std::cout << std::endl << "Wiener filter for DCT: " << info.dct_size << "x" << 16 << std::endl;
      PrintMatrix(info.dct_wiener, 8, 16);
    }
  } else if ((info.sections & TARN_SECTION_DCT_SIZE) && info.dct_size == 0 && info.loss_size != 16) {
    std::cout << "No DCT Wiener. Mean reconstruction will be used." << std::endl;
  }
  if (bVerbose && (info.sections & TARN_SECTION_BOUNDARY_WIENER)) {
    std::cout << std::endl << "Boundary Wiener filter: " << std::endl;
    PrintMatrix(info.boundary_wiener, 8, 8);
  }
}

// Loads the filters of fltcfg: a built-in digit, or a filter configuration
// file. 0, or the error after its message.
int LoadFilters(const char* pcConfig, bool bVerbose, tarn_filters** ppFilters) {
  if (IsDigit(pcConfig[0]))
    return tarn_filters_builtin(pcConfig[0] - '0', ppFilters) == TARN_OK ? 0 : ReportOutOfMemory();
  const std::vector<unsigned char> vBytes = ReadFilterFile(pcConfig, TARN_FILTERS_FULL);
  tarn_filter_info info;
  const tarn_status status = tarn_filters_load(vBytes.data(), vBytes.size(), TARN_FILTERS_FULL, &info, ppFilters);
  if (status == TARN_ERR_OUT_OF_MEMORY) return ReportOutOfMemory();
  ShowFilters(info, bVerbose);
  switch (status) {
    case TARN_OK:
      return 0;
    case TARN_ERR_FILTER_SIZE:
      std::cout << "Invalid prefilter data file. Filter size should be BLK_SIZE" << std::endl;
      return kInvalidFilterSize;
    case TARN_ERR_LOSS_POSTFILTER_SIZE:
      std::cout << "Invalid postfilter size." << std::endl;
      return kInvalidFilterSection;
    default:
      std::cout << "Invalid DCT wiener size." << std::endl;
      return kInvalidFilterSection;
  }
}

tarn_decode_options DecodeOptions(const Settings& s, const tarn_filters* pFilters) {
  tarn_decode_options options;
  tarn_decode_options_init(&options);
  options.coder = s.bEceb ? TARN_CODER_ECEB : TARN_CODER_LCEB;
  options.mdc = s.iMdc;
  options.filters = pFilters;
  options.coefficients_only = s.bEntropyOnly;
  options.loss = {s.iLossConfig, s.iBoundaryLoss, s.iReuseEstData, s.iSwitch2DPost};
  options.threads = s.iThreads;
  return options;
}

// The dump files of the diagnostic planes, by kind.
const char* const kDumpNames[] = {"LostData.raw", "LostMask.raw", "BeforePost.raw"};

// The reconstruction's diagnostic planes go to their dump files in the
// current directory (a file that cannot be created is skipped), its
// warnings to the console.
void WriteDump(void*, const tarn_diagnostic_plane* pPlane) {
  std::ofstream file(kDumpNames[pPlane->kind], std::ios::binary | std::ios::trunc);
  if (!file) return;
  const std::uint64_t iCount = std::uint64_t(pPlane->width) * pPlane->height;
  if (pPlane->kind == TARN_PLANE_LOST_MASK)
    file.write(reinterpret_cast<const char*>(pPlane->mask), static_cast<std::streamsize>(iCount));
  else
    file.write(reinterpret_cast<const char*>(pPlane->values), static_cast<std::streamsize>(4 * iCount));
}

void PrintWarning(void*, const char* pcLine) { std::cout << pcLine << std::endl; }

struct Releaser {
  void operator()(tarn_filters* p) const { tarn_filters_free(p); }
  void operator()(tarn_decoder* p) const { tarn_decoder_free(p); }
};
using Decoder = std::unique_ptr<tarn_decoder, Releaser>;

// Bytes held at the peak of a run: what the library needs and the output
// buffer the program holds (none with MDC and -c: the library hands its
// merged plane over).
bool FitsRun(std::uint32_t iWidth, std::uint32_t iHeight, const Settings& s,
             const tarn_decode_options& options) {
  const double fSamples = double(iWidth) * iHeight;
  double fOutput = (s.bEntropyOnly ? 4 : 1) * fSamples;
  if (s.iMdc != 0) fOutput = s.bEntropyOnly ? 0 : 4 * fSamples;
  return FitsInMemory(double(tarn_decode_memory(iWidth, iHeight, &options)) + fOutput);
}

// A record as read from the stream.
struct Record {
  float fQ = 0;
  std::vector<unsigned char> vPayload;
};

// Reads up to iCount records (q, length and payload each, and the next
// record's unused width and height); the status that stopped it, or
// TARN_OK with all of them read.
tarn_status ReadPayloads(CFileReader& stream, int iCount, std::vector<Record>* pvRecords) {
  for (int k = 0; k < iCount; ++k) {
    unsigned char acFields[8];
    Record record;
    std::uint32_t iLength = 0;
    if (!stream.Read(acFields, sizeof acFields)) return TARN_ERR_TRUNCATED_STREAM;
    const tarn_status fields = tarn_record_fields(acFields, &record.fQ, &iLength);
    if (iLength > stream.Remaining()) return TARN_ERR_TRUNCATED_STREAM;
    if (fields != TARN_OK) return fields;
    if (!stream.ReadBytes(&record.vPayload, iLength)) return TARN_ERR_TRUNCATED_STREAM;
    pvRecords->push_back(std::move(record));
    // After the last record the stream ends here.
    unsigned char acSize[4];
    stream.Read(acSize, 4);
  }
  return TARN_OK;
}

// Decodes the records read (all at once, so that the descriptions of MDC
// can be decoded side by side) and prints their byte counts; the first
// failure, of the decoding or else of the reading, ends it after its
// message, as it would have one record at a time.
int DecodePayloads(const std::vector<Record>& vRecords, tarn_status readStatus, const Settings& s,
                   tarn_decoder* pDecoder) {
  std::vector<tarn_record> vFields;
  for (const Record& record : vRecords) vFields.push_back({record.fQ, record.vPayload.data(), record.vPayload.size()});
  std::uint32_t aiRead[4] = {};
  std::int32_t iDecoded = 0;
  tarn_status status = TARN_OK;
  if (!vFields.empty())
    status = tarn_decoder_decode_records(pDecoder, vFields.data(), static_cast<std::int32_t>(vFields.size()),
                                         aiRead, &iDecoded);
  std::uint64_t iTotal = 0;
  for (std::int32_t k = 0; k < iDecoded; ++k) {
    iTotal += aiRead[k];
    std::cout << aiRead[k] << " bytes" << std::endl;
  }
  if (status == TARN_OK) status = readStatus;
  if (status != TARN_OK) return ReportStream(status, s);
  std::cout << iTotal << " bytes in total." << std::endl;
  return 0;
}

// Reads the size fields and decodes the announced records into *pDecoder
// (0), or returns the error after its message.
int ReadRecords(CFileReader& stream, const Settings& s, const tarn_decode_options& options,
                Decoder* pDecoder) {
  unsigned char acSize[4];
  std::uint32_t iWidth, iHeight;
  if (!stream.Read(acSize, sizeof acSize)) return ReportStream(TARN_ERR_TRUNCATED_STREAM, s);
  if (tarn_status status = tarn_stream_dimensions(acSize, &iWidth, &iHeight)) return ReportStream(status, s);
  if (!FitsRun(iWidth, iHeight, s, options)) return ReportOutOfMemory();
  tarn_decoder* pRaw = nullptr;
  if (tarn_decoder_create(&options, iWidth, iHeight, &pRaw) != TARN_OK) return ReportOutOfMemory();
  pDecoder->reset(pRaw);
  std::vector<Record> vRecords;
  const tarn_status readStatus = ReadPayloads(stream, s.iMdc != 0 ? 4 : 1, &vRecords);
  return DecodePayloads(vRecords, readStatus, s, pRaw);
}

bool WriteRawPlane(std::ofstream& out, std::uint32_t iWidth, std::uint32_t iHeight, const float* pfPlane) {
  std::uint8_t acHeader[TARN_RAW_PLANE_HEADER_SIZE];
  tarn_raw_plane_header(iWidth, iHeight, acHeader);
  out.write(reinterpret_cast<const char*>(acHeader), sizeof acHeader);
  out.write(reinterpret_cast<const char*>(pfPlane), static_cast<std::streamsize>(4 * std::uint64_t(iWidth) * iHeight));
  return static_cast<bool>(out.flush());
}

bool WritePgm(std::ofstream& out, std::uint32_t iWidth, std::uint32_t iHeight, const unsigned char* pcPixels) {
  char acHeader[32];
  out.write(acHeader, static_cast<std::streamsize>(tarn_pgm_header(iWidth, iHeight, acHeader)));
  out.write(reinterpret_cast<const char*>(pcPixels), static_cast<std::streamsize>(std::uint64_t(iWidth) * iHeight));
  return static_cast<bool>(out.flush());
}

// Writes the decoded coefficient plane, which the library hands over.
int WriteCoefficients(tarn_decoder* pDecoder, const Settings& s, std::uint32_t iWidth, std::uint32_t iHeight) {
  float* pfPlane = nullptr;
  if (tarn_decoder_take_plane(pDecoder, &pfPlane) != TARN_OK) return ReportOutOfMemory();
  const std::unique_ptr<float, decltype(&tarn_free)> plane(pfPlane, tarn_free);
  std::ofstream out(s.pcOutFile, std::ios::binary | std::ios::trunc);
  if (!out) return Report("Can't create pgm_file ", s.pcOutFile, kCannotCreateOutput);
  if (WriteRawPlane(out, iWidth, iHeight, pfPlane)) return 0;
  out.close();
  RemovePartialFile(s.pcOutFile);
  return Report("Can't create pgm_file ", s.pcOutFile, kCannotCreateOutput);
}

// An output name ending in ".png", in any case, asks for a PNG.
bool IsPngName(const char* pcName) {
  const std::size_t iLength = std::strlen(pcName);
  if (iLength < 4) return false;
  const char* pcEnd = pcName + iLength - 4;
  for (int k = 0; k < 4; ++k)
    if (std::tolower(static_cast<unsigned char>(pcEnd[k])) != ".png"[k]) return false;
  return true;
}

bool WriteBytes(std::ofstream& out, const std::uint8_t* pcData, std::size_t iSize) {
  out.write(reinterpret_cast<const char*>(pcData), static_cast<std::streamsize>(iSize));
  return static_cast<bool>(out.flush());
}

int RemoveOutput(std::ofstream& out, const Settings& s, int iResult) {
  out.close();
  RemovePartialFile(s.pcOutFile);
  return iResult;
}

// Writes the reconstructed image as a PGM, or as a PNG for a name ending in
// ".png", which the library makes in memory. A failed write removes the
// partial file; so does a PNG that runs out of memory.
int WriteImageFile(std::ofstream& out, const Settings& s, std::uint32_t iWidth, std::uint32_t iHeight,
                   const unsigned char* pcPixels) {
  bool bWritten;
  if (IsPngName(s.pcOutFile)) {
    std::uint8_t* pcFile = nullptr;
    std::size_t iSize = 0;
    if (tarn_png_write(pcPixels, iWidth, iHeight, iWidth, &pcFile, &iSize) != TARN_OK)
      return RemoveOutput(out, s, ReportOutOfMemory());
    const std::unique_ptr<std::uint8_t, decltype(&tarn_free)> file(pcFile, tarn_free);
    bWritten = WriteBytes(out, pcFile, iSize);
  } else {
    bWritten = WritePgm(out, iWidth, iHeight, pcPixels);
  }
  if (bWritten) return 0;
  return RemoveOutput(out, s, Report("Can't create pgm_file ", s.pcOutFile, kCannotCreateOutput));
}

// Reconstructs the image and writes it. Everything the pixels need is
// allocated before the file is created, so that a failed allocation leaves
// no file behind; a failed write removes the partial file.
int WriteImage(tarn_decoder* pDecoder, const Settings& s, std::uint32_t iWidth, std::uint32_t iHeight) {
  std::vector<unsigned char> vPixels(std::size_t(iWidth) * iHeight);
  if (tarn_decoder_prepare(pDecoder) != TARN_OK) return ReportOutOfMemory();
  std::ofstream out(s.pcOutFile, std::ios::binary | std::ios::trunc);
  if (!out) return Report("Can't create pgm_file ", s.pcOutFile, kCannotCreateOutput);
  if (tarn_decoder_finish(pDecoder, vPixels.data(), iWidth) == TARN_OK)
    return WriteImageFile(out, s, iWidth, iHeight, vPixels.data());
  return RemoveOutput(out, s, Report("Can't create pgm_file ", s.pcOutFile, kCannotCreateOutput));
}

int WriteOutput(tarn_decoder* pDecoder, const Settings& s) {
  std::uint32_t iWidth, iHeight;
  tarn_decoder_output_size(pDecoder, &iWidth, &iHeight);
  return s.bEntropyOnly ? WriteCoefficients(pDecoder, s, iWidth, iHeight) : WriteImage(pDecoder, s, iWidth, iHeight);
}

// True when the output is one of the dump files this run writes, which
// would overwrite it (pattern 5 writes no plane before the post-filter).
bool IsDumpFile(const Settings& s) {
  for (int kind = 0; !s.bEntropyOnly && kind < 3; ++kind)
    if ((kind != TARN_PLANE_BEFORE_POST || s.iLossConfig != 5) && IsSameFile(s.pcOutFile, kDumpNames[kind]))
      return true;
  return false;
}

int Run(int argc, char** argv) {
  if (argc < 4) ExitWithUsage(argv[0]);
  CFileReader stream(argv[1]);
  if (!stream.IsOpen()) return Report("Can't open cmp_file ", argv[1], kCannotOpenStream);
  const Settings s = ParseOptions(argc, argv);
  std::cout << std::fixed << std::setprecision(2);
  tarn_filters* pFilters = nullptr;
  if (int iResult = LoadFilters(argv[3], s.bVerbose, &pFilters)) return iResult;
  const std::unique_ptr<tarn_filters, Releaser> filters(pFilters);
  if (IsDumpFile(s)) return Report("Can't create pgm_file ", s.pcOutFile, kCannotCreateOutput);
  tarn_decode_options options = DecodeOptions(s, pFilters);
  options.on_plane = WriteDump;
  options.on_warning = PrintWarning;
  try {
    Decoder decoder;
    if (int iResult = ReadRecords(stream, s, options, &decoder)) return iResult;
    return WriteOutput(decoder.get(), s);
  } catch (const std::bad_alloc&) {
    return ReportOutOfMemory();
  }
}
}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
