# SPDX-License-Identifier: GPL-3.0-or-later
# ListBox1 of the Windows window with many entries; run it through win32_list_bench.sh.
if(TARGET melvigil_win32)
  add_executable(win32_list_bench ${CMAKE_CURRENT_LIST_DIR}/win32_list_bench.cpp)
  target_link_libraries(win32_list_bench PRIVATE melvigil_win32 melvigil_settings)
endif()
