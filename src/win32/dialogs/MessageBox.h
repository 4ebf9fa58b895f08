// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Information for the user (the outcome of a copy).

#include <functional>
#include <string>

namespace mv {

inline constexpr const char* kInfoCaption = "提示";

// A system message box: caption "提示", the information icon, one OK button. It disables no
// window of its own accord; its answer is ignored. text may be UTF-8 or ANSI (AnsiText).
void ShowInfoMessage(const std::string& text);

namespace testing {
// When set, no box is shown; the capture receives the caption and the text (ANSI) instead.
using InfoMessageCapture = std::function<void(const std::string& caption, const std::string& text)>;
void SetInfoMessageCapture(InfoMessageCapture capture);
}  // namespace testing

}  // namespace mv
