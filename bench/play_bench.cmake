# SPDX-License-Identifier: GPL-3.0-or-later
# Play-latency benchmark helper; run it through play_bench.sh (see there). It needs the
# GStreamer device, so it exists on Linux only.
if(MELVIGIL_PLATFORM STREQUAL "linux")
  add_executable(play_bench ${CMAKE_CURRENT_LIST_DIR}/play_bench.cpp)
  target_link_libraries(play_bench PRIVATE melvigil_media melvigil_settings)
endif()
