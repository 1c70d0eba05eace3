# The Windows build links LLVM's OpenMP runtime statically, built by the project from
# Debian's source package (cmake/llvm-openmp/build-runtime keeps it in a cache outside the
# build tree). FindOpenMP then takes it as given instead of searching for a DLL's import
# library.
execute_process(
    COMMAND "${CMAKE_CURRENT_LIST_DIR}/llvm-openmp/build-runtime"
    OUTPUT_VARIABLE VEXO_LLVM_OPENMP_DIR
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "Building LLVM's OpenMP runtime for Windows failed")
endif()
message(STATUS "LLVM OpenMP runtime: ${VEXO_LLVM_OPENMP_DIR}")
set(OpenMP_CXX_FLAGS "-fopenmp" CACHE STRING "" FORCE)
set(OpenMP_CXX_LIB_NAMES "omp;psapi" CACHE STRING "" FORCE)
set(OpenMP_omp_LIBRARY "${VEXO_LLVM_OPENMP_DIR}/lib/libomp.a" CACHE FILEPATH "" FORCE)
# The runtime looks its symbols up through the process's module list.
set(OpenMP_psapi_LIBRARY "psapi" CACHE STRING "" FORCE)
set(OpenMP_CXX_INCLUDE_DIR "${VEXO_LLVM_OPENMP_DIR}/include" CACHE PATH "" FORCE)
find_package(OpenMP REQUIRED COMPONENTS CXX)
# Everything that links the runtime carries its own copy of it, which the code may set up
# as it likes; a runtime found anywhere else is shared with the host and left as it is.
set_property(TARGET OpenMP::OpenMP_CXX APPEND PROPERTY
    INTERFACE_COMPILE_DEFINITIONS VEXO_PRIVATE_OPENMP_RUNTIME)
