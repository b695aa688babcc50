# find_package(Ostrel): the installed programs as imported targets
# (Ostrel::ostrel, ...) and the functions ostrel_add_test and ostrel_add_suite.
include("${CMAKE_CURRENT_LIST_DIR}/OstrelTargets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/OstrelAddTest.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/OstrelAddSuite.cmake")
