# Warnings for the project's own targets: call project_warnings(<target>).
function(project_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# One GoogleTest program of a test folder:
#
#   add_test_folder(<name>
#     SOURCES <files>          the folder's tests and its own support code
#     [POSIX_SOURCES <files>]  added on POSIX (the posix/ tests)
#     [WIN32_SOURCES <files>]  added on Windows (the win32/ tests)
#     [LIBRARIES <targets>]    what the tests link, test_support included
#     [OWN_MAIN]               a source of the folder holds main()
#     [NO_TEST]                the folder adds the program's test itself
#     [ENVIRONMENT <vars>]     for each test case, NAME=value)
#
# File names are relative to the calling folder, which is also on the
# include path (for its support/ headers). Every named library must exist.
function(add_test_folder name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "OWN_MAIN;NO_TEST" ""
                        "SOURCES;POSIX_SOURCES;WIN32_SOURCES;LIBRARIES;ENVIRONMENT")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_SOURCES)
    message(FATAL_ERROR "add_test_folder(${name}): SOURCES and known keywords only: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(_sources ${arg_SOURCES})
  if(WIN32)
    list(APPEND _sources ${arg_WIN32_SOURCES})
  else()
    list(APPEND _sources ${arg_POSIX_SOURCES})
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES})
  if(arg_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock)
  elseif(WIN32 AND CMAKE_CROSSCOMPILING)
    target_link_libraries(${name} PRIVATE test_main_windows GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock)
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  project_warnings(${name})
  if(arg_NO_TEST)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    # The program runs as one test through CMAKE_CROSSCOMPILING_EMULATOR
    # (Wine): listing its cases at build time would need the emulator too.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
    if(arg_ENVIRONMENT)
      set_tests_properties(${name} PROPERTIES ENVIRONMENT "${arg_ENVIRONMENT}")
    endif()
  else()
    if(arg_ENVIRONMENT)
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
        ENVIRONMENT "${arg_ENVIRONMENT}")
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
    endif()
  endif()
endfunction()
