# SPDX-License-Identifier: GPL-3.0-or-later
# The list's details tooltip; run it through details_bench.sh (see there).
if(TARGET melvigil_qtbase)
  add_executable(details_bench ${CMAKE_CURRENT_LIST_DIR}/details_bench.cpp)
  target_link_libraries(details_bench PRIVATE melvigil_qtbase melvigil_settings)
endif()
