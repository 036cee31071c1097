// Whole files read and written for the module (the library itself never
// touches a file), without the GIL; a failure raises OSError with the
// system's reason and the file's name.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnpy {

// The first iMax bytes of the file (all of them by default); path is a str
// or an os.PathLike.
std::vector<unsigned char> ReadFile(const pybind11::object& path, std::size_t iMax = SIZE_MAX);

// Replaces the file with the bytes; a failed write removes what it wrote.
void WriteFile(const pybind11::object& path, const unsigned char* pcData, std::size_t iSize);

// The file system path of a str or an os.PathLike.
std::string PathText(const pybind11::object& path);

}  // namespace tarnpy
