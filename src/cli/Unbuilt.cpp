// Scaffolding while subcommands are being written: a subcommand whose file is not there yet
// answers with a clear message. Each real definition overrides these weak ones.
#include "Cli.h"

namespace mv::cli {
#define MV_UNBUILT(name) \
  __attribute__((weak)) int name(const Args&) { return Usage(#name " is not available"); }
MV_UNBUILT(Watch)
MV_UNBUILT(List)
MV_UNBUILT(Play)
MV_UNBUILT(Guess)
MV_UNBUILT(Rename)
MV_UNBUILT(Copy)
}  // namespace mv::cli
