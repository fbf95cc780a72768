# Helpers that give every library, test, benchmark and fuzz target the same shape.

# project_add_subfolders(<dir>): add_subdirectory for each direct subfolder of <dir> that has a
# CMakeLists.txt, in alphabetical order; without PROJECT_BUILD_APP, not the application's folders.
function(project_add_subfolders dir)
    file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_SOURCE_DIR}/${dir}/*)
    list(SORT _children)
    foreach(_child IN LISTS _children)
        if(_child STREQUAL "platform" OR _child STREQUAL "support" OR _child STREQUAL "data")
            continue()
        endif()
        if(NOT PROJECT_BUILD_APP AND _child IN_LIST PROJECT_APP_FOLDERS)
            continue()
        endif()
        if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/${_child}/CMakeLists.txt)
            add_subdirectory(${CMAKE_SOURCE_DIR}/${dir}/${_child})
        endif()
    endforeach()
endfunction()

# project_library(<name> SOURCES ... [PUBLIC_DEPS ...] [PRIVATE_DEPS ...])
# A static library whose public headers live in ./include/<subsystem>/.
function(project_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                       PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE project_options ${ARG_PRIVATE_DEPS})
endfunction()

# project_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT seconds])
# One GoogleTest executable; each test case becomes its own ctest test. Tests that start threads
# carry the label `threaded` besides their own.
function(project_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} project_options GTest::gtest GTest::gmock
                                          GTest::gtest_main Threads::Threads)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
    if(PROJECT_UNITY_TESTS)
        set_target_properties(${name} PROPERTIES UNITY_BUILD ON
                                                 UNITY_BUILD_BATCH_SIZE ${PROJECT_UNITY_TESTS_BATCH})
        # A batch includes the test files into a generated one, so GCC takes them for headers and
        # would report a test fixture in an anonymous namespace as a header type with internal
        # linkage.
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            target_compile_options(${name} PRIVATE -Wno-subobject-linkage)
        endif()
    endif()
    target_compile_definitions(${name} PRIVATE
        PROJECT_TEST_DATA_DIR="${PROJECT_TEST_DATA_DIR}"
        PROJECT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    # Labels are set by a script that ctest runs after discovery: through the discovery's own
    # PROPERTIES, a list of several labels would be split into separate arguments.
    set(_labels_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    # Tests labelled `jack` start JACK servers of their own, and every server of a user shares one
    # metadata database folder that a server removes when it ends: such tests run one at a time.
    set(_lock "")
    if("jack" IN_LIST ARG_LABELS)
        set(_lock " RESOURCE_LOCK jack_server")
    endif()
    file(WRITE ${_labels_script}
        "if(${name}_TESTS)\n"
        "    set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${ARG_LABELS}\"${_lock})\n"
        "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_labels_script})
    # `threaded_tests` builds every test executable labelled threaded: what the ThreadSanitizer
    # pass of CI runs.
    if("threaded" IN_LIST ARG_LABELS)
        if(NOT TARGET threaded_tests)
            add_custom_target(threaded_tests)
        endif()
        add_dependencies(threaded_tests ${name})
    endif()
endfunction()

# project_benchmark(<name> SOURCES ... [LIBS ...])
function(project_benchmark name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} project_options benchmark::benchmark
                                          Threads::Threads)
endfunction()

# project_fuzzer(<name> SOURCES ... [LIBS ...])
# With clang, a libFuzzer binary. With any other compiler, the same entry point linked to a small
# driver that replays the files of fuzz/corpus/<name>/, registered as a test so that the targets
# keep building and their seed inputs keep passing in the regular suite.
function(project_fuzzer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} project_options)
    if(PROJECT_LIBFUZZER)
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    else()
        target_link_libraries(${name} PRIVATE fuzz_replay_main)
        set(_corpus ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
        if(PROJECT_BUILD_TESTS AND EXISTS ${_corpus})
            add_test(NAME ${name}.corpus COMMAND ${name} ${_corpus})
            set_tests_properties(${name}.corpus PROPERTIES LABELS fuzz TIMEOUT 300)
        endif()
    endif()
endfunction()
