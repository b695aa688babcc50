# Runs one test registered by ostrel_add_test (OstrelAddTest.cmake): the
# producer first, its output into a file, then Ostrel on that file. Invoked
# as cmake -DOSTREL_TEST_SETTINGS=<file> -P OstrelRunTest.cmake; the settings
# file sets the OSTREL_* variables used below.

include("${OSTREL_TEST_SETTINGS}")

# Ends the test with the verdict on one line: CMake wraps a message unless
# it starts with a blank.
function(fail verdict)
  message(FATAL_ERROR " ostrel_add_test: ${verdict}")
endfunction()

set(input)
if(OSTREL_STDIN)
  set(input INPUT_FILE "${OSTREL_STDIN}")
endif()
# Naming one file for both streams interleaves them as a terminal would.
set(errors ERROR_VARIABLE producer_errors)
if(OSTREL_INCLUDE_STDERR)
  set(errors ERROR_FILE "${OSTREL_OUTPUT_FILE}")
endif()
execute_process(COMMAND ${OSTREL_PRODUCER} ${input}
  OUTPUT_FILE "${OSTREL_OUTPUT_FILE}" ${errors}
  WORKING_DIRECTORY "${OSTREL_WORKING_DIRECTORY}"
  RESULT_VARIABLE producer_status)
if(producer_errors)
  message("${producer_errors}")
endif()
list(GET OSTREL_PRODUCER 0 producer)
if(NOT producer_status STREQUAL "0" AND NOT OSTREL_PRODUCER_MAY_FAIL)
  # A number is an exit status; anything else says how the program died.
  if(producer_status MATCHES "^[0-9]+$")
    fail("the producer failed: ${producer} exited with status ${producer_status}")
  endif()
  fail("the producer failed: ${producer} did not finish: ${producer_status}")
endif()

execute_process(COMMAND "${OSTREL_PROGRAM}" ${OSTREL_CHECK_ARGS} "${OSTREL_CHECK_FILE}"
  INPUT_FILE "${OSTREL_OUTPUT_FILE}"
  WORKING_DIRECTORY "${OSTREL_WORKING_DIRECTORY}"
  OUTPUT_VARIABLE check_output ERROR_VARIABLE check_errors
  RESULT_VARIABLE check_status)
file(REMOVE "${OSTREL_OUTPUT_FILE}")

set(verdict "")
if(check_status STREQUAL "0")
  if(OSTREL_WILL_FAIL)
    set(verdict "the check passed, but WILL_FAIL expects it to fail")
  endif()
elseif(check_status STREQUAL "1")
  if(NOT OSTREL_WILL_FAIL)
    set(verdict "the check failed")
  endif()
else()
  set(verdict "ostrel could not check (status ${check_status})")
endif()
if(verdict OR NOT check_status STREQUAL "0")
  # Ostrel's own report, as it printed it.
  message("${check_output}${check_errors}")
endif()
if(verdict)
  fail("${verdict}: ${OSTREL_CHECK_FILE}")
endif()
