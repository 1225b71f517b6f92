# Run by cpack on the staged files before it packs them: the packages' programs and libraries
# lose their debug information (about nine tenths of their size) but keep their symbol tables,
# so that stacks in crash reports still name functions.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}" OR NOT file MATCHES "/bin/[^/]+$|\\.so\\.[0-9.]+$|\\.a$")
    continue()
  endif()
  execute_process(COMMAND strip --strip-debug "${file}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "strip --strip-debug ${file} failed")
  endif()
endforeach()
