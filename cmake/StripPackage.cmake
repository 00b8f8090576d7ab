# Run by cpack on the staged files before it packs them (CPACK_PRE_BUILD_SCRIPTS): strips the
# programs as Debian's own packages are stripped, symbols and the compilers' .comment and .note
# sections, which only name the tools that built them.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
if(NOT programs)
  message(FATAL_ERROR "No programs to strip in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program ${programs})
  file(READ ${program} magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")  # ELF
    execute_process(COMMAND ${CPACK_HALVERN_STRIP} --remove-section=.comment
                            --remove-section=.note ${program}
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
