// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The play and stop buttons. Errors of the player (EMCIDeviceError) escape to the caller's
// error box; the list is never changed.

namespace mv {

class TListBoxStrings;
class TMediaPlayer;

// Plays the current entry (the list's item index): nothing with an empty list, with no current
// entry (index < 0) or when the entry's file is gone; otherwise Close, FileName := entry, Open,
// Play. Call on the main thread. The play button and a double click on the list both do this.
void PlayCurrent(TListBoxStrings& list, TMediaPlayer& player);
// Stops playback; raises like TMediaPlayer::Stop when nothing is open.
void StopPlaying(TMediaPlayer& player);

}  // namespace mv
