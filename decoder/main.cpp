// tarnunpack: reads a compressed stream, decodes one description (four with
// MDC), reconstructs the image and writes a binary PGM, or with -c the
// decoded coefficients as a raw plane.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <memory>
#include <new>
#include <vector>

#include "block_codec.h"
#include "filter_config.h"
#include "stream_io.h"

namespace {
constexpr int kCannotOpenStream = -1;
constexpr int kCannotCreateOutput = -2;
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

// Bytes held at the peak of a run for descriptions of W x H: one description
// object and the output buffer; with MDC also the merged plane and, when
// reconstructing, the full-size object and its pixels.
double PeakBytes(std::uint32_t iWidth, std::uint32_t iHeight, const Settings& s) {
  const double fSamples = double(iWidth) * iHeight;
  double fBytes = CBlockCodec::FootprintBytes(iWidth, iHeight);
  if (s.iMdc == 0) return fBytes + (s.bEntropyOnly ? 4 : 1) * fSamples;
  fBytes += 16 * fSamples;
  if (!s.bEntropyOnly) fBytes += CBlockCodec::FootprintBytes(2 * iWidth, 2 * iHeight) + 4 * fSamples;
  return fBytes;
}

bool WriteRawPlane(std::ofstream& out, std::uint32_t iWidth, std::uint32_t iHeight,
                   const float* pfPlane) {
  unsigned char ac[8];
  PutU32(ac, iWidth);
  PutU32(ac + 4, iHeight);
  out.write(reinterpret_cast<const char*>(ac), 8);
  out.write(reinterpret_cast<const char*>(pfPlane),
            static_cast<std::streamsize>(4 * std::uint64_t(iWidth) * iHeight));
  return static_cast<bool>(out.flush());
}

bool WritePgm(std::ofstream& out, std::uint32_t iWidth, std::uint32_t iHeight,
              const unsigned char* pcPixels) {
  out << "P5\n" << iWidth << ' ' << iHeight << "\n255\n";
  out.write(reinterpret_cast<const char*>(pcPixels),
            static_cast<std::streamsize>(std::uint64_t(iWidth) * iHeight));
  return static_cast<bool>(out.flush());
}

void ReconstructInto(CBlockDecoder& codec, unsigned char* pcPixels, const Settings& s,
                     int iFilterType, const FilterBank& bank) {
  codec.Reconstruct(pcPixels, iFilterType, bank.m_afPostFilter, bank.m_afLossPostFilter,
                    bank.m_bHasDctWiener ? bank.m_afDctWiener : nullptr, s.iLossConfig,
                    s.iReuseEstData, bank.m_iLossPostFilterSize, s.iSwitch2DPost,
                    s.iBoundaryLoss, bank.m_afBoundaryWiener, bank.m_afBoundaryWienerMirror);
}

// What the records decode to: the size of one description, and the
// description's object (normal mode) or the merged plane (MDC).
struct Decoded {
  std::uint32_t iWidth;
  std::uint32_t iHeight;
  std::unique_ptr<CBlockDecoder> pCodec;
  std::vector<float> vFullPlane;
};

// Reads one record's q, length and payload and decodes the payload into a
// fresh object; 0 with the bytes the decoder read in *piRead, or the error.
int DecodeRecord(CFileReader& stream, const Settings& s, Decoded* pDecoded, int* piRead) {
  float fQ;
  std::uint32_t iLength;
  if (!stream.ReadFloat(&fQ) || !stream.ReadU32(&iLength) || iLength > stream.Remaining())
    return Report("Truncated cmp_file ", s.pcStream, kBadStream);
  if (iLength > INT_MAX) return Report("Corrupt cmp_file ", s.pcStream, kBadStream);
  std::vector<unsigned char> vPayload;
  if (!stream.ReadBytes(&vPayload, iLength))
    return Report("Truncated cmp_file ", s.pcStream, kBadStream);
  pDecoded->pCodec.reset(new CBlockDecoder(pDecoded->iWidth, pDecoded->iHeight));
  CBlockDecoder& codec = *pDecoded->pCodec;
  const int iLengthInt = static_cast<int>(iLength);
  *piRead = s.bEceb ? codec.DecodeEceb(vPayload.data(), iLengthInt, fQ, s.bEntropyOnly)
                    : codec.DecodeLceb(vPayload.data(), iLengthInt, fQ, s.bEntropyOnly);
  if (*piRead < 0) return Report("Corrupt cmp_file ", s.pcStream, kBadStream);
  return 0;
}

// Reads the size fields and decodes the announced records (0), or returns
// the error.
int ReadRecords(CFileReader& stream, const Settings& s, Decoded* pDecoded) {
  std::uint16_t iWidth16, iHeight16;
  if (!stream.ReadU16(&iWidth16) || !stream.ReadU16(&iHeight16))
    return Report("Truncated cmp_file ", s.pcStream, kBadStream);
  const std::uint32_t iWidth = iWidth16, iHeight = iHeight16;
  if (iWidth == 0 || iHeight == 0 || iWidth % 8 != 0 || iHeight % 8 != 0)
    return Report("Corrupt cmp_file ", s.pcStream, kBadStream);
  if (!FitsInMemory(PeakBytes(iWidth, iHeight, s))) {
    std::cout << "Not enough memory." << std::endl;
    return kOutOfMemory;
  }
  pDecoded->iWidth = iWidth;
  pDecoded->iHeight = iHeight;
  pDecoded->vFullPlane.resize(s.iMdc != 0 ? 4 * std::size_t(iWidth) * iHeight : 0);
  const int iDescriptions = s.iMdc != 0 ? 4 : 1;
  std::uint32_t iTotal = 0;
  for (int k = 0; k < iDescriptions; ++k) {
    int iLengthRead = 0;
    if (int iResult = DecodeRecord(stream, s, pDecoded, &iLengthRead)) return iResult;
    iTotal += static_cast<std::uint32_t>(iLengthRead);
    std::cout << iLengthRead << " bytes" << std::endl;
    if (s.iMdc != 0) {
      pDecoded->pCodec->InsertDescription(pDecoded->vFullPlane.data(), k);
      pDecoded->pCodec.reset();
    }
    // The next record's width and height repeat the first; after the last
    // record the stream ends here.
    unsigned char acSize[4];
    stream.Read(acSize, 4);
  }
  std::cout << iTotal << " bytes in total." << std::endl;
  return 0;
}

// Allocates what the output of W x H needs: the plane of a raw output, or
// the pixels and, with MDC, the full-size object holding the merged plane.
void PrepareOutput(Decoded& decoded, const Settings& s, std::uint32_t iWidth, std::uint32_t iHeight,
                   std::vector<float>* pvPlane, std::vector<unsigned char>* pvPixels) {
  const std::size_t iSamples = std::size_t(iWidth) * iHeight;
  if (s.bEntropyOnly && s.iMdc == 0) {
    pvPlane->resize(iSamples);
    decoded.pCodec->GetPlane(pvPlane->data());
  } else if (s.bEntropyOnly) {
    pvPlane->swap(decoded.vFullPlane);
  } else {
    pvPixels->resize(iSamples);
    if (s.iMdc == 0) return;
    decoded.pCodec.reset(new CBlockDecoder(iWidth, iHeight));
    decoded.pCodec->SetPlane(decoded.vFullPlane.data());
  }
}

// Writes the decoded plane as a raw plane (-c) or reconstructs and writes the
// image. Everything the output needs is allocated before the file is created,
// so that a failed allocation leaves no empty file behind; a failed write
// removes the partial file.
int WriteOutput(Decoded& decoded, const Settings& s, int iFilterType, const FilterBank& bank) {
  const std::uint32_t f = s.iMdc != 0 ? 2 : 1;
  const std::uint32_t iWidth = f * decoded.iWidth, iHeight = f * decoded.iHeight;
  std::vector<float> vPlane;
  std::vector<unsigned char> vPixels;
  PrepareOutput(decoded, s, iWidth, iHeight, &vPlane, &vPixels);
  std::ofstream out(s.pcOutFile, std::ios::binary | std::ios::trunc);
  if (!out) return Report("Can't create pgm_file ", s.pcOutFile, kCannotCreateOutput);
  bool bWritten;
  if (s.bEntropyOnly) {
    bWritten = WriteRawPlane(out, iWidth, iHeight, vPlane.data());
  } else {
    ReconstructInto(*decoded.pCodec, vPixels.data(), s, iFilterType, bank);
    decoded.pCodec.reset();
    bWritten = WritePgm(out, iWidth, iHeight, vPixels.data());
  }
  if (!bWritten) {
    out.close();
    RemovePartialFile(s.pcOutFile);
    return Report("Can't create pgm_file ", s.pcOutFile, kCannotCreateOutput);
  }
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 4) ExitWithUsage(argv[0]);
  CFileReader stream(argv[1]);
  if (!stream.IsOpen()) return Report("Can't open cmp_file ", argv[1], kCannotOpenStream);
  const Settings s = ParseOptions(argc, argv);
  std::cout << std::fixed << std::setprecision(2);
  FilterBank bank;
  std::memset(&bank, 0, sizeof bank);
  int iFilterType = -1;
  if (IsDigit(argv[3][0]))
    iFilterType = argv[3][0] - '0';
  else if (int iResult = LoadFilterBank(argv[3], s.bVerbose, bank))
    return iResult;
  try {
    Decoded decoded;
    if (int iResult = ReadRecords(stream, s, &decoded)) return iResult;
    return WriteOutput(decoded, s, iFilterType, bank);
  } catch (const std::bad_alloc&) {
    std::cout << "Not enough memory." << std::endl;
    return kOutOfMemory;
  }
}
}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
