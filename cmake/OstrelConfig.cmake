# find_package(Ostrel): the installed programs as imported targets
# (Ostrel::ostrel, ...) and the function ostrel_add_test.
include("${CMAKE_CURRENT_LIST_DIR}/OstrelTargets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/OstrelAddTest.cmake")
