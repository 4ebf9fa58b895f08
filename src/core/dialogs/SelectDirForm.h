// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The directory chooser's layout at 96 dots per inch, as data; each front end builds the dialog
// from it.

#include "utility/FormDescription.h"

namespace mv {

inline constexpr const char* kSelectDirCaption = "选择目录";
inline constexpr const char* kCreateDirQuestion = "指定的目录不存在. 创建吗?";

// The dialog "SelectDirDlg": centred, client area 424 x 255. The path label is stored at its
// own place and moved onto the directory edit's bounds when the dialog is created.
const TFormDesc& SelectDirDlgDesc();

}  // namespace mv
