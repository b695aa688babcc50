# ostrel_add_test(NAME <name> COMMAND <program> [<arg>...] CHECK_FILE <file>
#                 [CHECK_ARGS <ostrel-arg>...] [STDIN <file>] [INCLUDE_STDERR]
#                 [WILL_FAIL] [PRODUCER_MAY_FAIL] [WORKING_DIRECTORY <dir>])
#
# Registers one CTest test that runs <program> (an executable target or a
# path; generator expressions allowed) in WORKING_DIRECTORY (default: the
# current binary folder), with STDIN as its standard input, and checks its
# standard output (with INCLUDE_STDERR, its standard error too) with
# Ostrel::ostrel against CHECK_FILE, passing CHECK_ARGS before the check
# file. Relative CHECK_FILE and STDIN paths are taken from the current
# source folder.
#
# The test fails when the program crashes or exits non-zero (unless
# PRODUCER_MAY_FAIL), or when the check fails. WILL_FAIL expects the check
# to fail (Ostrel's exit status 1); a failing program or an unusable check
# file still fails the test. Its output says which side failed.
#
# The test runs a cmake -P script, so it needs no shell and works with any
# generator.

function(ostrel_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 ARG
    "INCLUDE_STDERR;WILL_FAIL;PRODUCER_MAY_FAIL"
    "NAME;CHECK_FILE;STDIN;WORKING_DIRECTORY"
    "COMMAND;CHECK_ARGS")
  foreach(required NAME COMMAND CHECK_FILE)
    if("${ARG_${required}}" STREQUAL "")
      message(FATAL_ERROR "ostrel_add_test(${ARG_NAME}): ${required} is missing")
    endif()
  endforeach()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR
      "ostrel_add_test(${ARG_NAME}): unexpected arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET Ostrel::ostrel)
    message(FATAL_ERROR
      "ostrel_add_test(${ARG_NAME}): the target Ostrel::ostrel is missing; call find_package(Ostrel) first")
  endif()

  get_filename_component(check_file "${ARG_CHECK_FILE}" ABSOLUTE
    BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(stdin "")
  if(ARG_STDIN)
    get_filename_component(stdin "${ARG_STDIN}" ABSOLUTE
      BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  elseif(UNIX)
    set(stdin /dev/null)
  endif()
  set(working_directory "${CMAKE_CURRENT_BINARY_DIR}")
  if(ARG_WORKING_DIRECTORY)
    get_filename_component(working_directory "${ARG_WORKING_DIRECTORY}" ABSOLUTE
      BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  list(GET ARG_COMMAND 0 program)
  if(TARGET "${program}")
    list(REMOVE_AT ARG_COMMAND 0)
    list(PREPEND ARG_COMMAND "$<TARGET_FILE:${program}>")
  endif()

  # The settings go to a file that the driver includes: a list survives
  # there whatever its elements hold, which a command line would not
  # promise. Bracket arguments keep every character as it is.
  string(MD5 key "${ARG_NAME}")
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/ostrel_add_test")
  set(settings "${folder}/${key}-$<CONFIG>.cmake")
  set(PROGRAM "$<TARGET_FILE:Ostrel::ostrel>")
  set(PRODUCER "${ARG_COMMAND}")
  set(CHECK_ARGS "${ARG_CHECK_ARGS}")
  set(CHECK_FILE "${check_file}")
  set(STDIN "${stdin}")
  set(WORKING_DIRECTORY "${working_directory}")
  set(OUTPUT_FILE "${folder}/${key}-$<CONFIG>.out")
  set(INCLUDE_STDERR "${ARG_INCLUDE_STDERR}")
  set(WILL_FAIL "${ARG_WILL_FAIL}")
  set(PRODUCER_MAY_FAIL "${ARG_PRODUCER_MAY_FAIL}")
  set(content "")
  foreach(setting PROGRAM PRODUCER CHECK_ARGS CHECK_FILE STDIN WORKING_DIRECTORY
                  OUTPUT_FILE INCLUDE_STDERR WILL_FAIL PRODUCER_MAY_FAIL)
    string(APPEND content "set(OSTREL_${setting}")
    foreach(value IN LISTS ${setting})
      if(value MATCHES "]==]")
        message(FATAL_ERROR "ostrel_add_test(${ARG_NAME}): an argument holds ]==]")
      endif()
      string(APPEND content " [==[${value}]==]")
    endforeach()
    string(APPEND content ")\n")
  endforeach()
  file(GENERATE OUTPUT "${settings}" CONTENT "${content}")

  add_test(NAME "${ARG_NAME}"
    COMMAND "${CMAKE_COMMAND}" "-DOSTREL_TEST_SETTINGS=${settings}"
            -P "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/OstrelRunTest.cmake")
endfunction()
