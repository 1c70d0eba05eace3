# Cross build of the 64-bit Windows plug-in with mingw-w64 (posix thread model).
# Everything is linked statically so that Vexo.8bf and the test programs need no
# runtime DLL beside them; tests run under Wine through the emulator wrapper.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEXO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEXO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEXO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# FindOpenMP would put the runtime's import library on the link line, and the DLL
# would then import libgomp-1.dll even with -static.
execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgomp.a
    OUTPUT_VARIABLE VEXO_MINGW_LIBGOMP
    OUTPUT_STRIP_TRAILING_WHITESPACE)
set(OpenMP_gomp_LIBRARY "${VEXO_MINGW_LIBGOMP}" CACHE FILEPATH "Static OpenMP runtime" FORCE)

# Test programs run under Wine with a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run")
