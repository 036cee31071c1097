# cmake --install build --prefix P: the programs in P/bin, the library in
# P/lib with a CMake package (find_package(tarn) gives tarn::tarn) and a
# pkg-config file, the header in P/include/tarn, the man pages in
# P/share/man/man1, the designed filter file in P/share/tarn.
include(CMakePackageConfigHelpers)

set(TARN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tarn)
install(TARGETS tarn EXPORT tarnTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/tarn/tarn.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarn)
install(EXPORT tarnTargets NAMESPACE tarn:: DESTINATION ${TARN_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tarnConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tarnConfig.cmake INSTALL_DESTINATION ${TARN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tarnConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tarnConfig.cmake ${PROJECT_BINARY_DIR}/tarnConfigVersion.cmake
  DESTINATION ${TARN_CMAKE_DIR})

# The static library needs the C++ runtime, the threads and libpng in a C
# program's link line; the shared one carries them as dependencies of its
# own.
if(BUILD_SHARED_LIBS)
  set(TARN_PC_LIBS "")
  set(TARN_PC_LIBS_PRIVATE "-lstdc++ -lm -pthread")
  set(TARN_PC_REQUIRES "")
  set(TARN_PC_REQUIRES_PRIVATE "libpng")
else()
  set(TARN_PC_LIBS "-lstdc++ -lm -pthread")
  set(TARN_PC_LIBS_PRIVATE "")
  set(TARN_PC_REQUIRES "libpng")
  set(TARN_PC_REQUIRES_PRIVATE "")
endif()
# The file finds its prefix from where it lies, so the tree can be moved.
file(RELATIVE_PATH TARN_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarn.pc.in ${PROJECT_BINARY_DIR}/tarn.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tarn.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARN_BUILD_PROGRAMS)
  install(TARGETS tarnpack tarnunpack tarnfilter psnr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/man/tarnpack.1 ${PROJECT_SOURCE_DIR}/man/tarnunpack.1
    ${PROJECT_SOURCE_DIR}/man/tarnfilter.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The designed default filter configuration file.
  install(FILES ${PROJECT_SOURCE_DIR}/filters/designed.dat DESTINATION ${CMAKE_INSTALL_DATADIR}/tarn)
endif()
