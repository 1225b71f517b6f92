# Installs the library into a fresh prefix and builds against that prefix alone, the way another
# project would: every installed header compiles without the source tree, the shared library
# exports none of the runtime's internals, and the examples build and find their devices through
# the CMake package (shared and static) and through pkg-config.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... [-DLAUNCHER=ccache] -P check_installed_tree.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# The examples must find the demo switch, not whatever the user has configured.
set(ENV{XDG_CONFIG_HOME} ${WORK_DIR}/config)
unset(ENV{ZVTAPI_TELEPHONY})
unset(ENV{ZVTAPI_SIM_CONFIG})
function(expect_demo_lines program)
  run(${program} --list)
  if(NOT out MATCHES "line 0: Reception\n")
    message(FATAL_ERROR "${program} --list did not list the demo lines:\n${out}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
foreach(component runtime development)
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component ${component})
endforeach()
file(GLOB_RECURSE pc_file ${prefix}/*/zvtapi.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
get_filename_component(lib_dir "${pc_dir}" DIRECTORY)

# One translation unit with every installed header, compiled against the installed tree only.
file(GLOB_RECURSE headers RELATIVE ${prefix}/include/zvtapi ${prefix}/include/zvtapi/*.h)
set(all_headers "")
foreach(header ${headers})
  string(APPEND all_headers "#include \"${header}\"\n")
endforeach()
file(WRITE ${WORK_DIR}/all_headers.cpp "${all_headers}")
run(c++ -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I${prefix}/include/zvtapi
    ${WORK_DIR}/all_headers.cpp)

# The runtime (tapi32::) and the switch stay inside; the C entry points and zvtapi:: are out.
run(nm -D --defined-only --demangle ${lib_dir}/libzvtapi.so.0)
if(out MATCHES "tapi32::|sim::|sip::")
  string(REGEX MATCHALL "[^\n]*(tapi32|sim|sip)::[^\n]*" leaked "${out}")
  list(SUBLIST leaked 0 10 leaked)
  message(FATAL_ERROR "libzvtapi.so exports internals, for example:\n${leaked}")
endif()
foreach(symbol "T lineInitializeExW@@ZVTAPI_0" "zvtapi::LibraryVersion()@@ZVTAPI_0")
  string(FIND "${out}" "${symbol}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "libzvtapi.so does not export ${symbol}")
  endif()
endforeach()
run(objdump -p ${lib_dir}/libzvtapi.so.0)
if(NOT out MATCHES "SONAME +libzvtapi\\.so\\.0\n")
  message(FATAL_ERROR "libzvtapi.so.0 has no SONAME libzvtapi.so.0:\n${out}")
endif()

foreach(static OFF ON)
  set(build ${WORK_DIR}/examples-static-${static})
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${build} -G Ninja -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_PREFIX_PATH=${prefix} -DEXAMPLES_STATIC=${static}
      -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
  run(${CMAKE_COMMAND} --build ${build})
  expect_demo_lines(${build}/call_log)
endforeach()

set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs zvtapi)
separate_arguments(flags UNIX_COMMAND "${out}")
run(c++ -std=c++20 -o ${WORK_DIR}/call_log_pkgconfig ${SOURCE_DIR}/examples/call_log.cpp ${flags}
    -Wl,-rpath,${lib_dir})
expect_demo_lines(${WORK_DIR}/call_log_pkgconfig)
