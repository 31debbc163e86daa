# Run by cpack once the files are staged, before each package is made. Debian
# packages carry their manual pages gzipped (-n: no name or time stamp, so the
# package comes out the same from the same sources); other packages keep them
# as they are.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9n "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not gzip ${page}")
  endif()
endforeach()
