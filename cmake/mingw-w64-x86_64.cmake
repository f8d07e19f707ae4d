# Cross-compiles brixel for 64-bit Windows with Debian's mingw-w64 toolchain.
#   cmake -S . -B build/mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The programs are linked statically (no MinGW runtime DLLs beside brixel.exe).
# When wine is installed it becomes the emulator, so CTest runs the test
# programs under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_brix_triple x86_64-w64-mingw32)
# The posix thread model: the win32 one of this GCC lacks std::thread and std::mutex.
find_program(_brix_mingw_cxx NAMES ${_brix_triple}-g++-posix ${_brix_triple}-g++ REQUIRED)
find_program(_brix_mingw_cc NAMES ${_brix_triple}-gcc-posix ${_brix_triple}-gcc REQUIRED)
find_program(_brix_mingw_rc NAMES ${_brix_triple}-windres)
set(CMAKE_CXX_COMPILER ${_brix_mingw_cxx})
set(CMAKE_C_COMPILER ${_brix_mingw_cc})
if(_brix_mingw_rc)
    set(CMAKE_RC_COMPILER ${_brix_mingw_rc})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${_brix_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(_brix_wine NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(_brix_wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${_brix_wine})
endif()
