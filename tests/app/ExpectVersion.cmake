# cmake -DPROGRAM=path -DEXPECTED=text -P ExpectVersion.cmake: runs `PROGRAM --version` with no
# display at all, and fails unless it ends with success having printed exactly EXPECTED.
execute_process(COMMAND env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ${PROGRAM} --version
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "${EXPECTED}\n")
  message(FATAL_ERROR "${PROGRAM} --version: exit ${rc}, printed \"${out}\", said \"${err}\"; "
                      "expected \"${EXPECTED}\"")
endif()
