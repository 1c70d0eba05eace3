# Runs SkipReasons.cmake over logs written here, as CTest leaves them while a run is
# under way, and then CTest itself in a folder of two tests with the build's settings,
# and fails unless each prints exactly what it should.
# Usage: cmake -DSOURCE_DIR=... -DCTEST=... -DWORK=<scratch folder> -P CheckSkipReasons.cmake
set(SCRIPT "${SOURCE_DIR}/cmake/SkipReasons.cmake")

# One test's part of a log, as CTest writes it, with the test's output in between.
function(log_block out name output)
    string(CONCAT block
        "1/9 Testing: ${name}\n1/9 Test: ${name}\n"
        "Command: \"prog\" \"--gtest_filter=${name}\"\nOutput:\n"
        "----------------------------------------------------------\n"
        "${output}<end of output>\nTest time =   0.01 sec\n"
        "----------------------------------------------------------\n\n")
    set(${out} "${block}" PARENT_SCOPE)
endfunction()

# GoogleTest's output for a test that skips with the given reason lines (its file and
# line in the given form), and for one that passes.
function(skipped out name place reason)
    string(CONCAT output
        "[ RUN      ] ${name}\n${place}: Skipped\n${reason}[  SKIPPED ] ${name} (0 ms)\n"
        "[  PASSED  ] 0 tests.\n[  SKIPPED ] 1 test, listed below:\n[  SKIPPED ] ${name}\n")
    log_block(block "${name}" "${output}")
    set(${out} "${block}" PARENT_SCOPE)
endfunction()
function(passed out name)
    log_block(block "${name}" "[ RUN      ] ${name}\n[       OK ] ${name} (0 ms)\n[  PASSED  ] 1 test.\n")
    set(${out} "${block}" PARENT_SCOPE)
endfunction()

skipped(sanitized Cases/Failure.Limited/Png "/src/tests/cli/FailureTest.cpp:281"
        "the address space of a sanitized build cannot be limited\n")
skipped(odd Suite.OddCharacters "/src/a.cpp:9"
        "limits [a;b] of C:\\temp\\\nand a second line\n\n")
# Through Wine, every line may end in a carriage return (which file(READ) drops).
skipped(wine Suite.UnderWine "Z:\\src\\b.cpp(12)" "no display\n")
string(REPLACE "\n" "\r\n" wine "${wine}")
skipped(silent Suite.Silent "/src/c.cpp:3" "")
passed(ok Suite.Passes)

# A run whose log, while it is under way, holds current ("-" for no log yet), after a
# last run whose log holds a skip of its own: the script must print expected.
function(check name current expected)
    set(folder "${WORK}/${name}")
    file(REMOVE_RECURSE "${folder}")
    file(MAKE_DIRECTORY "${folder}")
    file(WRITE "${folder}/LastTest.log" "Start testing:\n${sanitized}End testing:\n")
    execute_process(COMMAND touch -d "2000-01-01" "${folder}/LastTest.log")
    execute_process(COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -DMARK=ON -P ${SCRIPT}
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        string(APPEND failures "${name}: marking the run's start failed (${status})\n")
    endif()
    # CTest's name for the log of the run under way, until the run ends.
    if(NOT current STREQUAL "-")
        file(WRITE "${folder}/LastTest.log.tmp" "${current}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -P ${SCRIPT}
        RESULT_VARIABLE status OUTPUT_VARIABLE ignored ERROR_VARIABLE printed)
    if(NOT status EQUAL 0 OR NOT printed STREQUAL expected)
        string(APPEND failures
            "${name}: printed (status ${status})\n>>>${printed}<<<\ninstead of\n>>>${expected}<<<\n")
    endif()
    set(failures "${failures}" PARENT_SCOPE)
endfunction()

set(failures "")
check(EachSkipWithItsReason "Start testing:\n${ok}${sanitized}${odd}${wine}${silent}End testing:\n"
    "\nWhy the skipped tests did not run:
\tCases/Failure.Limited/Png: the address space of a sanitized build cannot be limited
\tSuite.OddCharacters: limits [a;b] of C:\\temp\\ and a second line
\tSuite.UnderWine: no display
\tSuite.Silent: (no reason given)

")
check(NothingWhenNoneSkipped "Start testing:\n${ok}End testing:\n" "")
check(NothingFromTheLastRunsLog "-" "")

# CTest itself, with the build's settings, in a folder of a test that skips and one that
# passes: the reason follows the summary of a run that skipped, and none follows the
# summary of the next run, which did not.
set(PROJECT_BINARY_DIR "${WORK}/ctest")
set(PROJECT_SOURCE_DIR "${SOURCE_DIR}")
file(REMOVE_RECURSE "${PROJECT_BINARY_DIR}")
configure_file("${SOURCE_DIR}/cmake/CTestCustom.cmake.in" "${PROJECT_BINARY_DIR}/CTestCustom.cmake"
    @ONLY)
file(WRITE "${PROJECT_BINARY_DIR}/CTestTestfile.cmake" [=[
add_test(Skips sh -c "printf 'a.cpp:1: Skipped\\nas it must\\n[  SKIPPED ] Skips (0 ms)\\n'")
set_tests_properties(Skips PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
add_test(Passes true)
]=])
execute_process(COMMAND ${CTEST} --test-dir "${PROJECT_BINARY_DIR}"
    OUTPUT_VARIABLE printed ERROR_VARIABLE printed)
string(FIND "${printed}" "\nWhy the skipped tests did not run:\n\tSkips: as it must\n" at)
if(at LESS 0)
    string(APPEND failures "CTest gave no reason for its skipped test:\n${printed}\n")
endif()
execute_process(COMMAND ${CTEST} --test-dir "${PROJECT_BINARY_DIR}" -R Passes
    OUTPUT_VARIABLE printed ERROR_VARIABLE printed)
string(FIND "${printed}" "Why the skipped" at)
if(at GREATER_EQUAL 0)
    string(APPEND failures "CTest gave the last run's reasons:\n${printed}\n")
endif()

if(NOT failures STREQUAL "")
    message(FATAL_ERROR "${failures}")
endif()
