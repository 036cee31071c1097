// tarnpack: reads a binary PGM image (or a raw plane of transformed
// coefficients with -c), pre-filters and transforms it, codes it as one
// description or as four MDC descriptions, and writes the compressed stream.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "block_codec.h"
#include "stream_io.h"

namespace {
constexpr int kInvalidPreFilter = -1;
constexpr int kCannotOpenInput = -2;
constexpr int kCannotCreateOutput = -3;
constexpr int kBadInput = -4;
constexpr int kBadQuantStep = -5;
constexpr int kOutOfMemory = -6;
constexpr int kCannotCreateDescriptionFile = -100;

// Stored width and height are 16-bit fields.
constexpr long kMaxDimension = 65535;

struct Settings {
  const char* pcInFile;
  const char* pcOutFile;
  const char* pcFilterConfig;
  float fQ;
  bool bEntropyOnly = false;
  bool bEceb = true;
  int iMdc = 0;
  bool bVerbose = false;
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

Settings ParseCommandLine(int argc, char** argv) {
  if (argc < 5) ExitWithUsage(argv[0]);
  Settings s;
  s.pcInFile = argv[1];
  s.pcOutFile = argv[2];
  s.pcFilterConfig = argv[3];
  s.fQ = static_cast<float>(std::strtod(argv[4], nullptr));
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
      default:
        ExitWithUsage(argv[0]);
    }
  }
  return s;
}

// Reads the size field and the pre-filter of a filter configuration file
// into the top-left 8 x 8 corner of pfMatrix (row stride 16). Values the file
// does not hold read as 0; an unreadable file reads as size 0.
bool LoadPreFilter(const char* pcName, bool bVerbose, float* pfMatrix) {
  CFileReader file(pcName);
  std::uint32_t iBits = 0;
  file.ReadU32(&iBits);
  const std::int32_t iSize = static_cast<std::int32_t>(iBits);
  if (bVerbose) std::cout << "Prefilter size " << iSize << std::endl;
  if (iSize != BLK_SIZE) {
    std::cout << "Invalid prefilter data file." << std::endl;
    return false;
  }
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) {
      float f = 0;
      file.ReadFloat(&f);
      pfMatrix[i * 16 + j] = f;
      if (bVerbose) std::cout << f << "  ";
    }
    if (bVerbose) std::cout << std::endl;
  }
  return true;
}

// Header lines are read into a 100-character buffer: a line longer than 99
// characters fails the stream, and the header is then rejected.
constexpr int kLineBuffer = 100;

// Reads up to cDelimiter (taken and dropped); an empty text once the stream
// has failed.
void ReadLine(std::istream& in, char* pcLine, char cDelimiter = '\n') {
  pcLine[0] = '\0';
  in.getline(pcLine, kLineBuffer, cDelimiter);
}

void SkipComments(std::istream& in) {
  char ac[kLineBuffer];
  while (in.peek() == '#') ReadLine(in, ac);
}

// Reads the header of a binary PGM, leaving the stream at the first sample.
// Returns 0, or -10 (no P5 magic), -20 (a size that is 0, negative or does
// not fit a 16-bit field) or -30 (a size not a multiple of 16).
int ReadPgmHeader(std::istream& in, std::uint32_t* piWidth, std::uint32_t* piHeight) {
  char ac[kLineBuffer];
  SkipComments(in);
  ReadLine(in, ac);
  if (ac[0] != 'P' || ac[1] != '5') {
    std::cout << "Invalid pgm file " << std::endl;
    return -10;
  }
  SkipComments(in);
  ReadLine(in, ac, ' ');
  const long iWidth = std::strtol(ac, nullptr, 10);
  ReadLine(in, ac);
  const long iHeight = std::strtol(ac, nullptr, 10);
  if (iWidth <= 0 || iHeight <= 0 || iWidth > kMaxDimension || iHeight > kMaxDimension) {
    std::cout << "Invalid pgm format" << std::endl;
    return -20;
  }
  if (iWidth % 16 != 0 || iHeight % 16 != 0) {
    std::cout << "Image size must be multiple of 16." << std::endl;
    return -30;
  }
  SkipComments(in);
  ReadLine(in, ac);
  *piWidth = static_cast<std::uint32_t>(iWidth);
  *piHeight = static_cast<std::uint32_t>(iHeight);
  return 0;
}

