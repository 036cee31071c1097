# The Python module: built by default in a project built on its own (not
# the sanitized or fuzzing builds, whose library Python could load only
# with the sanitizer runtimes preloaded) where pybind11 and numpy are found
# for the interpreter. That interpreter is Debian's /usr/bin/python3 where
# there is one: another Python on the PATH (pyenv, conda) may lack the
# Debian packages python3-numpy and pybind11-dev. The tests use it too.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python interpreter of the module and the tests")
endif()

set(_tarn_python_default OFF)
if(PROJECT_IS_TOP_LEVEL AND NOT TARN_SANITIZE AND NOT TARN_FUZZ)
  find_package(Python3 COMPONENTS Interpreter Development.Module NumPy QUIET)
  find_package(pybind11 CONFIG QUIET)
  if(Python3_Development.Module_FOUND AND Python3_NumPy_FOUND AND pybind11_FOUND)
    set(_tarn_python_default ON)
  endif()
endif()
option(TARN_PYTHON "Build the Python module tarn (needs pybind11 and numpy)" ${_tarn_python_default})

if(TARN_PYTHON)
  find_package(Python3 REQUIRED COMPONENTS Interpreter Development.Module)
  find_package(pybind11 CONFIG REQUIRED)
  add_subdirectory(python)
endif()
