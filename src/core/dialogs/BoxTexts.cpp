// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/BoxTexts.h"

#include "utility/ErrorText.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

std::string ApplicationTitle(const std::string& exePath) {
  const std::string name = NameOnly(exePath);
  std::string title = name.substr(0, name.find('.'));
  if (title.size() > 1) title = title.front() + AsciiLower(std::string_view(title).substr(1));
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
