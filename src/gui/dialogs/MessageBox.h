// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Information for the user (the outcome of a copy, for example).

#include <functional>
#include <string>

namespace mv {

// A modal information box: caption "提示", the information icon and a single OK button.
// The result of the box is ignored.
void ShowInfoMessage(const std::string& text);

// The caption of ShowInfoMessage's box.
inline constexpr const char* kInfoCaption = "提示";

namespace testing {
// When set, no box is shown; the capture receives the caption and the text instead.
// Pass an empty function to show real boxes again.
using InfoMessageCapture = std::function<void(const std::string& caption, const std::string& text)>;
void SetInfoMessageCapture(InfoMessageCapture capture);
}  // namespace testing

}  // namespace mv
