// SPDX-License-Identifier: GPL-3.0-or-later
// The list menu on a real list box under Wine: the menu opens on WM_CONTEXTMENU with the five
// items, a right click takes the row it hits, and the actions reach the clipboard, the list and
// Explorer (recorded) with the core's rules. The menu's choice and Explorer's start are the
// test's seams; everything else is the system's.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "Unit_main/ListBox.h"
#include "Unit_main/ListMenu.h"
#include "WinClipboardText.h"
#include "WinTempDir.h"
#include "dialogs/AnsiText.h"
#include "dialogs/BoxTexts.h"

namespace mv {
namespace {

class ListMenuWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent_, nullptr);
    HWND box = CreateWindowExA(0, "LISTBOX", "", TListBox::kStyle, 0, 0, 300, 200, parent_, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(box, nullptr);
    list_ = std::make_unique<TListBox>(box);
    for (const char* name : {"a.mp3", "b c.mp3"}) test::WriteFile(dir_.Dir() + name, name);
    for (const char* name : {"a.mp3", "b c.mp3", "gone.mp3"}) list_->Add(dir_.Dir() + name);
    menu_ = std::make_unique<TWin32ListMenu>(*list_, [this] { ++plays_; });
    menu_->Launch = [this](const std::string& program, const std::string& parameters) {
      launched_.push_back(program + " " + parameters);
      return true;
    };
    menu_->Track = [this](HMENU menu, POINT) {
      captions_.clear();
      enabled_.clear();
      for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        captions_.push_back(test::Utf8(text));
        enabled_.push_back((GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) ==
                           0);
      }
      return choice_;
    };
    testing::SetInfoMessageCapture(
        [this](const std::string&, const std::string& text) { notices_.push_back(text); });
  }
  void TearDown() override {
    testing::SetInfoMessageCapture({});
    menu_.reset();
    DestroyWindow(parent_);
  }

  void Select(std::initializer_list<int> rows) {
    SendMessageA(list_->Handle(), LB_SETSEL, FALSE, -1);
    for (int row : rows) SendMessageA(list_->Handle(), LB_SETSEL, TRUE, row);
  }
  // The menu from the keyboard, choosing the item of action.
  void ChooseFromKeyboard(TEntryAction action) {
    choice_ = static_cast<UINT>(action) + 1;
    SendMessageA(list_->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_->Handle()),
                 MAKELPARAM(-1, -1));
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < list_->Count(); ++i) out.push_back(list_->Get(i));
    return out;
  }

  test::TTempDir dir_;
  HWND parent_ = nullptr;
  std::unique_ptr<TListBox> list_;
  std::unique_ptr<TWin32ListMenu> menu_;
  UINT choice_ = 0;
  int plays_ = 0;
  std::vector<std::string> captions_;
  std::vector<bool> enabled_;
  std::vector<std::string> launched_;
  std::vector<std::string> notices_;
};

TEST_F(ListMenuWindows, MenuOffersFiveItemsAndCopiesTheSelectedPaths) {
  Select({0, 2});
  list_->SetItemIndex(0);
  ChooseFromKeyboard(TEntryAction::CopyPaths);
  EXPECT_EQ(captions_, (std::vector<std::string>{"播放", "打开所在文件夹", "复制路径",
                                                 "从列表中移除", "移到回收站"}));
  EXPECT_EQ(enabled_, (std::vector<bool>{true, true, true, true, true}));
  EXPECT_EQ(test::ClipboardText(parent_), dir_.Dir() + "a.mp3\r\n" + dir_.Dir() + "gone.mp3");

  // With nothing selected only 播放 is offered (a list box always has a caret row), and it
  // plays only a file that is there.
  Select({});
  list_->SetItemIndex(0);
  ChooseFromKeyboard(TEntryAction::Play);
  EXPECT_EQ(enabled_, (std::vector<bool>{true, false, false, false, false}));
  EXPECT_EQ(plays_, 1);
  list_->SetItemIndex(2);
  ChooseFromKeyboard(TEntryAction::Play);
  EXPECT_EQ(plays_, 1);
  EXPECT_EQ(notices_,
            (std::vector<std::string>{AnsiText("文件已不存在：") + dir_.Dir() + "gone.mp3"}));
}

TEST_F(ListMenuWindows, RemoveTakesTheSelectedEntriesOnly) {
  Select({0, 2});
  ChooseFromKeyboard(TEntryAction::RemoveFromList);
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir_.Dir() + "b c.mp3"}));
  EXPECT_NE(GetFileAttributesA((dir_.Dir() + "a.mp3").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ListMenuWindows, ShowInFolderSelectsTheFileInExplorerAndNamesAVanishedOne) {
  Select({1, 2});
  ChooseFromKeyboard(TEntryAction::ShowInFolder);
  EXPECT_EQ(launched_,
            (std::vector<std::string>{"explorer.exe /select,\"" + dir_.Dir() + "b c.mp3\""}));
  EXPECT_EQ(notices_,
            (std::vector<std::string>{AnsiText("文件已不存在：") + dir_.Dir() + "gone.mp3"}));
}

TEST_F(ListMenuWindows, RightClickTakesTheRowItHits) {
  Select({0});
  RECT row{};
  SendMessageA(list_->Handle(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
  SendMessageA(list_->Handle(), WM_RBUTTONDOWN, MK_RBUTTON,
               MAKELPARAM(row.left + 2, (row.top + row.bottom) / 2));
  SendMessageA(list_->Handle(), WM_RBUTTONUP, 0,
               MAKELPARAM(row.left + 2, (row.top + row.bottom) / 2));
  EXPECT_FALSE(list_->Selected(0));
  EXPECT_TRUE(list_->Selected(1));
  EXPECT_EQ(list_->ItemIndex(), 1);
  // Within the selection, a right click keeps it whole.
  Select({0, 1});
  SendMessageA(list_->Handle(), WM_RBUTTONDOWN, MK_RBUTTON,
               MAKELPARAM(row.left + 2, (row.top + row.bottom) / 2));
  EXPECT_EQ(list_->SelCount(), 2);
}

// LB_ITEMFROMPOINT's 16-bit index would name row 4 for row 65,540.
TEST_F(ListMenuWindows, ARightClickFarDownTheListTakesTheRowItHits) {
  const int rows = 65542;
  const HWND box = list_->Handle();
  SendMessageA(box, LB_INITSTORAGE, rows, rows * 16);
  SendMessageA(box, WM_SETREDRAW, FALSE, 0);
  // Straight to the list box: the row is all that matters here.
  for (int i = list_->Count(); i < rows; ++i)
    SendMessageA(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("C:\\m\\x.mp3"));
  SendMessageA(box, WM_SETREDRAW, TRUE, 0);
  SendMessageA(box, LB_SETTOPINDEX, rows - 3, 0);
  RECT row{};
  ASSERT_NE(SendMessageA(box, LB_GETITEMRECT, rows - 2, reinterpret_cast<LPARAM>(&row)), LB_ERR);
  SendMessageA(box, WM_RBUTTONDOWN, MK_RBUTTON,
               MAKELPARAM(row.left + 2, (row.top + row.bottom) / 2));
  EXPECT_EQ(list_->ItemIndex(), rows - 2);
  EXPECT_TRUE(list_->Selected(rows - 2));
  EXPECT_EQ(list_->SelCount(), 1);
}

}  // namespace
}  // namespace mv
