# Warnings (and, on request, sanitizers) on one INTERFACE target that every
# project target links privately.
add_library(brix_warnings INTERFACE)
if(MSVC)
    target_compile_options(brix_warnings INTERFACE /W4 $<$<BOOL:${BRIX_WERROR}>:/WX>)
else()
    target_compile_options(brix_warnings INTERFACE -Wall -Wextra -Wshadow $<$<BOOL:${BRIX_WERROR}>:-Werror>)
endif()

if(BRIX_SANITIZE)
    set(_brix_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${_brix_san})
    add_link_options(-fsanitize=address,undefined)
endif()

# Windows headers without the min/max macros and the rarely used APIs, for
# every target alike.
if(WIN32)
    add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN)
endif()
