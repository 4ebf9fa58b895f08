// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An invariant that must hold for every input: when it does not, the fuzzer keeps the input
// as a crash and its message says which.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (false)
