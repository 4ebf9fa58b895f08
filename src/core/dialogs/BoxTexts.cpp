// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/BoxTexts.h"

#include "utility/ErrorText.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

std::string ApplicationTitle(const std::string& exePath) {
  std::string title = NameOnly(exePath);
  if (const std::string::size_type dot = title.find('.'); dot != std::string::npos) {
    title.resize(dot);
  }
  for (std::string::size_type i = 1; i < title.size(); ++i) {
    if (title[i] >= 'A' && title[i] <= 'Z') title[i] = static_cast<char>(title[i] - 'A' + 'a');
  }
  return title;
}

std::optional<std::string> ErrorBoxText(const std::exception& error) {
  if (dynamic_cast<const EAbort*>(&error) != nullptr) return std::nullopt;
  return ErrorMessageText(error.what());
}

std::optional<std::string> ErrorBoxText(std::exception_ptr error) {
  if (!error) return std::nullopt;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return ErrorBoxText(e);
  } catch (...) {
    return "程序发生了无法识别的错误.";
  }
}

}  // namespace mv
