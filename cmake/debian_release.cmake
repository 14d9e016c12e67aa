# The Linux release: the package target makes gyrofold_VERSION_ARCH.deb from
# the install rules of the hack (packaging/xscreensaver) and of the Debian
# documents (packaging/debian).
if(WIN32 OR NOT GYROFOLD_X11)
    return()
endif()

set(GYROFOLD_MAINTAINER "Quillbox <gyrofold@quillbox.net>")
add_subdirectory(${CMAKE_SOURCE_DIR}/packaging/debian ${CMAKE_BINARY_DIR}/packaging/debian)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gyrofold)
set(CPACK_PACKAGE_VENDOR Quillbox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${GYROFOLD_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the hack links, with the versions dpkg-shlibdeps reads from
# the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xscreensaver)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen saver: a tiled picture under a turning, zooming camera")
# CPack writes the summary as the first line and indents every line of this.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Gyrofold tiles one picture endlessly across the plane and shows it through
a camera that turns and zooms on slow sine waves, with optional motion blur.
It runs as a hack of XScreenSaver, with a settings page in
xscreensaver-settings, and comes with a colourful sample picture.")
# The control files with the modes dpkg itself gives them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The hardening Debian builds its own packages with.
if(NOT GYROFOLD_SANITIZE AND NOT GYROFOLD_FUZZ)
    target_compile_definitions(gyrofold PRIVATE _FORTIFY_SOURCE=2)
    target_link_options(gyrofold PRIVATE -Wl,-z,relro,-z,now)
endif()
include(CPack)
