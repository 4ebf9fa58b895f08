# SPDX-License-Identifier: GPL-3.0-or-later
# What the download list costs while nothing changes; run it through idle_bench.sh (see there).
if(TARGET melvigil_window)
  add_executable(gui_idle_bench ${CMAKE_CURRENT_LIST_DIR}/gui_idle_bench.cpp)
  target_link_libraries(gui_idle_bench PRIVATE melvigil_window melvigil_settings)
endif()
