# SPDX-License-Identifier: GPL-3.0-or-later
# Watcher benchmark helper; run it through watch_bench.sh (see there), beside melvigil-cli.
add_executable(watch_bench ${CMAKE_CURRENT_LIST_DIR}/watch_bench.cpp)
target_link_libraries(watch_bench PRIVATE melvigil_watcher melvigil_settings)
add_executable(watch_floor ${CMAKE_CURRENT_LIST_DIR}/watch_floor.cpp)
target_link_libraries(watch_floor PRIVATE Threads::Threads)
