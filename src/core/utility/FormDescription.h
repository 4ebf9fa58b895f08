// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A window's stored description as plain data: every control with its class role, parent,
// bounds, texts, colours, font, tab order and the command its click runs. Each front end builds
// its widgets from it, so the window looks and behaves the same whichever toolkit draws it.

#include <cstdint>
#include <string>
#include <vector>

namespace mv {

// What kind of control a row describes; each front end maps it to one widget class.
enum class TControlRole : std::uint8_t {
  CoolBar,
  Panel,
  Label,
  Edit,
  CheckBox,
  Button,
  MediaPlayer,
  ListBox,
  PathLabel,         // a label showing a path, shortened to fit
  DirectoryListBox,  // the folder tree of the current path
  FileListBox,       // the files of the shown folder
  DriveComboBox,
};

// What a control's click or double click asks the program to do.
enum class TCommand : std::uint8_t {
  None,
  OpenHomePage,
  StartOrStopWatching,
  PlayCurrent,
  StopPlaying,
  SaveSelected,
  RenameAll,
  Accept,    // a dialog's OK
  Reject,    // a dialog's Cancel
  ShowHelp,  // a dialog's Help
  ConnectNetworkDrive,
};

// Left, top, width, height in pixels at 96 dots per inch, relative to the parent's client area.
struct TBounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const TBounds&, const TBounds&) = default;
};

// A colour: the parent's (Default), a system colour, or red/green/blue.
struct TColor {
  enum class TKind : std::uint8_t { Default, Rgb, ButtonFace, WindowText, GrayText };
  TKind kind = TKind::Default;
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const TColor&, const TColor&) = default;
};

inline constexpr TColor kClPurple{TColor::TKind::Rgb, 0x80, 0x00, 0x80};
inline constexpr TColor kClBlue{TColor::TKind::Rgb, 0x00, 0x00, 0xFF};
inline constexpr TColor kClBtnFace{TColor::TKind::ButtonFace};
inline constexpr TColor kClWindowText{TColor::TKind::WindowText};
inline constexpr TColor kClGrayText{TColor::TKind::GrayText};

// An empty family means the parent's font (pixel height 0 likewise).
struct TFontDesc {
  std::string family{};
  int pixelHeight = 0;
  bool underline = false;
};

enum class TBevel : std::uint8_t { None, Lowered };
enum class TCursor : std::uint8_t { Default, HandPoint };

struct TControlDesc {
  std::string name{};
  TControlRole role = TControlRole::Label;
  std::string parent{};  // the form's name for top-level controls
  TBounds bounds{};
  std::string caption{};  // a label's, button's or check box's caption; an edit's text
  std::string hint{};
  int tabOrder = -1;  // among the parent's controls; -1: not a tab stop
  TColor color{};     // text colour
  TFontDesc font{};
  TCursor cursor = TCursor::Default;
  bool visible = true;
  // The label sizes itself to its caption: only its position is fixed.
  bool autoSize = false;
  // The control a label hands the focus to (its mnemonic's target).
  std::string focusControl{};
  TBevel bevelOuter = TBevel::None;
  int itemHeight = 0;  // list boxes
  bool multiSelect = false;
  bool isDefault = false;  // a dialog's Enter button
  bool isCancel = false;   // a dialog's Esc button
  // A cool bar band holding this control: the band's width and minimum height.
  int bandWidth = 0;
  int bandMinHeight = 0;
  TCommand onClick = TCommand::None;
  TCommand onDblClick = TCommand::None;
};

struct TFormDesc {
  std::string name{};
  std::string caption{};
  TBounds bounds{};  // position on the screen and client size
  TColor color{};
  TFontDesc font{};
  bool showHint = false;
  bool centred = false;  // centred on the screen instead of at bounds' position
  // Parent first; a parent's controls in the order they are created.
  std::vector<TControlDesc> controls{};

  // The row of that name; an unknown name raises Exception (a fault of the caller).
  const TControlDesc& Control(const std::string& controlName) const;
  // The controls of one parent that are tab stops, by their tab order; parents in the order
  // they appear in the table.
  std::vector<const TControlDesc*> TabChain() const;
};

}  // namespace mv
