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

# What Debian asks of every package: the copyright in machine-readable form and the
# changelog, compressed without a name or time so that the same text gives the same bytes.
# The changelog's newest entry is this version, and its date is the build's date.
set(debian_dir ${PROJECT_SOURCE_DIR}/resources/debian)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${debian_dir}/changelog)
foreach(field Version Timestamp)
    execute_process(
        COMMAND dpkg-parsechangelog -l ${debian_dir}/changelog -S ${field}
        OUTPUT_VARIABLE changelog_${field} OUTPUT_STRIP_TRAILING_WHITESPACE
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
if(NOT changelog_Version STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "resources/debian/changelog's newest entry is ${changelog_Version}, "
                        "the project is ${PROJECT_VERSION}: add an entry for this version")
endif()
set(PARVANE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/parvane)
set(doc_dir ${CMAKE_BINARY_DIR}/doc)
add_custom_command(
    OUTPUT ${doc_dir}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${debian_dir}/changelog ${doc_dir}/changelog
    COMMAND gzip -9nf ${doc_dir}/changelog
    DEPENDS ${debian_dir}/changelog
    COMMENT "Compressing the changelog")

# The manual pages, made by help2man from each program's own --help and --version.
find_program(HELP2MAN help2man REQUIRED)
set(man_pages)
foreach(program parvane parvane-cut)
    if(program STREQUAL parvane)
        set(name "cut a clip out of a DVD video object file")
    else()
        set(name "cut a clip out of a DVD video object file from the command line")
    endif()
    set(page ${doc_dir}/${program}.1)
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${changelog_Timestamp}
                ${HELP2MAN} --no-info --section=1 --name=${name} --output=${page}
                $<TARGET_FILE:${program}>
        COMMAND gzip -9nf ${page}
        DEPENDS ${program}
        COMMENT "Making the manual page of ${program}"
        VERBATIM)
    list(APPEND man_pages ${page}.gz)
endforeach()
add_custom_target(parvane_docs ALL DEPENDS ${doc_dir}/changelog.gz ${man_pages})
install(FILES ${debian_dir}/copyright ${doc_dir}/changelog.gz DESTINATION ${PARVANE_DOCDIR})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# A stripped install (the package's) also drops the compiler's version notes, as Debian's
# own packaging does.
install(CODE "set(objcopy \"${CMAKE_OBJCOPY}\")")
install(CODE [[
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(file IN ITEMS
                bin/$<TARGET_FILE_NAME:parvane> bin/$<TARGET_FILE_NAME:parvane-cut>
                lib/parvane/$<TARGET_FILE_NAME:parvane_player_plugin>
                lib/parvane/$<TARGET_FILE_NAME:parvane_web_plugin>
                lib/parvane/$<TARGET_FILE_NAME:parvane_codec_plugin>)
            execute_process(
                COMMAND "${objcopy}" --remove-section=.comment --remove-section=.note
                        "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${file}"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()
]])

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
# The libraries it links come from dpkg-shlibdeps, run by cpack-debian-depends.cmake;
# these it needs without linking them: the windows' font, and the desktop's address opener
# for the web-site links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# cpack's own dpkg-shlibdeps step would add ldconfig calls to postinst and postrm, because
# the plugins are shared objects under /usr/lib; they are private to the program, and
# ldconfig has nothing to do for them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(PARVANE_PACKAGED_BINARIES
    $<TARGET_FILE:parvane> $<TARGET_FILE:parvane-cut> $<TARGET_FILE:parvane_player_plugin>
    $<TARGET_FILE:parvane_web_plugin> $<TARGET_FILE:parvane_codec_plugin>)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/cpack-debian-depends.cmake CONTENT "\
set(PARVANE_PACKAGED_BINARIES \"${PARVANE_PACKAGED_BINARIES}\")
set(PARVANE_SHLIBDEPS_DIR \"${CMAKE_BINARY_DIR}/shlibdeps\")
include(\"${PROJECT_SOURCE_DIR}/cmake/DebianDepends.cmake\")
")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack-debian-depends.cmake)
include(CPack)
