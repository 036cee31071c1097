// tarnfilter: designs a filter configuration file from training images: the
// built-in pre/post-filter as matrices, least-squares Wiener predictors for
// the concealment of lost blocks and optionally one loss post-filter. It
// uses the library through its public API only.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "file_io.h"
#include "filter_design.h"
#include "tarn/tarn.h"
#include "training_images.h"

namespace {
constexpr int kCannotOpenImage = -2;
constexpr int kCannotCreateOutput = -3;
constexpr int kBadImage = -4;
constexpr int kBadQuantStep = -5;
constexpr int kOutOfMemory = -6;
constexpr int kUndetermined = -7;

struct Settings {
  const char* pcOutFile = nullptr;
  std::vector<const char*> vImages;
  const char* pcSteps = "10,20,40";
  DesignSettings design;
};

void PrintUsage(const char* pcName) {
  std::cout << "Usage: " << pcName << " out.dat train.pgm [train.pgm ...] [-q q1,q2,...] [-p 0|1|5] [-s 8|16]"
            << std::endl
            << "  out.dat:   filter configuration file to write." << std::endl
            << "  train.pgm: training images: binary PGM or grey PNG, at least 32 x 32" << std::endl
            << "             (cropped about the centre to multiples of 16)." << std::endl
            << "  -q q1,q2,...: quantization steps to train at (default 10,20,40)." << std::endl
            << "  -p n: built-in pre/post-filter 0 (default), 1 or 5." << std::endl
            << "  -s n: also fit a loss post-filter: 8 (non-PR, column pass) or 16 (general Wiener)."
            << std::endl
            << "  Example: " << std::endl
            << "\t\ttarnfilter designed.dat camera.pgm brick.pgm" << std::endl;
}

[[noreturn]] void ExitWithUsage(const char* pcName) {
  PrintUsage(pcName != nullptr ? pcName : "");
  std::exit(1);
}

// Option values are whole words here: "-p 5" but not "-p 50".
Settings ParseCommandLine(int argc, char** argv) {
  if (argc < 3) ExitWithUsage(argv[0]);
  Settings s;
  s.pcOutFile = argv[1];
  int i = 2;
  for (; i < argc && argv[i][0] != '-'; ++i) s.vImages.push_back(argv[i]);
  if (s.vImages.empty() || (argc - i) % 2 != 0) ExitWithUsage(argv[0]);
  for (; i < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "-q")
      s.pcSteps = argv[i + 1];
    else if (option == "-p" && (value == "0" || value == "1" || value == "5"))
      s.design.iDigit = value[0] - '0';
    else if (option == "-s" && (value == "8" || value == "16"))
      s.design.iLossSize = std::atoi(value.c_str());
    else
      ExitWithUsage(argv[0]);
  }
  return s;
}

// The comma-separated steps; false unless each is a positive finite number
// that a float holds.
bool ParseSteps(const char* pcSteps, std::vector<float>* pvSteps) {
  const std::string steps = pcSteps;
  std::size_t iStart = 0;
  for (;;) {
    const std::size_t iEnd = std::min(steps.find(',', iStart), steps.size());
    const std::string item = steps.substr(iStart, iEnd - iStart);
    char* pcRest = nullptr;
    const double fValue = std::strtod(item.c_str(), &pcRest);
    const float fStep = static_cast<float>(fValue);
    if (item.empty() || *pcRest != '\0' || !(fStep > 0) || !std::isfinite(fStep)) return false;
    pvSteps->push_back(fStep);
    if (iEnd == steps.size()) return true;
    iStart = iEnd + 1;
  }
}

int ReportOutOfMemory() {
  std::cout << "Not enough memory." << std::endl;
  return kOutOfMemory;
}

int ReadImages(const Settings& s, std::vector<TrainingImage>* pvImages) {
  for (const char* pcName : s.vImages) {
    TrainingImage image;
    std::string detail;
    switch (ReadTrainingImage(pcName, &image, &detail)) {
      case ImageReadResult::kOk:
        break;
      case ImageReadResult::kCannotOpen:
        std::cout << "Can't open training image " << pcName << std::endl;
        return kCannotOpenImage;
      case ImageReadResult::kUnknownFormat:
        std::cout << "Invalid training image " << pcName << ": not a PGM or PNG file" << std::endl;
        return kBadImage;
      case ImageReadResult::kInvalid:
        std::cout << "Invalid training image " << pcName << ": " << detail << std::endl;
        return kBadImage;
      case ImageReadResult::kTooSmall:
        std::cout << "Training image " << pcName << " is smaller than " << kMinTrainingSize << " x "
                  << kMinTrainingSize << std::endl;
        return kBadImage;
    }
    pvImages->push_back(std::move(image));
  }
  return 0;
}

int ReportFailure(const Design& design) {
  if (!design.undetermined.empty()) {
    std::cout << "The training images do not determine the " << design.undetermined
              << " (rank-deficient system): train on images with more detail." << std::endl;
    return kUndetermined;
  }
  if (design.status == TARN_ERR_QUANT_TOO_SMALL) {
    std::cout << "Quantization step too small." << std::endl;
    return kBadQuantStep;
  }
  return ReportOutOfMemory();
}

void PrintDesign(const Settings& s, std::size_t iImages, const Design& design) {
  std::cout << "Training on " << iImages << " image" << (iImages == 1 ? "" : "s") << " at q " << s.pcSteps
            << " with built-in filter " << s.design.iDigit << ": " << iImages * s.design.q.size()
            << " planes." << std::endl;
  for (const FitReport& fit : design.fits)
    std::cout << fit.name << ": training error " << fit.fBefore << " before, " << fit.fAfter << " after."
              << std::endl;
  std::cout << "Without loss: " << design.iDiffering << " of " << design.iPixels
            << " pixels differ from built-in filter " << s.design.iDigit << ", by at most "
            << design.iLargestDifference << "." << std::endl;
}

int WriteDesign(const Settings& s, const Design& design) {
  uint8_t* pcData = nullptr;
  size_t iSize = 0;
  if (tarn_filters_write(&design.info, &pcData, &iSize) != TARN_OK) return ReportOutOfMemory();
  const bool bWritten = WriteFileAtomically(s.pcOutFile, pcData, iSize);
  tarn_free(pcData);
  if (!bWritten) {
    std::cout << "Can't create filter file " << s.pcOutFile << std::endl;
    return kCannotCreateOutput;
  }
  std::cout << "Wrote " << s.pcOutFile << std::endl;
  return 0;
}

int Run(Settings s) {
  if (!ParseSteps(s.pcSteps, &s.design.q)) {
    std::cout << "Quantization steps must be positive numbers: " << s.pcSteps << std::endl;
    return kBadQuantStep;
  }
  try {
    std::vector<TrainingImage> vImages;
    if (int iResult = ReadImages(s, &vImages)) return iResult;
    Design design;
    if (!DesignFilters(vImages, s.design, &design)) return ReportFailure(design);
    PrintDesign(s, vImages.size(), design);
    return WriteDesign(s, design);
  } catch (const std::bad_alloc&) {
    return ReportOutOfMemory();
  }
}
}  // namespace

int main(int argc, char** argv) { return Run(ParseCommandLine(argc, argv)); }
