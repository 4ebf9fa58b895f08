// SPDX-License-Identifier: GPL-3.0-or-later
#include <pthread.h>
#include <signal.h>

#include "cli/StopSignal.h"

namespace mv::cli {

namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void CatchStopSignals() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void WaitForStop() {
  const sigset_t set = StopSet();
  int sig = 0;
  sigwait(&set, &sig);
}

}  // namespace mv::cli
