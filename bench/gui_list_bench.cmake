# SPDX-License-Identifier: GPL-3.0-or-later
# The window's list with many entries; run it through gui_list_bench.sh (see there).
if(TARGET melvigil_qtbase)
  add_executable(gui_list_bench ${CMAKE_CURRENT_LIST_DIR}/gui_list_bench.cpp)
  target_link_libraries(gui_list_bench PRIVATE melvigil_qtbase melvigil_settings)
endif()
