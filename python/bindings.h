// The parts of the module, each adding its functions or classes.
#pragma once

#include <pybind11/pybind11.h>

namespace tarnpy {

void AddCodec(pybind11::module_& module);   // encode, decode and their coefficient forms
void AddImages(pybind11::module_& module);  // read_image, write_image, psnr

}  // namespace tarnpy
