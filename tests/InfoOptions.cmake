# Runs PROGRAM --version and PROGRAM --help without any display: each must answer on stdout
# with exit code 0, the version line being "NAME VERSION".
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
unset(ENV{QT_QPA_PLATFORM})

execute_process(COMMAND ${PROGRAM} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "${NAME} ${VERSION}\n")
  message(FATAL_ERROR "${NAME} --version: exit ${rc}, stdout \"${out}\", stderr \"${err}\"")
endif()

execute_process(COMMAND ${PROGRAM} --help RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^Aufruf: ${NAME} ")
  message(FATAL_ERROR "${NAME} --help: exit ${rc}, stdout \"${out}\", stderr \"${err}\"")
endif()
