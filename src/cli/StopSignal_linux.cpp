// SPDX-License-Identifier: GPL-3.0-or-later
#include <pthread.h>
#include <signal.h>
#include <time.h>

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

bool WaitForStop(int timeoutMs) {
  const sigset_t set = StopSet();
  if (timeoutMs < 0) {
    int sig = 0;
    return sigwait(&set, &sig) == 0;
  }
  const timespec ts{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1'000'000};
  return sigtimedwait(&set, nullptr, &ts) > 0;
}

}  // namespace mv::cli
