#include "filter_design.h"

#include <algorithm>
#include <memory>

#include "least_squares.h"
#include "loss_filter_lines.h"
#include "predictor_lines.h"
#include "training_planes.h"

namespace {

// Loss patterns that train a loss post-filter: all but 5, which hands out
// no plane before the post-filter.
const int kLossPatterns[] = {1, 2, 3, 4, 6, 7, 8, 9};

// A plane's weight is 1 / the error of plain averaging on it, so that a busy
// image does not outweigh a smooth one; below this error (a flat image) the
// weight stops growing.
constexpr double kSmallestAveragingError = 1e-3;

struct FiltersDeleter {
  void operator()(tarn_filters* p) const { tarn_filters_free(p); }
};
using Filters = std::unique_ptr<tarn_filters, FiltersDeleter>;

// One image coded at one q.
struct TrainingPlane {
  std::size_t iImage;
  std::vector<unsigned char> stream;
  std::vector<unsigned char> pixels;  // decoded with the built-in filter, no loss
  double fWeight;
};

bool Fail(Design* pDesign, tarn_status status) {
  pDesign->status = status;
  return false;
}

bool Undetermined(Design* pDesign, const char* pcFilter) {
  pDesign->undetermined = pcFilter;
  return false;
}

void CopyMatrix(const Eigen::MatrixXd& W, float* pfOut) {
  for (Eigen::Index i = 0; i < W.rows(); ++i)
    for (Eigen::Index j = 0; j < W.cols(); ++j) pfOut[i * W.cols() + j] = static_cast<float>(W(i, j));
}

// The set a decoder loads from the file that info describes.
tarn_status LoadDesigned(const tarn_filter_info& info, Filters* pFilters) {
  uint8_t* pcData = nullptr;
  size_t iSize = 0;
  if (tarn_status status = tarn_filters_write(&info, &pcData, &iSize)) return status;
  tarn_filters* pRaw = nullptr;
  const tarn_status status = tarn_filters_load(pcData, iSize, TARN_FILTERS_FULL, nullptr, &pRaw);
  tarn_free(pcData);
  pFilters->reset(pRaw);
  return status;
}

tarn_loss NoLoss() { return tarn_loss{0, 1, 1, 0}; }

// Codes every image at every q, decodes it without loss and adds its lines
// to the predictors' equations, weighted.
tarn_status CollectPredictorLines(const std::vector<TrainingImage>& vImages, const DesignSettings& settings,
                                  const tarn_filters* pBuiltIn, std::vector<TrainingPlane>* pvPlanes,
                                  NormalEquations* pTwo, NormalEquations* pOne) {
  for (std::size_t k = 0; k < vImages.size(); ++k)
    for (float q : settings.q) {
      TrainingPlane plane{k, {}, {}, 0};
      if (tarn_status status = EncodeTraining(vImages[k], q, pBuiltIn, &plane.stream)) return status;
      DecodedView view;
      if (tarn_status status = DecodeTraining(plane.stream, pBuiltIn, NoLoss(), &view)) return status;
      plane.fWeight = 1 / std::max(AveragingError(view.beforePost), kSmallestAveragingError);
      NormalEquations two(16, 8), one(8, 8);
      AddTwoNeighbourLines(view.beforePost, &two);
      AddOneNeighbourLines(view.beforePost, &one);
      pTwo->Add(two, plane.fWeight);
      pOne->Add(one, plane.fWeight);
      plane.pixels = std::move(view.pixels);
      pvPlanes->push_back(std::move(plane));
    }
  return TARN_OK;
}

// Conceals every training plane with the designed predictors under each
// loss pattern, border blocks spared and not, and adds the loss
// post-filter's lines, weighted.
tarn_status CollectLossFilterLines(const std::vector<TrainingImage>& vImages,
                                   const std::vector<TrainingPlane>& vPlanes, const Design& design,
                                   int iLossSize, const tarn_filters* pPredictors,
                                   NormalEquations* pEquations) {
  std::vector<Plane> vTargets;
  for (const TrainingImage& image : vImages)
    vTargets.push_back(Prefiltered(image, design.info.prefilter, iLossSize == 8));
  for (const TrainingPlane& plane : vPlanes) {
    NormalEquations local(iLossSize, iLossSize);
    for (int iPattern : kLossPatterns)
      for (int iBoundaryLoss = 0; iBoundaryLoss < 2; ++iBoundaryLoss) {
        DecodedView view;
        if (tarn_status status =
                DecodeTraining(plane.stream, pPredictors, tarn_loss{iPattern, iBoundaryLoss, 1, 0}, &view))
          return status;
        if (view.beforePost.values.empty()) continue;
        if (iLossSize == 8)
          AddNonPrLines(view, vTargets[plane.iImage], &local);
        else
          AddWiener16Lines(view, vTargets[plane.iImage], &local);
      }
    pEquations->Add(local, plane.fWeight);
  }
  return TARN_OK;
}

bool FitPredictors(const NormalEquations& two, const NormalEquations& one, Design* pDesign) {
  Eigen::MatrixXd W2, W1;
  // The mirrored lines make W2 symmetric up to rounding; symmetrising makes
  // it exact (and keeps each row's sum).
  if (!FitRowsSummingToOne(two, &W2)) return Undetermined(pDesign, "DCT Wiener filter");
  W2 = Symmetrise(W2);
  if (!FitRowsSummingToOne(one, &W1)) return Undetermined(pDesign, "boundary Wiener filter");
  pDesign->fits.push_back({"DCT Wiener filter (8 x 16)", two.Error(TwoNeighbourAveraging()), two.Error(W2)});
  pDesign->fits.push_back(
      {"Boundary Wiener filter (8 x 8)", one.Error(OneNeighbourAveraging()), one.Error(W1)});
  pDesign->info.dct_size = 8;
  CopyMatrix(W2, pDesign->info.dct_wiener);
  pDesign->info.boundary_flag = 1;
  CopyMatrix(W1, pDesign->info.boundary_wiener);
  return true;
}

bool FitLossFilter(const NormalEquations& equations, int iLossSize, Design* pDesign) {
  const bool bNonPr = iLossSize == 8;
  const char* pcName = bNonPr ? "non-PR loss post-filter" : "general Wiener loss post-filter";
  Eigen::MatrixXd W;
  if (!FitUnconstrained(equations, &W)) return Undetermined(pDesign, pcName);
  W = Symmetrise(W);
  const Eigen::MatrixXd before =
      bNonPr ? PostFilterMatrix(pDesign->info.postfilter) : PostFilterPair(pDesign->info.postfilter);
  pDesign->fits.push_back(
      {bNonPr ? "Non-PR loss post-filter (8 x 8)" : "General Wiener loss post-filter (16 x 16)",
       equations.Error(before), equations.Error(W)});
  pDesign->info.loss_size = iLossSize;
  CopyMatrix(W, pDesign->info.loss_filter);
  return true;
}

// Decodes every training plane without loss through the designed file and
// compares with the built-in filter's decode.
tarn_status CompareWithoutLoss(const std::vector<TrainingPlane>& vPlanes, const tarn_filters* pDesigned,
                               Design* pDesign) {
  for (const TrainingPlane& plane : vPlanes) {
    DecodedView view;
    if (tarn_status status = DecodeTraining(plane.stream, pDesigned, NoLoss(), &view)) return status;
    pDesign->iPixels += view.pixels.size();
    for (std::size_t i = 0; i < view.pixels.size(); ++i) {
      const int iDifference = std::abs(int(view.pixels[i]) - int(plane.pixels[i]));
      pDesign->iDiffering += iDifference != 0;
      pDesign->iLargestDifference = std::max(pDesign->iLargestDifference, iDifference);
    }
  }
  return TARN_OK;
}

}  // namespace

