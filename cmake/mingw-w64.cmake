# Cross-builds the plugin, the stand-in host, the tools and the tests as
# 64-bit Windows binaries with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# With wine64 installed, ctest runs the test executables under Wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HERALD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HERALD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HERALD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HERALD_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${HERALD_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump of the target")

# Only the cross toolchain's own sysroot is searched for libraries and
# headers: the build machine's /usr/include holds glibc headers that must never
# reach the Windows compiler. Header-only dependencies come in through
# WindowsDependencies.cmake instead.
set(CMAKE_FIND_ROOT_PATH /usr/${HERALD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static C and C++ runtime (libgcc, libstdc++, winpthread): the plugin then
# needs nothing on a server but system DLLs and the framework's own library.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endforeach()

# Lets ctest run the cross-built executables on the build machine.
find_program(HERALD_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(HERALD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HERALD_WINE})
endif()
