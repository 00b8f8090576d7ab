# Debian's build flags, as dpkg-buildflags gives them, for the package: the hardening of every
# Debian package (fortified string and memory functions, stack protector, format checks,
# read-only relocations bound at start-up) with no debug info, which the package strips anyway.
# The paths in the programs are taken relative to the source folder, so builds compare equal.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
  message(FATAL_ERROR "The package's build flags need dpkg-buildflags: scripts/bootstrap --package")
endif()
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            DEB_CXXFLAGS_MAINT_STRIP=-g ${DPKG_BUILDFLAGS} --get ${kind}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE flags
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(debian_${kind} ${flags})
endforeach()
string(JOIN " " shown ${debian_CPPFLAGS} ${debian_CXXFLAGS} ${debian_LDFLAGS})
message(STATUS "Debian build flags: ${shown}")
add_compile_options(${debian_CPPFLAGS} ${debian_CXXFLAGS})
add_link_options(${debian_LDFLAGS})
