# Installs one npm package (PACKAGE, name@version) into PREFIX for a peer test; does nothing when it
# is there already or when npm is not installed (the peer test then skips).
#   cmake -DPACKAGE=name@version -DPREFIX=<dir> -P install_npm_package.cmake
string(REGEX REPLACE "@[^@]*$" "" _name "${PACKAGE}")
if(EXISTS "${PREFIX}/node_modules/${_name}/package.json")
    return()
endif()
find_program(NPM npm)
if(NOT NPM)
    message(STATUS "npm not found; the ${_name} peer test will skip")
    return()
endif()
file(MAKE_DIRECTORY "${PREFIX}")
execute_process(COMMAND "${NPM}" install --no-audit --no-fund --silent --prefix "${PREFIX}" "${PACKAGE}"
                RESULT_VARIABLE result TIMEOUT 240)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "npm install ${PACKAGE} failed: ${result}")
endif()
