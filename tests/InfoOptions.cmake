# Runs PROGRAM --version and PROGRAM --help without any display: each must answer on stdout
# with exit code 0, the version line being "NAME VERSION", and no line of the help may be wider
# than 79 characters (a console of 80 columns would break it).
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

# string(LENGTH) counts bytes: each German letter of two bytes is made one first, and any
# other character outside ASCII counts with all its bytes (too wide rather than too narrow).
set(text "${out}")
foreach(letter ä ö ü Ä Ö Ü ß)
  string(REPLACE "${letter}" "_" text "${text}")
endforeach()
string(REPLACE ";" "_" text "${text}")
string(REPLACE "\n" ";" lines "${text}")
set(too_wide)
foreach(line IN LISTS lines)
  string(LENGTH "${line}" width)
  if(width GREATER 79)
    string(APPEND too_wide "\n  ${width}: ${line}")
  endif()
endforeach()
if(too_wide)
  message(FATAL_ERROR "${NAME} --help has lines wider than 79 characters:${too_wide}")
endif()
