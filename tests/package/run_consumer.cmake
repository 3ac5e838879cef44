# cmake -P script: install, configure, build and run the consumer program.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  message("${out}")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component hostkit --prefix ${prefix})
foreach(f include/hostkit/hostkit.h include/rt/object.h lib/cmake/hostkit/hostkitConfig.cmake)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)

string(REPLACE "," ";" classes "${EXPECTED_CLASSES}")
run(${WORK_DIR}/build/consumer ${WORK_DIR} ${classes})

# The consumer needs libhostkit and, beside it, only the compiler's and the
# system's own libraries (and the sanitizers' in a sanitizer build).
execute_process(COMMAND ${READELF} -d ${WORK_DIR}/build/consumer OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on the consumer")
endif()
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
set(found_hostkit FALSE)
foreach(entry ${needed})
  string(REGEX REPLACE "Shared library: \\[([^]]+)\\]" "\\1" lib "${entry}")
  if(lib MATCHES "^libhostkit\\.so\\.")
    set(found_hostkit TRUE)
  elseif(NOT lib MATCHES "^(libstdc\\+\\+|libm|libgcc_s|libc|libasan|libubsan|ld-linux.*)\\.so")
    message(FATAL_ERROR "the consumer needs ${lib} beside libhostkit")
  endif()
endforeach()
if(NOT found_hostkit)
  message(FATAL_ERROR "the consumer does not need libhostkit: ${needed}")
endif()

# libhostkit exports its classes and entry points and the runtime's API:
# neither the platform seam, nor test doubles, nor the runtime's insides.
file(GLOB libraries ${prefix}/lib*/libhostkit.so.*.*)
list(GET libraries 0 library)
execute_process(COMMAND ${NM} -D -C --defined-only ${library} OUTPUT_VARIABLE exports RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${library}")
endif()
foreach(name "hostkit::create(" "hostkit::nvo_mdll::of_file_md5(" "rt::set_ui(" "typeinfo for rt::RuntimeError")
  string(FIND "${exports}" "${name}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "libhostkit does not export ${name}")
  endif()
endforeach()
foreach(name "hostkit::kernel32(" "hostkit::set_kernel32(" "hostkit::Kernel32" "RecordingUi" "StderrUi" "rt::Env::"
        "rt::PlatformEnv(" "rt::registry_get(" "rt::transaction::")
  string(FIND "${exports}" "${name}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "libhostkit exports ${name}")
  endif()
endforeach()
string(REGEX MATCHALL "\n[0-9a-f]+ [TWVBDRu] " symbols "\n${exports}")
list(LENGTH symbols count)
message("libhostkit exports ${count} symbols")
