# Cross build of the 64-bit Windows plug-in with Debian's clang for x86_64-w64-mingw32,
# against mingw-w64's headers and the libstdc++ of its posix-thread g++. Everything is
# linked statically so that Vexo.8bf and the test programs need no runtime DLL beside
# them; tests run under Wine through the emulator wrapper.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEXO_MINGW_TRIPLE x86_64-w64-mingw32)
set(VEXO_LLVM_MAJOR 19)
set(CMAKE_C_COMPILER clang-${VEXO_LLVM_MAJOR})
set(CMAKE_CXX_COMPILER clang++-${VEXO_LLVM_MAJOR})
set(CMAKE_C_COMPILER_TARGET ${VEXO_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${VEXO_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${VEXO_MINGW_TRIPLE}-windres)
set(CMAKE_AR /usr/bin/llvm-ar-${VEXO_LLVM_MAJOR})
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-${VEXO_LLVM_MAJOR})
set(CMAKE_OBJDUMP /usr/bin/${VEXO_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VEXO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# mingw's libstdc++ keeps its thread-locals in emulated TLS, so everything linked with it
# must too (std::call_once would not link otherwise).
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls")
# With -static, clang does not add winpthreads, which libstdc++ needs; lld takes an archive
# named anywhere on the line.
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -static -lpthread")
endforeach()

# Test programs run under Wine with a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run")
