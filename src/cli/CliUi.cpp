// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliUi.h"

#include <cstdio>

#include "utility/ErrorText.h"

namespace mv::cli {

bool TCliUi::ExecuteSaveDialog(std::string& /*fileName*/) { return false; }

bool TCliUi::ChooseDirectory(std::string& /*dir*/) { return false; }

void TCliUi::ShowInfoMessage(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void TCliUi::RunWithProgress(int /*total*/, const std::function<void(TProgress&)>& work) {
  TDirectProgress progress;
  work(progress);
}

void TCliUi::ShowError(const std::exception& error) {
  failed_ = true;
  std::fprintf(stderr, "melvigil-cli: %s\n", ErrorMessageText(error.what()).c_str());
}

void TCliUi::ShowNotice(const std::string& text) {
  std::fprintf(stderr, "melvigil-cli: %s\n", text.c_str());
}

}  // namespace mv::cli
