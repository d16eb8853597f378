# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads),
# linked statically so the .exe files run without the toolchain's DLLs.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVELKOR_BUILD_UI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELKOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELKOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELKOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELKOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELKOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs and gtest_discover_tests run through Wine, each build in a
# prefix of its own so that a COM mapping made for one run stays local.
find_program(VELKOR_WINE NAMES wine64 wine PATHS /usr/lib/wine)
set(VELKOR_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for running the tests")
if(VELKOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${VELKOR_WINEPREFIX} WINEDEBUG=-all
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${VELKOR_WINE})
endif()
