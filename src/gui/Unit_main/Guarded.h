// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Errors are C++ exceptions and must never unwind through Qt's own frames. Every entry point from
// Qt into this program (a connected slot, a timer tick, a posted task, an event override) runs its
// body through Guarded / RunGuarded, which hands whatever escapes to the application's error box;
// TApplication::notify is the last line behind them.

#include <concepts>
#include <utility>

#include "dialogs/ErrorBox.h"

namespace mv {

// Wraps a handler for QObject::connect: the returned callable takes the signal's arguments,
// forwards them to fn and routes an escaping error to the error box.
template <class Fn>
auto Guarded(Fn fn) {
  // Constrained, so that Qt's connect can find out how many of the signal's arguments fn takes.
  return [fn = std::move(fn)](
      auto&&... args) mutable requires std::invocable<Fn&, decltype(args)...> {
    RunGuarded([&] { fn(std::forward<decltype(args)>(args)...); });
  };
}

}  // namespace mv
