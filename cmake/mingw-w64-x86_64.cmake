# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building the core and melvigil-cli for Windows x86-64 with Debian's mingw-w64
# (g++-mingw-w64-x86-64-posix: the posix thread model, which std::thread and std::mutex need).
# Executables are linked statically (see Warnings.cmake), so they run under a bare Wine prefix;
# ctest runs them through the Wine loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MELVIGIL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MELVIGIL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MELVIGIL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MELVIGIL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MELVIGIL_MINGW_TRIPLET})
# Programs come from the build machine; headers, libraries and packages only from the target's
# root, so the Linux GoogleTest, Qt or GStreamer are never picked up by mistake. A Windows Qt
# is found by pointing CMAKE_PREFIX_PATH (or Qt6_DIR) at it.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's wine64 package installs the 64-bit loader here and no wine64 on PATH.
find_program(MELVIGIL_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MELVIGIL_WINE_LOADER)
  # Through a wrapper that keeps Wine's state in the build folder (WINEPREFIX overrides it).
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${MELVIGIL_WINE_LOADER}
                                    ${CMAKE_BINARY_DIR}/wineprefix)
endif()
