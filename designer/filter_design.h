// The design of a filter configuration file from training images: the
// built-in pre/post-filter as matrices, the Wiener predictors of the
// concealment and optionally one loss post-filter, each fitted by least
// squares on every training plane (one image coded at one q).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarn/tarn.h"
#include "training_images.h"

struct DesignSettings {
  std::vector<float> q;  // the quantisation steps to train at
  int iDigit = 0;        // the built-in pre/post-filter
  int iLossSize = 0;     // 0 (none), 8 (non-PR) or 16 (general Wiener)
};

// A fitted filter with its weighted training error (mean squared error per
// sample) before, with what the decoder does without it, and after.
struct FitReport {
  std::string name;
  double fBefore = 0, fAfter = 0;
};

struct Design {
  tarn_filter_info info = {};
  std::vector<FitReport> fits;
  // The check that the pre/post-filter stayed the built-in one: decodes
  // without loss through the designed file against the digit's.
  std::uint64_t iPixels = 0, iDiffering = 0;
  int iLargestDifference = 0;
  // On failure: the library's status, or the filter the equations did not
  // determine.
  tarn_status status = TARN_OK;
  std::string undetermined;
};

// Fills *pDesign; false on failure (see Design).
bool DesignFilters(const std::vector<TrainingImage>& vImages, const DesignSettings& settings,
                   Design* pDesign);
