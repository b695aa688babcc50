# How a program of the project is built into an installable whole.

# Builds only what the installed programs need (make install, make package).
add_custom_target(programs)

option(OSTREL_STATIC "Link the programs statically, all but the C library" OFF)

# ostrel_link_static(<target>): links <target> with the C++ runtime, libgcc
# and terminfo static, so that only the C library and the loader are loaded
# at run time. support/diag asks for terminfo through the target property
# OSTREL_STATIC_LINK that this sets. The maths library is glibc's own and
# cannot be linked statically beside a shared C library; --as-needed drops
# it, since the programs use none of it (keep it that way).
function(ostrel_link_static target)
  if(NOT OSTREL_TINFO_ARCHIVE)
    message(FATAL_ERROR "a static build needs libtinfo.a (Debian: libncurses-dev)")
  endif()
  set_target_properties(${target} PROPERTIES OSTREL_STATIC_LINK ON)
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--as-needed)
endfunction()

# ostrel_program(<target> OPTIONS <library> [MAN <page>])
#
# Makes the executable <target> one of the project's programs: installed
# under bin/ and exported as Ostrel::<target>, its man page (default
# doc/<target>.1) under share/man/man1/, and a bash completion under
# share/bash-completion/completions/ that the build generates from the
# program's own option table. <library> is the static library whose objects
# define the program's options: the generator links it whole, so that its
# options register as they do in the program. With tests on, a test holds
# the man page to the option table.
function(ostrel_program target)
  cmake_parse_arguments(ARG "" "OPTIONS;MAN" "" ${ARGN})
  if(NOT ARG_OPTIONS)
    message(FATAL_ERROR "ostrel_program(${target}): OPTIONS <library> is missing")
  endif()
  if(NOT ARG_MAN)
    set(ARG_MAN ${PROJECT_SOURCE_DIR}/doc/${target}.1)
  endif()

  set(generator ${target}_option_table)
  add_executable(${generator} ${PROJECT_SOURCE_DIR}/support/cmdline/optiontable/main.cpp)
  target_link_libraries(${generator} PRIVATE
    "$<LINK_LIBRARY:WHOLE_ARCHIVE,${ARG_OPTIONS}>" support_cmdline)
  set(completion ${CMAKE_BINARY_DIR}/completions/${target})
  set(names ${CMAKE_BINARY_DIR}/completions/${target}.options)
  add_custom_command(OUTPUT ${completion} ${names}
    COMMAND ${generator} ${target} ${completion} ${names}
    DEPENDS ${generator}
    COMMENT "Writing the bash completion of ${target}" VERBATIM)
  add_custom_target(${target}_completion ALL DEPENDS ${completion} ${names})
  add_dependencies(programs ${target} ${target}_completion)

  add_executable(Ostrel::${target} ALIAS ${target})
  if(OSTREL_STATIC)
    ostrel_link_static(${target})
  elseif(OSTREL_TESTS AND NOT OSTREL_SANITIZE AND OSTREL_TINFO_ARCHIVE)
    # A statically linked twin, not installed, for the tests of the static
    # build; it costs one more link, not a second build tree.
    get_target_property(sources ${target} SOURCES)
    get_target_property(libraries ${target} LINK_LIBRARIES)
    add_executable(${target}_static ${sources})
    target_link_libraries(${target}_static PRIVATE ${libraries})
    ostrel_link_static(${target}_static)
  endif()
  install(TARGETS ${target} EXPORT OstrelTargets RUNTIME DESTINATION bin)
  install(FILES ${ARG_MAN} DESTINATION share/man/man1)
  install(FILES ${completion} DESTINATION share/bash-completion/completions)

  if(OSTREL_TESTS)
    add_test(NAME install/man-page/${target}
      COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/man_page.sh ${ARG_MAN} ${names})
    set_tests_properties(install/man-page/${target} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()
