# Run by cpack once the files are staged, before each package is made: every
# folder in the package gets mode 755, whatever the umask of whoever builds it.
# CMake makes the folders it stages with mkdir, which the umask cuts down
# (CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS included): built under umask 077,
# the .deb would make /usr/share/doc/brivel readable by root alone, and the
# tarball, unpacked by root, would close /usr/local/bin to everyone else.
file(CHMOD_RECURSE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                           WORLD_READ WORLD_EXECUTE)
