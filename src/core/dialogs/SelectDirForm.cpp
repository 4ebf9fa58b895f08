// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SelectDirForm.h"

namespace mv {

namespace {

constexpr const char* kDialog = "SelectDirDlg";

TControlDesc Caption(const char* name, int left, int top, int width, const char* caption,
                     const char* focusControl) {
  return {.name = name,
          .role = TControlRole::Label,
          .parent = kDialog,
          .bounds = {left, top, width, 13},
          .caption = caption,
          .autoSize = true,
          .focusControl = focusControl};
}

TControlDesc Button(const char* name, int left, const char* caption, int tabOrder,
                    TCommand onClick) {
  return {.name = name,
          .role = TControlRole::Button,
          .parent = kDialog,
          .bounds = {left, 224, 77, 27},
          .caption = caption,
          .tabOrder = tabOrder,
          .onClick = onClick};
}

TFormDesc Build() {
  TFormDesc d;
  d.name = kDialog;
  d.caption = kSelectDirCaption;
  d.bounds = {0, 0, 424, 255};
  d.centred = true;
  TControlDesc ok = Button("OKButton", 172, "确定", 4, TCommand::Accept);
  ok.isDefault = true;
  TControlDesc cancel = Button("CancelButton", 256, "取消", 5, TCommand::Reject);
  cancel.isCancel = true;
  TControlDesc net = Button("NetButton", 8, "网络[&t]...", 3, TCommand::ConnectNetworkDrive);
  // Shown only where the platform has a network-connection dialog.
  net.visible = false;
  d.controls = {
      Caption("DirNameCaption", 8, 8, 92, "目录名[&N]:", "DirEdit"),
      {.name = "DirLabel",
       .role = TControlRole::PathLabel,
       .parent = kDialog,
       .bounds = {120, 8, 213, 13}},
      // Shown only when the user may type a folder that does not exist yet.
      {.name = "DirEdit",
       .role = TControlRole::Edit,
       .parent = kDialog,
       .bounds = {8, 24, 313, 20},
       .tabOrder = 1,
       .visible = false},
      Caption("DirCaption", 8, 56, 66, "目录[&D]:", "DirList"),
      {.name = "DirList",
       .role = TControlRole::DirectoryListBox,
       .parent = kDialog,
       .bounds = {8, 72, 213, 138},
       .tabOrder = 0,
       .itemHeight = 17},
      Caption("FileCaption", 232, 56, 57, "文件[&F]: (*.*)", "FileList"),
      {.name = "FileList",
       .role = TControlRole::FileListBox,
       .parent = kDialog,
       .bounds = {232, 72, 185, 93},
       .tabOrder = 6,
       .color = kClGrayText,
       .itemHeight = 13},
      Caption("DriveCaption", 232, 176, 41, "磁盘驱动器[D&]:", "DriveList"),
      {.name = "DriveList",
       .role = TControlRole::DriveComboBox,
       .parent = kDialog,
       .bounds = {232, 192, 185, 19},
       .tabOrder = 2},
      net,
      ok,
      cancel,
      Button("HelpButton", 340, "帮助[&H]", 7, TCommand::ShowHelp),
  };
  return d;
}

}  // namespace

const TFormDesc& SelectDirDlgDesc() {
  static const TFormDesc desc = Build();
  return desc;
}

}  // namespace mv
