// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// GStreamer starts once per process, for whichever of the player and the details reader needs
// it first. The definition lives beside the player's device together with the leak checker's
// rules for GLib, so every program that starts GStreamer through this library gets those rules.

namespace mv {

void EnsureGstInitialized();

}  // namespace mv
