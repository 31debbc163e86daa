# Run by cpack once the files are staged, before each package is made. A Debian
# package follows Debian's conventions, which the other packages need not:
# - the manual page gzipped;
# - the licence as a machine-readable copyright file (DEP-5) in place of LICENSE;
# - lintian's override of a hint that does not hold for these programs;
# - the changelog, in Debian's format, made from CHANGELOG.md;
# - the program stripped of what Debian's own builds strip (.comment, .note);
# - every file dated as the newest changelog entry, as dpkg-buildpackage dates
#   them, unless SOURCE_DATE_EPOCH is set already.
# With that and gzip -n, which leaves out the name and time stamp, the package
# comes out the same, byte for byte, from the same sources.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}")
  endif()
endfunction()

file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS pages)
  run(gzip -9n "${page}")
endforeach()

file(GLOB_RECURSE licence "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/brivel/LICENSE")
if(NOT licence)
  message(FATAL_ERROR "no share/doc/brivel/LICENSE staged")
endif()
get_filename_component(doc "${licence}" DIRECTORY)
file(READ "${licence}" text)
if(NOT text MATCHES "Copyright \\(c\\) ([^\n]+)\n")
  message(FATAL_ERROR "${licence} names no copyright holder")
endif()
set(holder "${CMAKE_MATCH_1}")
# The permission notice, each line indented by a space and blank lines as " ."
string(FIND "${text}" "Permission is hereby granted" start)
string(SUBSTRING "${text}" ${start} -1 notice)
string(STRIP "${notice}" notice)
string(REPLACE "\n\n" "\n.\n" notice "${notice}")
string(REPLACE "\n" "\n " notice "${notice}")
file(WRITE "${doc}/copyright"
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: brivel\n"
     "\n"
     "Files: *\n"
     "Copyright: ${holder}\n"
     "License: Expat\n"
     " ${notice}\n")
file(REMOVE "${licence}")

# lintian takes a program with no fortified call (__read_chk and the like) for
# one built without _FORTIFY_SOURCE. These are built with it, but read into
# buffers whose size is known only at run time and poll a single descriptor,
# which leaves the compiler nothing to check.
get_filename_component(share "${doc}" DIRECTORY)
get_filename_component(share "${share}" DIRECTORY)
file(WRITE "${share}/lintian/overrides/brivel"
     "# Built with _FORTIFY_SOURCE=2, but no call has a buffer of known size to check.\n"
     "brivel: hardening-no-fortify-functions [usr/bin/brivel]\n"
     "brivel: hardening-no-fortify-functions [usr/bin/brivel-check]\n")

find_program(python3 python3 REQUIRED)
run(${python3} "${CPACK_BRIVEL_SOURCE_DIR}/packaging/debian_changelog.py"
    "${CPACK_BRIVEL_SOURCE_DIR}/CHANGELOG.md" "${CPACK_PACKAGE_VERSION}"
    "${CPACK_DEBIAN_PACKAGE_MAINTAINER}" OUTPUT_FILE "${doc}/changelog")
# cpack dates the files in the package by SOURCE_DATE_EPOCH when it is set, by
# the time of the build otherwise.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND dpkg-parsechangelog -l "${doc}/changelog" -S Timestamp
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
run(gzip -9n "${doc}/changelog")
file(CHMOD "${doc}/copyright" "${doc}/changelog.gz" "${share}/lintian/overrides/brivel"
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  run("${CPACK_BRIVEL_STRIP}" --remove-section=.comment --remove-section=.note
      --strip-unneeded "${program}")
endforeach()
