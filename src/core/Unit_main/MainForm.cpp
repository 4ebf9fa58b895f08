// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/MainForm.h"

namespace mv {

namespace {

TControlDesc Button(const char* name, int left, const char* caption, const char* hint, int tabOrder,
                    TCommand onClick) {
  return {.name = name,
          .role = TControlRole::Button,
          .parent = "Panel2",
          .bounds = {left, 83, 87, 38},
          .caption = caption,
          .hint = hint,
          .tabOrder = tabOrder,
          .onClick = onClick};
}

TControlDesc Label(const char* name, TBounds bounds, const char* caption) {
  return {.name = name,
          .role = TControlRole::Label,
          .parent = "Panel2",
          .bounds = bounds,
          .caption = caption};
}

TMainFormDesc Build() {
  TMainFormDesc d;
  d.form.name = "Form_main";
  d.form.caption = "Melvigil";
  d.form.bounds = {192, 114, 688, 446};
  d.form.color = kClBtnFace;
  d.form.font = {kSongFamily, 16, false};
  d.form.showHint = true;

  TControlDesc label3 = Label("Label3", {22, 9, 152, 19}, "做软件，找Orvel！");
  label3.color = kClPurple;
  label3.font = {kSongFamily, 19, false};
  TControlDesc label4 = Label("Label4", {413, 8, 144, 16}, "下载更多的免费软件");
  label4.color = kClBlue;
  label4.font = {kSongFamily, 16, true};
  label4.cursor = TCursor::HandPoint;
  label4.onClick = TCommand::OpenHomePage;

  d.form.controls = {
      {.name = "CoolBar1",
       .role = TControlRole::CoolBar,
       .parent = "Form_main",
       .bounds = {0, 0, 688, 139}},
      // Panel2 is the band's control; its bounds are inside the band.
      {.name = "Panel2",
       .role = TControlRole::Panel,
       .parent = "CoolBar1",
       .bounds = {-9, -3, 671, 134},
       .bevelOuter = TBevel::None,
       .bandWidth = 684,
       .bandMinHeight = 134},
      label3,
      label4,
      Label("Label1", {9, 51, 64, 16}, "监视音乐"),
      {.name = "Edit1",
       .role = TControlRole::Edit,
       .parent = "Panel2",
       .bounds = {94, 47, 159, 24},
       .caption = kDefaultMask,
       .tabOrder = 3},
      Label("Label2", {271, 51, 64, 16}, "监视磁盘"),
      {.name = "Edit2",
       .role = TControlRole::Edit,
       .parent = "Panel2",
       .bounds = {345, 47, 108, 24},
       .caption = DefaultWatchedDir(),
       .tabOrder = 4},
      {.name = "CheckBox1",
       .role = TControlRole::CheckBox,
       .parent = "Panel2",
       .bounds = {473, 46, 173, 32},
       .caption = "监视所有创建文件",
       .tabOrder = 5},
      Button("BitBtn1", 82, kCaptionStartWatching, "开始监视是否有音乐下载", 2,
             TCommand::StartOrStopWatching),
      Button("BitBtn2", 200, "播放音乐", "播放你选择的音乐", 0, TCommand::PlayCurrent),
      Button("BitBtn5", 318, "停止播放", "停止播放", 8, TCommand::StopPlaying),
      Button("BitBtn4", 436, "自动更名", "如果音乐扩展名被隐藏，可以改回来", 7,
             TCommand::RenameAll),
      Button("BitBtn3", 555, "另存为", "把音乐另存为", 1, TCommand::SaveSelected),
      {.name = "MediaPlayer1",
       .role = TControlRole::MediaPlayer,
       .parent = "Panel2",
       .bounds = {410, 130, 253, 20},
       .tabOrder = 6,
       .visible = false},
      // Aligned to fill the client area below CoolBar1.
      {.name = "Panel1",
       .role = TControlRole::Panel,
       .parent = "Form_main",
       .bounds = {0, 139, 688, 307},
       .bevelOuter = TBevel::Lowered},
      // Aligned to fill Panel1 inside its bevel.
      {.name = "ListBox1",
       .role = TControlRole::ListBox,
       .parent = "Panel1",
       .bounds = {1, 1, 686, 305},
       .tabOrder = 0,
       .itemHeight = 16,
       .multiSelect = true,
       .onDblClick = TCommand::PlayCurrent},
  };

  d.FileSystemWatcher1 = {.actived = false,
                          .watchedDir = DefaultWatchedDir(),
                          .watchSubTree = true,
                          .notifyFilters = {TNotifyFilter::nfFileNameChange}};
  d.Timer1 = {.enabled = true, .interval = 1000};
  d.SaveDialog1 = {.filter = "音乐|*.*"};
  return d;
}

}  // namespace

const TMainFormDesc& Form_mainDesc() {
  static const TMainFormDesc desc = Build();
  return desc;
}

}  // namespace mv
