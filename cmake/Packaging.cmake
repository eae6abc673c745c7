# What `cmake --install` puts where, and the Debian package that cpack makes of it.
include(GNUInstallDirs)

# The programs and the plugins are installed by src/app.

install(FILES ${PROJECT_SOURCE_DIR}/resources/parvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icon at the sizes icon themes look for, made from the one picture the program carries.
set(PARVANE_ICON_SIZES 16 32 48 64 128 256)
add_executable(parvane_make_icons ${PROJECT_SOURCE_DIR}/tools/make_icons.cpp)
target_link_libraries(parvane_make_icons PRIVATE Qt6::Gui)
parvane_warnings(parvane_make_icons)
set(icon_dir ${CMAKE_BINARY_DIR}/icons)
set(icon_files)
foreach(size IN LISTS PARVANE_ICON_SIZES)
    list(APPEND icon_files ${icon_dir}/${size}x${size}/apps/parvane.png)
endforeach()
add_custom_command(
    OUTPUT ${icon_files}
    COMMAND parvane_make_icons ${PROJECT_SOURCE_DIR}/resources/parvane.png ${icon_dir}
            ${PARVANE_ICON_SIZES}
    DEPENDS parvane_make_icons ${PROJECT_SOURCE_DIR}/resources/parvane.png
    COMMENT "Making the icon at ${PARVANE_ICON_SIZES} pixels")
add_custom_target(parvane_icons ALL DEPENDS ${icon_files})
install(DIRECTORY ${icon_dir}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

set(PARVANE_APPSTREAM_ID example.parvane.Parvane)
configure_file(${PROJECT_SOURCE_DIR}/resources/${PARVANE_APPSTREAM_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/${PARVANE_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${PARVANE_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# `cpack -G DEB` (scripts/package): parvane_1.00_amd64.deb, installing under /usr.
set(CPACK_PACKAGE_NAME parvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut a clip out of a DVD video object file")
set(CPACK_PACKAGE_DESCRIPTION
    "Parvane plays a DVD video object file (.vob), lets you mark a begin and an\n\
end second while you watch, previews the marked stretch, and saves it as a\n\
new file by copying the corresponding byte range, without re-encoding.")
set(CPACK_PACKAGE_CONTACT "Orlendt <parvane@parvane.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PARVANE_SITE})
# The libraries it links come from dpkg-shlibdeps; these it needs without linking them:
# the windows' font, and the desktop's address opener for the web-site links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
