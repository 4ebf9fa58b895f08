// SPDX-License-Identifier: GPL-3.0-or-later
// window_probe TITLE: prints "WIDTHxHEIGHT" of the client area of the top-level window with
// that title, as Windows reports it; exits 1 when there is none.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const HWND window = FindWindowA(nullptr, argv[1]);
  RECT client{};
  if (window == nullptr || !GetClientRect(window, &client)) return 1;
  std::printf("%ldx%ld\n", client.right, client.bottom);
  return 0;
}
