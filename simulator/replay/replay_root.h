// The replay's view of the machine: a user and mount namespace of its own
// in which the root is a new one, the machine's top-level folders bound in,
// the bundle's copies put at their paths and the shell answering the
// recorded command lines. Nothing outside the process is changed.
#ifndef VELQUAR_REPLAY_ROOT_H
#define VELQUAR_REPLAY_ROOT_H

#include <string>

#include "replay_bundle.h"

namespace velquar_replay {

// Where the replay keeps its own files in the new root: the state file, the
// configuration file beside it, the machine's shell.
constexpr const char kReplayFolder[] = "/.velquar-replay";
constexpr const char kReplayState[] = "/.velquar-replay/capture.state";
constexpr const char kReplayShell[] = "/.velquar-replay/sh";

// Makes the calling process, single-threaded, enter the replay's view, its
// working folder the same as before. shim is the program bound over the
// file /bin/sh resolves to. Empty on success; otherwise what could not be
// done, with the process not to run anything (its view may be half made).
std::string enterReplayRoot(const ReplayBundle &bundle, const std::string &shim);

}  // namespace velquar_replay

#endif
