// tarn.Filters: a filter set, built in or loaded from a filter
// configuration file, with its sections as numpy arrays.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>

#include "tarn/tarn.h"

namespace tarnpy {

struct Filters {
  std::shared_ptr<const tarn_filters> set;
  tarn_filter_info info;
};

void AddFilters(pybind11::module_& module);

}  // namespace tarnpy