// The raw plane's size fields: whole blocks (whole description blocks with
// MDC) that fit the stream's 16-bit fields.
bool IsValidRawPlaneSize(std::int32_t iSize, bool bMdc) {
  return iSize > 0 && iSize <= kMaxDimension && iSize % (bMdc ? 16 : 8) == 0;
}

// Bytes held at the peak of a run: input buffer, full-size object, payloads,
// and with MDC the description buffer and one description object.
double PeakBytes(std::uint32_t iWidth, std::uint32_t iHeight, bool bRaw, bool bMdc) {
  const double fSamples = double(iWidth) * iHeight;
  double fBytes = (bRaw ? 4 : 1) * fSamples + CBlockCodec::FootprintBytes(iWidth, iHeight) +
                  fSamples;
  if (bMdc) fBytes += fSamples + CBlockCodec::FootprintBytes(iWidth / 2, iHeight / 2);
  return fBytes;
}

struct Payload {
  std::vector<unsigned char> vBytes;
  int iLength;
};

int EncodePlane(CBlockEncoder& codec, bool bEceb, float fQ, Payload* pPayload) {
  pPayload->vBytes.resize(std::size_t(codec.m_iWidth) * codec.m_iHeight);
  pPayload->iLength = bEceb ? codec.EncodeEceb(&pPayload->vBytes, fQ)
                            : codec.EncodeLceb(&pPayload->vBytes, fQ);
  return pPayload->iLength;
}

// Codes the plane of full as one description, or as four with MDC; false
// when q is too small for the plane.
bool EncodeDescriptions(CBlockEncoder& full, const Settings& s, std::vector<Payload>* pvOut) {
  if (s.iMdc == 0) {
    pvOut->resize(1);
    return EncodePlane(full, s.bEceb, s.fQ, &(*pvOut)[0]) >= 0;
  }
  const std::uint32_t iWidth = full.m_iWidth / 2, iHeight = full.m_iHeight / 2;
  std::vector<float> vDescription(std::size_t(iWidth) * iHeight);
  pvOut->resize(4);
  for (int k = 0; k < 4; ++k) {
    CBlockEncoder part(iWidth, iHeight);
    full.ExtractDescription(vDescription.data(), k);
    part.SetPlane(vDescription.data());
    if (EncodePlane(part, s.bEceb, s.fQ, &(*pvOut)[k]) < 0) return false;
  }
  return true;
}

int ReportTruncated(const Settings& s) {
  std::cout << "Truncated org_file " << s.pcInFile << std::endl;
  return kBadInput;
}

// Reads the size fields of a raw plane (0), or returns the error.
int ReadRawPlaneHeader(CFileReader& in, const Settings& s, std::uint32_t* piWidth,
                       std::uint32_t* piHeight) {
  if (!in.ReadU32(piWidth) || !in.ReadU32(piHeight)) return ReportTruncated(s);
  if (!IsValidRawPlaneSize(static_cast<std::int32_t>(*piWidth), s.iMdc != 0) ||
      !IsValidRawPlaneSize(static_cast<std::int32_t>(*piHeight), s.iMdc != 0)) {
    std::cout << "Invalid raw plane size." << std::endl;
    return kBadInput;
  }
  return 0;
}

// True when every float of a raw plane (in the host's layout, as SetPlaneRaw
// takes them) is finite: a NaN or an infinity cannot be quantised.
bool IsFinitePlane(const std::vector<unsigned char>& vBytes) {
  for (std::size_t i = 0; i + 4 <= vBytes.size(); i += 4) {
    float f;
    std::memcpy(&f, &vBytes[i], 4);
    if (!std::isfinite(f)) return false;
  }
  return true;
}

