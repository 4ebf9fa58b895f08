# SPDX-License-Identifier: GPL-3.0-or-later
# Project-wide compiler settings, applied to every target through an interface library.
add_library(melvigil_settings INTERFACE)
target_compile_options(melvigil_settings INTERFACE -Wall -Wextra -Wpedantic)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(melvigil_settings INTERFACE -Wshadow=local)
else()
  # clang (the fuzz targets): its nearest match to GCC's local shadowing warning.
  target_compile_options(melvigil_settings INTERFACE -Wshadow-uncaptured-local)
endif()
if(MELVIGIL_WERROR)
  target_compile_options(melvigil_settings INTERFACE -Werror)
endif()
if(MELVIGIL_SANITIZE)
  target_compile_options(melvigil_settings INTERFACE -fsanitize=${MELVIGIL_SANITIZE}
                                                     -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(melvigil_settings INTERFACE -fsanitize=${MELVIGIL_SANITIZE})
endif()
if(WIN32)
  # Self-contained executables: they must run under a bare Wine prefix.
  target_link_options(melvigil_settings INTERFACE -static -static-libgcc -static-libstdc++)
  target_compile_definitions(melvigil_settings INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX
                                                         _WIN32_WINNT=0x0601)
endif()
