# Fails unless the Windows binary FILE imports only DLLs that every Windows system
# has: the plug-in must load without any runtime DLL beside it.
# Usage: cmake -DOBJDUMP=... -DFILE=... -P CheckSystemImports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${FILE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(system_dlls kernel32.dll user32.dll gdi32.dll shell32.dll comctl32.dll advapi32.dll
    msvcrt.dll ole32.dll psapi.dll)
foreach(line IN LISTS imports)
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^api-ms-win-")
        message(FATAL_ERROR "${FILE} imports ${dll}, which is not a system DLL")
    endif()
    message(STATUS "imports ${dll}")
endforeach()
message(STATUS "OK: only system DLLs imported")
