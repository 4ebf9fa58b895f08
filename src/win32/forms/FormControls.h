// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Native controls made from a stored form description: one window class and style per control
// role, the description's bounds grown from 96 dots per inch to the screen's, its captions,
// visibility, item heights, cool bar bands and tab order. The main window and the directory
// chooser are both built through here, so they follow one set of rules.

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "utility/FormDescription.h"

namespace mv {

inline constexpr int kDesignDpi = 96;

// The screen's pixels per inch, as the system reports it to this process (96 if unknown).
int ScreenDpi();

// A length of the 96-dpi layout at dpi, rounded to the nearest pixel (halves away from zero).
inline int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, kDesignDpi); }
TBounds Scaled(const TBounds& bounds, int dpi);

// A description's colour as a Windows colour; the parent's (Default) is the window's text
// colour, as every control here is drawn on its parent's face.
COLORREF ColorRef(const TColor& color);

struct TControlFactory {
  int dpi = kDesignDpi;
  // The font of a control's window; null leaves the system's.
  std::function<HFONT(const TControlDesc&)> fontFor;
  // The identifier a control reports in WM_COMMAND; 0 when nobody asks for it.
  std::function<int(const TControlDesc&)> idFor;
  // The window class of panels, registered by the window that holds them.
  const char* panelClass = nullptr;
};

// Makes the windows of form's controls in the description's order, the form itself being host,
// and gives each parent's children the description's tab order (labels just before the control
// their mnemonic moves to). Returns them by name; media players have no window. Raises
// EOutOfResources when the system makes no window.
std::map<std::string, HWND> CreateFormControls(const TFormDesc& form, HWND host,
                                               const TControlFactory& factory);

// Moves window to the middle of the screen (each half rounded towards zero) with its size
// width x height (unless flags hold SWP_NOSIZE).
void CentreOnScreen(HWND window, int width, int height, UINT flags);

// A control's text, ANSI bytes as the window keeps them.
std::string WindowText(HWND control);

}  // namespace mv
