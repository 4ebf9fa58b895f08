// SPDX-License-Identifier: GPL-3.0-or-later
// The play and stop buttons against the real player on GStreamer's fakesink.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "TestFiles.h"
#include "commands/PlayCommands.h"
#include "media/MPlayer.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

using test::TTempDir;
using test::WriteFile;

class PlayCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"one.wav", "two.wav"}) WriteFile(dir / n, test::SilentWav());
  }
  TTempDir dir;
  TQueueDispatcher dispatcher;
  TMemoryListItems list;
  TMediaPlayer player{dispatcher, CreateMediaDevice({"fakesink", {}})};
};

TEST_F(PlayCommandsTest, NothingHappensWithoutAPlayableCurrentEntry) {
  PlayCurrent(list, player);  // empty list
  list.Add(dir / "one.wav");
  list.SetItemIndex(-1);
  PlayCurrent(list, player);  // no current entry
  list.Add(dir / "gone.wav");
  list.SetItemIndex(1);
  PlayCurrent(list, player);  // the file is not there (any more)
  EXPECT_FALSE(player.Opened());
  EXPECT_EQ(player.FileName(), "");
}

TEST_F(PlayCommandsTest, PlaysTheCurrentEntryAndASecondReplacesTheFirst) {
  list.Add(dir / "one.wav");
  list.Add(dir / "two.wav");
  list.SetItemIndex(0);
  PlayCurrent(list, player);
  EXPECT_TRUE(player.Opened());
  EXPECT_EQ(player.FileName(), dir / "one.wav");
  list.SetItemIndex(1);
  PlayCurrent(list, player);
  EXPECT_TRUE(player.Opened());
  EXPECT_EQ(player.FileName(), dir / "two.wav");
  StopPlaying(player);
  EXPECT_NE(player.Mode(), mpPlaying);
  EXPECT_EQ(list.Count(), 2);
}

TEST_F(PlayCommandsTest, StopWithNothingOpenRaisesTheDeviceError) {
  EXPECT_THROW(StopPlaying(player), EMCIDeviceError);
}

TEST_F(PlayCommandsTest, AFileTheDeviceCannotOpenRaisesAndLeavesTheListAlone) {
  WriteFile(dir / "noise.mp3", std::string(4096, '\x01'));
  list.Add(dir / "noise.mp3");
  list.SetItemIndex(0);
  EXPECT_THROW(PlayCurrent(list, player), EMCIDeviceError);
  EXPECT_EQ(list.Count(), 1);
}

}  // namespace
}  // namespace mv
