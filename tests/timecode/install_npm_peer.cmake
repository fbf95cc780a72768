# Installs the npm package smpte-timecode into PREFIX once; does nothing when it is there already
# or when npm is not installed (the peer test then skips).
if(EXISTS "${PREFIX}/node_modules/smpte-timecode/package.json")
    return()
endif()
find_program(NPM npm)
if(NOT NPM)
    message(STATUS "npm not found; the smpte-timecode peer test will skip")
    return()
endif()
file(MAKE_DIRECTORY "${PREFIX}")
execute_process(COMMAND "${NPM}" install --no-audit --no-fund --silent --prefix "${PREFIX}" smpte-timecode@1.3.6
                RESULT_VARIABLE result TIMEOUT 240)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "npm install smpte-timecode failed: ${result}")
endif()
