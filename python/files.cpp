#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

namespace py = pybind11;

namespace tarnpy {
namespace {

[[noreturn]] void RaiseOsError(int iErrno, const py::object& path) {
  errno = iErrno;
  PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path.ptr());
  throw py::error_already_set();
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// 0, or the errno of the failure.
int Read(const std::string& name, std::size_t iMax, std::vector<unsigned char>* pvBytes) {
  const File file(std::fopen(name.c_str(), "rb"), std::fclose);
  if (!file) return errno;
  unsigned char ac[1 << 16];
  std::size_t iGot;
  while (pvBytes->size() < iMax &&
         (iGot = std::fread(ac, 1, std::min(sizeof ac, iMax - pvBytes->size()), file.get())) > 0)
    pvBytes->insert(pvBytes->end(), ac, ac + iGot);
  return std::ferror(file.get()) ? (errno != 0 ? errno : EIO) : 0;
}

int Write(const std::string& name, const unsigned char* pcData, std::size_t iSize) {
  std::FILE* pFile = std::fopen(name.c_str(), "wb");
  if (pFile == nullptr) return errno;
  const bool bWritten = std::fwrite(pcData, 1, iSize, pFile) == iSize;
  int iError = bWritten ? 0 : (errno != 0 ? errno : EIO);
  if (std::fclose(pFile) != 0 && iError == 0) iError = errno != 0 ? errno : EIO;
  if (iError != 0) std::remove(name.c_str());
  return iError;
}

}  // namespace

std::string PathText(const py::object& path) {
  const py::object bytes = py::module_::import("os").attr("fsencode")(path);
  return bytes.cast<std::string>();
}

std::vector<unsigned char> ReadFile(const py::object& path, std::size_t iMax) {
  const std::string name = PathText(path);
  std::vector<unsigned char> vBytes;
  int iError;
  {
    py::gil_scoped_release release;
    errno = 0;
    iError = Read(name, iMax, &vBytes);
  }
  if (iError != 0) RaiseOsError(iError, path);
  return vBytes;
}

void WriteFile(const py::object& path, const unsigned char* pcData, std::size_t iSize) {
  const std::string name = PathText(path);
  int iError;
  {
    py::gil_scoped_release release;
    errno = 0;
    iError = Write(name, pcData, iSize);
  }
  if (iError != 0) RaiseOsError(iError, path);
}

}  // namespace tarnpy