// Loads the input into a fresh full-size object (0), or returns the error.
// A file too short for the announced size is refused before anything is
// sized from it; from a pipe the samples are read as they come.
int LoadInput(CFileReader& in, const Settings& s, std::unique_ptr<CBlockEncoder>* ppCodec,
              int iFilterType, const float* pfFilter) {
  std::uint32_t iWidth, iHeight;
  if (s.bEntropyOnly) {
    if (int iResult = ReadRawPlaneHeader(in, s, &iWidth, &iHeight)) return iResult;
  } else if (ReadPgmHeader(in.Stream(), &iWidth, &iHeight) != 0) {
    return kBadInput;
  }
  const std::uint64_t iBytes = (s.bEntropyOnly ? 4 : 1) * (std::uint64_t(iWidth) * iHeight);
  if (iBytes > in.Remaining()) return ReportTruncated(s);
  if (!FitsInMemory(PeakBytes(iWidth, iHeight, s.bEntropyOnly, s.iMdc != 0))) {
    std::cout << "Not enough memory." << std::endl;
    return kOutOfMemory;
  }
  std::vector<unsigned char> vInput;
  if (!in.ReadBytes(&vInput, iBytes)) return ReportTruncated(s);
  if (s.bEntropyOnly && !IsFinitePlane(vInput)) {
    std::cout << "Invalid raw plane data." << std::endl;
    return kBadInput;
  }
  ppCodec->reset(new CBlockEncoder(iWidth, iHeight));
  if (s.bEntropyOnly)
    (*ppCodec)->SetPlaneRaw(vInput.data());
  else
    (*ppCodec)->ForwardTransform(vInput.data(), iFilterType, pfFilter);
  return 0;
}

std::string DescriptionFileName(std::size_t k) { return "mdc" + std::to_string(k + 1) + ".out"; }

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
                const std::vector<Payload>& vPayloads) {
  std::ofstream out(s.pcOutFile, std::ios::binary | std::ios::trunc);
  if (!out) {
    std::cout << "Can't create cmp_file " << s.pcOutFile << std::endl;
    return kCannotCreateOutput;
  }
  const std::uint32_t f = s.iMdc != 0 ? 2 : 1;
  std::uint32_t iTotal = 0;
  for (std::size_t k = 0; k < vPayloads.size(); ++k) {
    const Payload& payload = vPayloads[k];
    const RecordHeader header = {static_cast<std::uint16_t>(iWidth / f),
                                 static_cast<std::uint16_t>(iHeight / f), s.fQ,
                                 static_cast<std::uint32_t>(payload.iLength)};
    iTotal += header.m_iLength;
    WriteRecord(out, header, payload.vBytes.data());
    if (!out.flush()) return ReportFailedWrite(out, s, k);
    if (s.iMdc != 0) {
      std::ofstream part(DescriptionFileName(k), std::ios::binary | std::ios::trunc);
      if (part) WriteRecord(part, header, payload.vBytes.data());
      if (!part || !part.flush()) {
        std::cout << "Failed to create file " << std::endl;
        return kCannotCreateDescriptionFile;
      }
    }
    std::cout << payload.iLength << " bytes" << std::endl;
  }
  PrintTotals(std::cout, iTotal, iWidth, iHeight);
  return 0;
}

int Run(const Settings& s) {
  if (!(s.fQ > 0) || !std::isfinite(s.fQ)) {
    std::cout << "Quantization step must be a positive number." << std::endl;
    return kBadQuantStep;
  }
  const char cFirst = s.pcFilterConfig[0];
  const int iFilterType = cFirst >= '0' && cFirst <= '9' ? cFirst - '0' : -1;
  float afFilter[256] = {};
  if (iFilterType == -1 && !LoadPreFilter(s.pcFilterConfig, s.bVerbose, afFilter))
    return kInvalidPreFilter;
  CFileReader in(s.pcInFile);
  if (!in.IsOpen()) {
    std::cout << "Can't open org_file " << s.pcInFile << std::endl;
    return kCannotOpenInput;
  }
  try {
    std::unique_ptr<CBlockEncoder> pCodec;
    if (int iResult = LoadInput(in, s, &pCodec, iFilterType, afFilter)) return iResult;
    std::vector<Payload> vPayloads;
    if (!EncodeDescriptions(*pCodec, s, &vPayloads)) {
      std::cout << "Quantization step too small." << std::endl;
      return kBadQuantStep;
    }
    return WriteStream(s, pCodec->m_iWidth, pCodec->m_iHeight, vPayloads);
  } catch (const std::bad_alloc&) {
    std::cout << "Not enough memory." << std::endl;
    return kOutOfMemory;
  }
}
}  // namespace

int main(int argc, char** argv) { return Run(ParseCommandLine(argc, argv)); }
