# Fails unless the Windows binary FILE exports every name of SYMBOLS (separated by
# spaces) under exactly that name; C++ members go by their mangled names.
# Usage: cmake -DOBJDUMP=... -DFILE=... "-DSYMBOLS=name ..." -P CheckExport.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${FILE}")
endif()
separate_arguments(symbols UNIX_COMMAND "${SYMBOLS}")
if(NOT symbols)
    message(FATAL_ERROR "no names to look for")
endif()

set(missing "")
foreach(symbol IN LISTS symbols)
    # Export names are plain identifiers; anything else would be read as a pattern below.
    if(NOT symbol MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
        message(FATAL_ERROR "not an export name: ${symbol}")
    endif()
    # One export a line: GNU objdump's name pointer table writes "[   n] Name",
    # llvm-objdump's export table "   n   0x1234  Name".
    if(NOT dump MATCHES "(\\[[ 0-9]+\\]|[0-9] +0x[0-9a-fA-F]+) +${symbol}\n")
        list(APPEND missing ${symbol})
    endif()
endforeach()

if(missing)
    find_program(demangler NAMES c++filt llvm-cxxfilt)
    foreach(symbol IN LISTS missing)
        set(readable "")
        if(demangler)
            execute_process(COMMAND ${demangler} ${symbol} OUTPUT_VARIABLE readable
                            OUTPUT_STRIP_TRAILING_WHITESPACE)
        endif()
        message(SEND_ERROR "${FILE} does not export ${symbol} ${readable}")
    endforeach()
    message(FATAL_ERROR "${FILE} lacks exports")
endif()
foreach(symbol IN LISTS symbols)
    message(STATUS "OK: ${symbol} exported")
endforeach()
