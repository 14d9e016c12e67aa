# The Windows release: version information and the icon inside gyrofold.scr,
# and the package target, which makes gyrofold-VERSION-ARCH.zip and
# gyrofold-VERSION-ARCH-setup.exe from the install rules below.
if(NOT WIN32)
    return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(GYROFOLD_RELEASE_ARCH win64)
    set(GYROFOLD_RELEASE_ARCH_NOTE "This is the 64-bit build, for 64-bit Windows.")
else()
    set(GYROFOLD_RELEASE_ARCH win32)
    set(GYROFOLD_RELEASE_ARCH_NOTE "This is the 32-bit build; it runs on 32-bit and 64-bit Windows.")
endif()

# gyrofold.rc finds the version header and the icon in the build folder.
configure_file(${CMAKE_CURRENT_LIST_DIR}/gyrofold_version.h.in ${CMAKE_BINARY_DIR}/gyrofold_version.h @ONLY)
target_include_directories(gyrofold PRIVATE ${CMAKE_BINARY_DIR})
add_dependencies(gyrofold sample_image)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/settings/gyrofold.rc TARGET_DIRECTORY gyrofold APPEND PROPERTY
    OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/gyrofold.ico ${CMAKE_BINARY_DIR}/gyrofold_version.h
    ${CMAKE_SOURCE_DIR}/settings/gyrofold.manifest)

# Stripped once, at the link: the ZIP and the installer then hold the same
# bytes, where a strip per package wrote each copy's own time stamp.
target_link_options(gyrofold PRIVATE $<$<NOT:$<CONFIG:Debug>>:-s>)

# Notepad before Windows 10 shows a file with bare line feeds as one line.
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/README.txt ${CMAKE_BINARY_DIR}/README.txt
    @ONLY NEWLINE_STYLE WIN32)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE WIN32)
install(TARGETS gyrofold RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/sample.bmp ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt
    DESTINATION .)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME gyrofold)
set(CPACK_PACKAGE_VENDOR Quillbox)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Quillbox Gyrofold screen saver")
set(CPACK_PACKAGE_FILE_NAME gyrofold-${PROJECT_VERSION}-${GYROFOLD_RELEASE_ARCH})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Gyrofold)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
# The ZIP holds the files themselves, no folder around them.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# The installer is named ...-setup.exe; CPack calls this file per generator.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windows_release_cpack.cmake)

# The installer's script is our own (packaging/windows/NSIS.template.in):
# its pages, its registry entries and its uninstaller are the saver's, and
# none of CPack's placeholder texts or folder pages show.
set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/packaging/windows)
set(CPACK_NSIS_PACKAGE_NAME "Quillbox Gyrofold")
set(CPACK_NSIS_MUI_ICON ${CMAKE_BINARY_DIR}/gyrofold.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_BINARY_DIR}/gyrofold.ico)
if(GYROFOLD_RELEASE_ARCH STREQUAL win64)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
endif()
set(CPACK_NSIS_DEFINES "!define GYROFOLD_ARCH ${GYROFOLD_RELEASE_ARCH}
  !define GYROFOLD_VERSION ${PROJECT_VERSION}
  !define GYROFOLD_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0
  !include '${CMAKE_SOURCE_DIR}/packaging/windows/gyrofold.nsh'")
include(CPack)
