# The CMake package (find_package(Ostrel)) and the Debian package. Programs
# add themselves with ostrel_program (OstrelProgram.cmake).

include(CMakePackageConfigHelpers)

# `cmake --install` and CPack take what the build made; `make install` and
# `make package` build the programs first without building every test.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(OSTREL_PACKAGE_DIR lib/cmake/Ostrel)
install(EXPORT OstrelTargets NAMESPACE Ostrel:: DESTINATION ${OSTREL_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/OstrelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_SOURCE_DIR}/cmake/OstrelConfig.cmake
  ${PROJECT_SOURCE_DIR}/cmake/OstrelAddTest.cmake
  ${PROJECT_SOURCE_DIR}/cmake/OstrelAddSuite.cmake
  ${PROJECT_SOURCE_DIR}/cmake/OstrelRunTest.cmake
  ${CMAKE_BINARY_DIR}/OstrelConfigVersion.cmake
  DESTINATION ${OSTREL_PACKAGE_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VENDOR "Ostrel")
set(CPACK_PACKAGE_CONTACT "Ostrel developers <ostrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "checks a program's output against a file of pattern directives")
set(CPACK_PACKAGE_DESCRIPTION
  "Ostrel reads a check file of directives (CHECK:, CHECK-NEXT:, CHECK-NOT:,\n\
CHECK-DAG:, CHECK-LABEL:, variables, regular expressions) and verifies a\n\
program's output against them, with located diagnostics and an annotated\n\
dump of the input.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps (dpkg-dev) works out the run-time dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
