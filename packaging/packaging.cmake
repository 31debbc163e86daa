# The packages `cpack` makes from what `cmake --install` puts in place: a .deb
# and a tarball on Linux, a .zip for a Windows build.

set(BRIVEL_MAINTAINER "brivel maintainers <maintainers@users.noreply.c-seed-9105d9f3.example>"
    CACHE STRING "Name and e-mail address of whoever answers for the packages")

set(CPACK_PACKAGE_NAME brivel)
set(CPACK_PACKAGE_VENDOR "brivel maintainers")
set(CPACK_PACKAGE_CONTACT "${BRIVEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert camera lists into info_camera entity blocks")
set(CPACK_PACKAGE_DESCRIPTION
    "brivel is a filter: it reads a camera list on standard input, one
camera a line (a quoted name, the position x, y, z, the angles pitch,
yaw, roll and an optional field of view), and writes one info_camera
entity block for each camera line to standard output, in input order.
Other lines are passed over without a word. See brivel(1).")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # Notepad and the command prompt's `type` expect CR LF line ends.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/README-windows.txt
                 ${CMAKE_CURRENT_BINARY_DIR}/README-windows.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README-windows.txt DESTINATION .)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRIVEL_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Debian ships manual pages gzipped; the tarball keeps the page as it is.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/compress_manual_for_debian.cmake)
endif()

include(CPack)
