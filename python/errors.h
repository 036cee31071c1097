// The module's exceptions: one class per failure status of the library,
// all under tarn.Error, and the C++ side that raises them.
#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

#include "tarn/tarn.h"

namespace tarnpy {

// A failed call, raised in Python as the class of its status with the
// message given (the library's text of the status, or the module's own
// words for an argument it refuses).
class StatusError : public std::runtime_error {
 public:
  StatusError(tarn_status status, const std::string& message) : std::runtime_error(message), m_status(status) {}
  tarn_status Status() const { return m_status; }

 private:
  tarn_status m_status;
};

// Throws the StatusError of a failed status, with the library's message.
void Check(tarn_status status);

// Throws tarn.ArgumentError (a ValueError too) with the module's message.
[[noreturn]] void ThrowArgument(const std::string& message);

// Creates the exception classes in the module and lets StatusError reach
// Python as them.
void AddExceptions(pybind11::module_& module);

}  // namespace tarnpy
