# Cross build for 64-bit Windows with the MinGW-w64 compilers of Debian (the -posix variants: std::thread
# and std::mutex need their threading model). Programs are linked statically so that they run without
# the compiler's DLLs (a build against Qt's DLLs links the runtime DLLs as Qt does: CMakeLists.txt), and run
# under Wine when CTest or a build step executes them.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# With the Qt for MinGW, through Qt's toolchain file chained to this one (tools/build-windows):
#   -DCMAKE_TOOLCHAIN_FILE=<qt>/lib/cmake/Qt6/qt.toolchain.cmake -DQT_CHAINLOAD_TOOLCHAIN_FILE=<this file> ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VENDREL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VENDREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VENDREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VENDREL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VENDREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(VENDREL_WINE NAMES wine wine64)
if(VENDREL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VENDREL_WINE})
endif()
