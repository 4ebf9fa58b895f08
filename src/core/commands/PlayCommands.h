// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The play and stop buttons. Errors of the player (EMCIDeviceError) escape to the caller's
// error box; the list is never changed.

namespace mv {

class TListBoxStrings;
class TMediaPlayer;

// Plays the current entry (the list's item index): nothing with an empty list, with no current
// entry (index < 0) or when the entry's file is gone; otherwise Close, FileName := entry, Open,
// Play. Call on the main thread.
void BitBtn2Click(TListBoxStrings& list, TMediaPlayer& player);
// Double-clicking the list does the same as the play button.
inline void ListBox1DblClick(TListBoxStrings& list, TMediaPlayer& player) {
  BitBtn2Click(list, player);
}
// Stops playback; raises like TMediaPlayer::Stop when nothing is open.
void BitBtn5Click(TMediaPlayer& player);

}  // namespace mv
