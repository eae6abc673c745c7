# Debian's hardening, as `dpkg-buildflags` gives it on Debian 12 with hardening=+all:
# glibc's checked functions, stack protection, format checks, a read-only relocation table
# bound at start, and position-independent programs. The packaged build has it; the
# sanitizer and fuzz builds leave it out, because their own checks are the point there and
# fortified calls go around some of their interceptors.
set(parvane_harden_default ON)
if(PARVANE_SANITIZE OR PARVANE_FUZZ)
    set(parvane_harden_default OFF)
endif()
option(PARVANE_HARDEN "Build with Debian's hardening flags" ${parvane_harden_default})

if(PARVANE_HARDEN)
    # The checked functions need the optimiser; glibc warns without it. Any level given
    # before, by CXXFLAGS for one, gives way to this one.
    set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    add_compile_options($<${optimised}:-U_FORTIFY_SOURCE> $<${optimised}:-D_FORTIFY_SOURCE=2>)
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security -Wdate-time)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
    # CMAKE_POSITION_INDEPENDENT_CODE then links the programs as PIE too.
    include(CheckPIESupported)
    check_pie_supported()
endif()
