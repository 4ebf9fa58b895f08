# SPDX-License-Identifier: GPL-3.0-or-later
# The list's details on Windows for a local MP3; run it through win32_details_bench.sh.
add_executable(win32_details_bench ${CMAKE_CURRENT_LIST_DIR}/win32_details_bench.cpp)
target_link_libraries(win32_details_bench PRIVATE melvigil_media melvigil_settings)
