# The Debian package (scripts/package runs cpack). It holds what `cmake --install` installs, below
# /usr. Its dependencies are the packages of the shared libraries that the programs link, found
# by dpkg-shlibdeps in the built binaries, so they follow the build and are never listed by hand.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marrowdale)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Marrowdale developers")
set(CPACK_PACKAGE_CONTACT "The Marrowdale developers <marrowdale@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop screen and audio recorder")
set(CPACK_PACKAGE_DESCRIPTION
    "Marrowdale records a rectangle of the screen on a fixed time grid into numbered JPEG or BMP
files, and what the machine plays, or the microphone, into a Windows Media Audio file, for an
outside video editor to assemble. A frame's number is its time slot, so that picture and sound
stay in step. The package holds the desktop program marrowdale and the command-line recorder
marrowdale-record.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${MARROWDALE_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The sound is recorded through a sound server, which the programs do not link.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")

include(CPack)
