# Fails unless the logo generator, run afresh, writes exactly the checked-in logo.
# Usage: cmake -DPYTHON=... -DGENERATOR=... -DLOGO=... -DOUTPUT=... -P CheckLogo.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${PYTHON} ${GENERATOR} ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${GENERATOR} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${LOGO} RESULT_VARIABLE differs)
if(differs)
    message(FATAL_ERROR "${LOGO} is not what ${GENERATOR} draws: run it again")
endif()
message(STATUS "OK: the logo matches its generator")
