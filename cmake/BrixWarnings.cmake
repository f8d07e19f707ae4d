# Warnings (and, on request, sanitizers) on one INTERFACE target that every
# project target links privately.
add_library(brix_warnings INTERFACE)
if(MSVC)
    target_compile_options(brix_warnings INTERFACE /W4 $<$<BOOL:${BRIX_WERROR}>:/WX>)
else()
    # Conversions are spelled out: a map's numbers and sizes pass through
    # 32- and 64-bit, signed and unsigned types, and a silent narrowing there
    # is a corrupted map.
    target_compile_options(brix_warnings INTERFACE -Wall -Wextra -Wshadow -Wpedantic -Wconversion -Wsign-conversion
        -Wold-style-cast $<$<BOOL:${BRIX_WERROR}>:-Werror>)
endif()

# Only what links brix_warnings is sanitized: code that is not ours (a
# GoogleTest built from source) stays as its authors build it.
# The same flags build the library example against the installed package
# (tests/CMakeLists.txt), which does not link brix_warnings.
if(BRIX_SANITIZE)
    set(_brix_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(brix_warnings INTERFACE ${_brix_san})
    target_link_options(brix_warnings INTERFACE -fsanitize=address,undefined)
endif()

# Windows headers without the min/max macros and the rarely used APIs, for
# every target alike.
if(WIN32)
    add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN)
endif()
