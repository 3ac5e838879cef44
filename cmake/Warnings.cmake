# Warnings for the project's own targets: call project_warnings(<target>).
function(project_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# One GoogleTest program from every *_test.cpp of the calling folder and of
# its platform subfolder (posix/ or win32/), with the test support code of
# support/ and of support/posix/ or support/win32/, linked with the named
# targets that exist.
function(add_test_folder name)
  if(WIN32)
    set(_platform win32)
  else()
    set(_platform posix)
  endif()
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/${_platform}/*_test.cpp)
  if(NOT _tests)
    return()
  endif()
  file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/support/${_platform}/*.cpp)
  add_executable(${name} ${_tests} ${_support})
  foreach(lib ${ARGN})
    if(TARGET ${lib})
      target_link_libraries(${name} PRIVATE ${lib})
    endif()
  endforeach()
  if(TARGET test_main_windows)
    target_link_libraries(${name} PRIVATE test_main_windows GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock)
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  project_warnings(${name})
  if(CMAKE_CROSSCOMPILING)
    # The program runs as one test through CMAKE_CROSSCOMPILING_EMULATOR
    # (Wine): listing its cases at build time would need the emulator too.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
  endif()
endfunction()
