# Included by cpack: adds the packages of the libraries the programs and plugins link, as
# dpkg-shlibdeps finds them, to the Debian package's Depends.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()
# dpkg-shlibdeps looks for a package description; an empty one will do.
file(WRITE ${PARVANE_SHLIBDEPS_DIR}/debian/control "")
set(arguments)
foreach(binary IN LISTS PARVANE_PACKAGED_BINARIES)
    list(APPEND arguments -e${binary})
endforeach()
execute_process(
    COMMAND dpkg-shlibdeps -O ${arguments}
    WORKING_DIRECTORY ${PARVANE_SHLIBDEPS_DIR}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE substvars
    ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT substvars MATCHES "shlibs:Depends=([^\n]+)")
    message(FATAL_ERROR "dpkg-shlibdeps failed: ${errors}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}, ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
