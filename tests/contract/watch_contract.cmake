# SPDX-License-Identifier: GPL-3.0-or-later
# melvigil-cli watch against real trees. The same script runs the Windows build under Wine with
# MV_CLI="wine .../melvigil-cli.exe" MV_PATH_STYLE=windows.
add_test(NAME contract.watch COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/watch_contract.sh)
set_tests_properties(contract.watch PROPERTIES
  LABELS contract
  TIMEOUT 300
  ENVIRONMENT "MV_CLI=$<TARGET_FILE:melvigil-cli>")
