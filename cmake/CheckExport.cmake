# Fails unless the Windows binary FILE exports SYMBOL under exactly that name.
# Usage: cmake -DOBJDUMP=... -DFILE=... -DSYMBOL=... -P CheckExport.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${FILE}")
endif()
# The name pointer table lists one export a line: "[   n] Name".
string(REGEX MATCH "\\[[ 0-9]+\\] ${SYMBOL}\n" found "${dump}")
if(NOT found)
    message(FATAL_ERROR "${FILE} does not export ${SYMBOL} by that name")
endif()
message(STATUS "OK: ${SYMBOL} exported")
