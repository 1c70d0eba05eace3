# Compile settings shared by every target of the project, applied per target.
function(vexo_target_defaults target)
    target_compile_features(${target} PRIVATE cxx_std_20)
    set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
    # The lens model's results must not depend on the compiler fusing multiply-adds.
    target_compile_options(${target} PRIVATE -Wall -Wextra -ffp-contract=off -fno-fast-math)
    if(VEXO_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(VEXO_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                 -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()

# A library of project code whose objects all end up in the plug-in.
function(vexo_add_object_library target)
    add_library(${target} OBJECT ${ARGN})
    add_library(vexo::${target} ALIAS ${target})
    vexo_target_defaults(${target})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
