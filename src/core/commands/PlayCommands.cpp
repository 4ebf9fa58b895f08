// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/PlayCommands.h"

#include "media/MPlayer.h"
#include "utility/FileRules.h"
#include "utility/ListItems.h"

namespace mv {

void PlayCurrent(TListBoxStrings& list, TMediaPlayer& player) {
  if (list.Count() == 0) return;
  const int index = list.ItemIndex();
  if (index < 0) return;
  const std::string entry = list.Get(index);
  if (!FileIsPresent(entry)) return;
  player.Close();
  player.SetFileName(entry);
  player.Open();
  player.Play();
}

void StopPlaying(TMediaPlayer& player) { player.Stop(); }

}  // namespace mv
