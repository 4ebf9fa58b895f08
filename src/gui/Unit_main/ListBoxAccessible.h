// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1 for screen readers. Qt gives rows to its own item views only; TListBox draws its rows
// itself, so without this a screen reader sees an empty list. The list appears as a list whose
// children are its rows, each named by its entry, with selection and focus.

namespace mv {

// Registers the accessible interface of TListBox with Qt; idempotent.
void InstallListBoxAccessibility();

}  // namespace mv
