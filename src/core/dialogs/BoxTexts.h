// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the error box and the information box show, the same in every window; each window keeps
// only its toolkit's calls. Every error that escapes an event handler ends that one command and
// is shown in the error box; the program then goes on with whatever state the handler left.

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace mv {

// The information box's caption.
inline constexpr const char* kInfoCaption = "提示";

// The caption of the error box: the executable's file name without its folder, cut at its first
// ".", first character kept and every later ASCII letter lower-cased ("/x/MELVIGIL.EXE" ->
// "Melvigil").
std::string ApplicationTitle(const std::string& exePath);

// The error box's text for an error: its message worded by ErrorMessageText, a fixed last-chance
// text for a thrown object that is not a std::exception; none for an EAbort (a silent error) or
// no error at all.
std::optional<std::string> ErrorBoxText(const std::exception& error);
std::optional<std::string> ErrorBoxText(std::exception_ptr error);

// Each window shows the boxes with its toolkit. The information box: caption kInfoCaption, the
// information icon and one OK button; its answer is ignored.
void ShowInfoMessage(const std::string& text);
// The error box: ErrorBoxText(e) with the error icon and the application title as its caption;
// an EAbort shows nothing. Whatever holds the mouse gives it up first.
void ShowErrorBox(const std::exception& e);
// ShowErrorBox for an escaped error (the catch-alls); never throws.
void HandleEscapedException(std::exception_ptr error) noexcept;

// Runs handler; whatever escapes it goes to the error box and the caller carries on.
template <class Handler>
void RunGuarded(Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (...) {
    HandleEscapedException(std::current_exception());
  }
}

namespace testing {
// When set, the box is not shown; the capture receives the caption and the text it would have
// shown. Pass an empty function to show real boxes again.
using TBoxCapture = std::function<void(const std::string& caption, const std::string& text)>;
}  // namespace testing

namespace detail {
// The captures the boxes hand their caption and text to instead, when set.
inline testing::TBoxCapture errorBoxCapture;
inline testing::TBoxCapture infoMessageCapture;
}  // namespace detail

namespace testing {
inline void SetErrorBoxCapture(TBoxCapture capture) {
  detail::errorBoxCapture = std::move(capture);
}
inline void SetInfoMessageCapture(TBoxCapture capture) {
  detail::infoMessageCapture = std::move(capture);
}
}  // namespace testing

}  // namespace mv
