#include "PlayCommands.h"

#include "FileRules.h"
#include "ListItems.h"
#include "MPlayer.h"

namespace mv {

void BitBtn2Click(TListBoxStrings& list, TMediaPlayer& player) {
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

void BitBtn5Click(TMediaPlayer& player) { player.Stop(); }

}  // namespace mv