bool DesignFilters(const std::vector<TrainingImage>& vImages, const DesignSettings& settings,
                   Design* pDesign) {
  *pDesign = Design();
  tarn_filters* pRaw = nullptr;
  if (tarn_status status = tarn_filters_builtin(settings.iDigit, &pRaw)) return Fail(pDesign, status);
  const Filters builtIn(pRaw);
  if (tarn_status status = tarn_filters_get_info(builtIn.get(), &pDesign->info)) return Fail(pDesign, status);

  std::vector<TrainingPlane> vPlanes;
  NormalEquations two(16, 8), one(8, 8);
  if (tarn_status status = CollectPredictorLines(vImages, settings, builtIn.get(), &vPlanes, &two, &one))
    return Fail(pDesign, status);
  if (!FitPredictors(two, one, pDesign)) return false;

  Filters designed;
  if (tarn_status status = LoadDesigned(pDesign->info, &designed)) return Fail(pDesign, status);
  if (settings.iLossSize != 0) {
    NormalEquations loss(settings.iLossSize, settings.iLossSize);
    if (tarn_status status =
            CollectLossFilterLines(vImages, vPlanes, *pDesign, settings.iLossSize, designed.get(), &loss))
      return Fail(pDesign, status);
    if (!FitLossFilter(loss, settings.iLossSize, pDesign)) return false;
    if (tarn_status status = LoadDesigned(pDesign->info, &designed)) return Fail(pDesign, status);
  }
  if (tarn_status status = CompareWithoutLoss(vPlanes, designed.get(), pDesign)) return Fail(pDesign, status);
  return true;
}
