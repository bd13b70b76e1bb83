# Release builds, and so the Debian package, get the distribution's hardening: stack protector,
# fortified functions, read-only relocations and immediate binding, as dpkg-buildflags gives them.
# Only the hardening flags are taken; the optimisation stays the build type's.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Release" OR PELMORA_SANITIZE)
    return()
endif()
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags not found: the release build is not hardened")
    return()
endif()

function(pelmora_buildflags variable kind)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags INCLUDE REGEX "^(-fstack-protector|-fstack-clash-protection|-fcf-protection|-D_FORTIFY_SOURCE|-Wformat|-Werror=format-security|-Wl,-z,)")
    set(${variable} ${flags} PARENT_SCOPE)
endfunction()

pelmora_buildflags(PELMORA_HARDEN_CPP CPPFLAGS)
pelmora_buildflags(PELMORA_HARDEN_CXX CXXFLAGS)
pelmora_buildflags(PELMORA_HARDEN_LD LDFLAGS)
add_compile_options(${PELMORA_HARDEN_CPP} ${PELMORA_HARDEN_CXX})
add_link_options(${PELMORA_HARDEN_LD})
message(STATUS "Hardening: ${PELMORA_HARDEN_CPP} ${PELMORA_HARDEN_CXX} ${PELMORA_HARDEN_LD}")
