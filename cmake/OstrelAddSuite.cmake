# ostrel_add_suite(NAME <name> DIRECTORY <dir> [ARGS <ostrel-run-arg>...])
#
# Registers one CTest test that runs a whole suite of check tests with
# Ostrel::ostrel-run: the tests below DIRECTORY (relative paths are taken
# from the current source folder), found and run as its suite file says,
# with ARGS before the folder. The test passes when no test of the suite
# failed. The JUnit file of the run lands in the build tree, at
# <current binary folder>/<name>.junit.xml (the name made a C identifier),
# for a CI system to read.

function(ostrel_add_suite)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME;DIRECTORY" "ARGS")
  foreach(required NAME DIRECTORY)
    if("${ARG_${required}}" STREQUAL "")
      message(FATAL_ERROR "ostrel_add_suite(${ARG_NAME}): ${required} is missing")
    endif()
  endforeach()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR
      "ostrel_add_suite(${ARG_NAME}): unexpected arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET Ostrel::ostrel-run)
    message(FATAL_ERROR
      "ostrel_add_suite(${ARG_NAME}): the target Ostrel::ostrel-run is missing; call find_package(Ostrel) first")
  endif()
  get_filename_component(directory "${ARG_DIRECTORY}" ABSOLUTE
    BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  string(MAKE_C_IDENTIFIER "${ARG_NAME}" file_name)
  set(junit "${CMAKE_CURRENT_BINARY_DIR}/${file_name}.junit.xml")
  add_test(NAME "${ARG_NAME}"
    COMMAND "$<TARGET_FILE:Ostrel::ostrel-run>" "--junit=${junit}" ${ARG_ARGS} "${directory}")
endfunction()
