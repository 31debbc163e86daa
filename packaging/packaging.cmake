# The packages `cpack` makes from what `cmake --install` puts in place: on
# Linux a tarball from a statically linked build (it runs on any Linux) and a
# .deb from a dynamically linked one (-DBRIVEL_STATIC=OFF), which is what Debian
# expects of the programs it installs; a .zip for a Windows build.

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
Other lines are passed over without a word. See brivel(1).
.
brivel-check reads camera lists as brivel does and says why a line was
skipped or a camera got the default field of view, in the format that
editors and continuous integration read. See brivel-check(1).")
set(CPACK_STRIP_FILES ON)
# Folders made by `cmake --install` get mode 755 under a umask that leaves
# that much (022, or 002 where groups may write); the packages' folders get it
# whatever the umask (staged_modes.cmake, below).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # The README says which of the two programs its zip holds.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(BRIVEL_WINDOWS_BITS 64)
  else()
    set(BRIVEL_WINDOWS_BITS 32)
  endif()
  # Notepad and the command prompt's `type` expect CR LF line ends.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/README-windows.txt
                 ${CMAKE_CURRENT_BINARY_DIR}/README-windows.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
                 @ONLY NEWLINE_STYLE CRLF)
  # The drop target: camera lists dropped onto it in Explorer are converted
  # and checked. cmd.exe reads a batch file with LF line ends wrongly.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/brivel-drop.cmd ${CMAKE_CURRENT_BINARY_DIR}/brivel-drop.cmd
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README-windows.txt
                ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
                ${CMAKE_CURRENT_BINARY_DIR}/brivel-drop.cmd DESTINATION .)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # A static program in a .deb is an error to lintian, and a dynamic one in the
  # tarball would not run on every Linux: each build makes the one it suits.
  if(BRIVEL_LINKED_STATICALLY)
    set(CPACK_GENERATOR TGZ)
  else()
    set(CPACK_GENERATOR DEB)
  endif()
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRIVEL_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The manual page gzipped, the copyright file and the changelog, the program
  # stripped as Debian strips: see debian_conventions.cmake.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian_conventions.cmake)
  set(CPACK_BRIVEL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
  set(CPACK_BRIVEL_STRIP ${CMAKE_STRIP})
endif()
# Last, so that it sees the folders the scripts before it made too.
list(APPEND CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/staged_modes.cmake)

include(CPack)
