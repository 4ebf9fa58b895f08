# SPDX-License-Identifier: GPL-3.0-or-later
# Download-list benchmark helper; run it through list_bench.sh (see there).
add_executable(list_bench ${CMAKE_CURRENT_LIST_DIR}/list_bench.cpp)
target_link_libraries(list_bench PRIVATE melvigil_program melvigil_settings)
