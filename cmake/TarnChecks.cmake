# The codec's files are little-endian and its results rely on every float
# expression being evaluated as written: refuse hosts where either fails.
if(CMAKE_CXX_BYTE_ORDER STREQUAL "BIG_ENDIAN")
  message(FATAL_ERROR "tarn needs a little-endian host: its files are little-endian floats")
endif()

include(CheckCXXSourceCompiles)
check_cxx_source_compiles([=[
#include <cfloat>
static_assert(FLT_EVAL_METHOD == 0, "float expressions must be evaluated in their own type");
int main() { return 0; }
]=] TARN_FLT_EVAL_METHOD_IS_0)
if(NOT TARN_FLT_EVAL_METHOD_IS_0)
  message(FATAL_ERROR "tarn needs FLT_EVAL_METHOD 0 (on x86, SSE2 arithmetic): results would not be exact")
endif()

# The public header states the version too; the two must agree.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/tarn/tarn.h _tarn_version_lines
  REGEX "^#define TARN_VERSION_(MAJOR|MINOR|PATCH) ")
string(REGEX REPLACE ".*MAJOR ([0-9]+).*MINOR ([0-9]+).*PATCH ([0-9]+).*" "\\1.\\2.\\3"
  _tarn_header_version "${_tarn_version_lines}")
if(NOT _tarn_header_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "tarn.h says version ${_tarn_header_version}, the project ${PROJECT_VERSION}")
endif()

# Sizes of whole images are counted in size_t: a 32-bit host could not hold
# them.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  message(FATAL_ERROR "tarn needs a 64-bit host: image sizes are counted in size_t")
endif()
