# Cross-builds the Windows DLL, the tool and the tests with mingw-w64 (the
# POSIX-threads flavour of Debian's g++-mingw-w64-x86-64-posix), for 64-bit
# Windows. Test programs run through Wine.
#
#   cmake -S . -B build/mingw -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PWLEVEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PWLEVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PWLEVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PWLEVEL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PWLEVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libgcc, libstdc++, winpthread) goes inside each
# binary: the DLL and the programs need no other DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# ctest, and the test discovery at build time, run the programs under Wine.
find_program(PWLEVEL_WINE NAMES wine wine64)
if(PWLEVEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PWLEVEL_WINE})
endif()
