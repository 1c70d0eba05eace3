# GoogleTest: Debian's package natively, built from Debian's sources by the cross compiler.
if(CMAKE_CROSSCOMPILING)
    find_path(VEXO_GOOGLETEST_SOURCE CMakeLists.txt
        PATHS /usr/src PATH_SUFFIXES googletest NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${VEXO_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# vexo_add_test(NAME SOURCES... [LIBRARIES ...] [PROPERTIES ...]): one GoogleTest program.
function(vexo_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBRARIES;PROPERTIES")
    add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
    vexo_target_defaults(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main GTest::gmock)
    set(properties ${ARG_PROPERTIES})
    if(CMAKE_CROSSCOMPILING)
        # Some crashes under Wine still exit 0: a test passes only when it says so.
        list(APPEND properties
            PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\."
            SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] 1 test")
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        NO_PRETTY_VALUES
        DISCOVERY_TIMEOUT 120
        PROPERTIES ${properties})
endfunction()

# vexo_add_export_test(NAME FILE SYMBOL...): fails unless the Windows binary FILE
# exports every SYMBOL under exactly that name.
function(vexo_add_export_test name file)
    list(JOIN ARGN " " symbols)
    add_test(NAME ${name}
        COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=${file} "-DSYMBOLS=${symbols}"
                -P ${PROJECT_SOURCE_DIR}/cmake/CheckExport.cmake)
endfunction()

# CTest reads this from the build folder. After each run it lists the reasons that
# skipped tests gave, which its own summary leaves out.
configure_file(${PROJECT_SOURCE_DIR}/cmake/CTestCustom.cmake.in
    ${PROJECT_BINARY_DIR}/CTestCustom.cmake @ONLY)
