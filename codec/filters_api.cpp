// Filter sets through the public API: built in by digit, or loaded from the
// bytes of a filter configuration file.
#include <algorithm>
#include <cstring>
#include <memory>

#include "api_internal.h"

namespace tarn {
namespace {

// Copies rows x cols of a matrix with row stride iStride into a packed one.
void Pack(const float* pfIn, int iRows, int iCols, int iStride, float* pfOut) {
  for (int i = 0; i < iRows; ++i) std::copy(pfIn + i * iStride, pfIn + i * iStride + iCols, pfOut + i * iCols);
}

void FillInfo(const FilterBank& bank, const FilterFields& fields, int iDigit,
              tarn_filter_info* pInfo) {
  std::memset(pInfo, 0, sizeof *pInfo);
  pInfo->digit = iDigit;
  pInfo->sections = fields.iSections;
  pInfo->size = fields.iSize;
  pInfo->loss_size = fields.iLossSize;
  pInfo->dct_size = fields.iDctSize;
  pInfo->boundary_flag = fields.iBoundaryFlag;
  Pack(bank.m_afPreFilter, 8, 8, 16, pInfo->prefilter);
  Pack(bank.m_afPostFilter, 8, 8, 16, pInfo->postfilter);
  if (bank.m_iLossPostFilterSize > 0)
    Pack(bank.m_afLossPostFilter, bank.m_iLossPostFilterSize, bank.m_iLossPostFilterSize, 16,
         pInfo->loss_filter);
  std::copy(bank.m_afDctWiener, bank.m_afDctWiener + 128, pInfo->dct_wiener);
  if (fields.iSections & TARN_SECTION_BOUNDARY_WIENER)
    std::copy(bank.m_afBoundaryWiener, bank.m_afBoundaryWiener + 64, pInfo->boundary_wiener);
}

// A built-in set shows its line filters as matrices, in the layout a filter
// file would give them.
std::unique_ptr<tarn_filters> MakeBuiltIn(int iDigit) {
  std::unique_ptr<tarn_filters> pSet(new tarn_filters);
  pSet->bank = BuiltInFilterBank(iDigit);
  pSet->iDigit = iDigit;
  float afMatrix[64];
  BuiltInFilterMatrix(iDigit, true, afMatrix);
  for (int i = 0; i < 8; ++i) std::copy(afMatrix + 8 * i, afMatrix + 8 * i + 8, pSet->bank.m_afPreFilter + 16 * i);
  BuiltInFilterMatrix(iDigit, false, afMatrix);
  for (int i = 0; i < 8; ++i) std::copy(afMatrix + 8 * i, afMatrix + 8 * i + 8, pSet->bank.m_afPostFilter + 16 * i);
  pSet->fields.iSections = TARN_SECTION_SIZE | TARN_SECTION_PREFILTER | TARN_SECTION_POSTFILTER;
  pSet->fields.iSize = 8;
  return pSet;
}

}  // namespace
}  // namespace tarn

using namespace tarn;

extern "C" {

tarn_status tarn_filters_builtin(int32_t digit, tarn_filters** out) {
  if (out == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  *out = nullptr;
  if (digit < 0 || digit > 9) return TARN_ERR_INVALID_ARGUMENT;
  return Guard([&] {
    *out = MakeBuiltIn(digit).release();
    return TARN_OK;
  });
}

tarn_status tarn_filters_load(const void* data, size_t size, int32_t reader, tarn_filter_info* info,
                              tarn_filters** out) {
  if (info != nullptr) std::memset(info, 0, sizeof *info);
  if (out == nullptr || (data == nullptr && size > 0)) return TARN_ERR_INVALID_ARGUMENT;
  *out = nullptr;
  if (reader != TARN_FILTERS_PREFILTER && reader != TARN_FILTERS_FULL) return TARN_ERR_INVALID_ARGUMENT;
  return Guard([&] {
    std::unique_ptr<tarn_filters> pSet(new tarn_filters);
    pSet->bFull = reader == TARN_FILTERS_FULL;
    const tarn_status status = LoadFilterBank(static_cast<const unsigned char*>(data), size,
                                              pSet->bFull, pSet->bank, pSet->fields);
    if (info != nullptr) FillInfo(pSet->bank, pSet->fields, -1, info);
    if (status == TARN_OK) *out = pSet.release();
    return status;
  });
}

tarn_status tarn_filters_get_info(const tarn_filters* filters, tarn_filter_info* info) {
  if (filters == nullptr || info == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  FillInfo(filters->bank, filters->fields, filters->iDigit, info);
  return TARN_OK;
}

void tarn_filters_free(tarn_filters* filters) { delete filters; }

size_t tarn_filters_needed(const void* data, size_t size, int32_t reader) {
  if (data == nullptr) size = 0;
  return FilterFileBytesNeeded(static_cast<const unsigned char*>(data), size, reader == TARN_FILTERS_FULL);
}

}  // extern "C"
