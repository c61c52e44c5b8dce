// velquar-replay-shell: in a replay's view it takes the place of the file
// /bin/sh resolves to. "sh -c LINE" with LINE a recorded command line
// prints the recorded output and ends with status 0; anything else runs the
// machine's own shell, bound into the view, with the same arguments.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "file_io.h"
#include "replay_bundle.h"
#include "replay_records.h"
#include "replay_root.h"

using namespace velquar_replay;

namespace {

// The recorded output of line, false when it is not recorded.
bool recorded(const char *line, std::string &output) {
    const int fd = open(kReplayState, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::string state;
    const velquar::ReadEnd end = velquar::readText(fd, kMaxStateSize, state);
    close(fd);
    ReplayRecords records;
    if (end != velquar::ReadEnd::Whole || !readReplayRecords(state, records).empty()) {
        return false;
    }
    auto it = records.shell.find(line);
    if (it == records.shell.end()) {
        return false;
    }
    output = it->second;
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    std::string output;
    if (argc == 3 && strcmp(argv[1], "-c") == 0 && recorded(argv[2], output)) {
        // A reader that stops early (the library reads one line) ends the write.
        signal(SIGPIPE, SIG_IGN);
        velquar::writeAll(STDOUT_FILENO, output.data(), output.size());
        return 0;
    }
    execv(kReplayShell, argv);
    fprintf(stderr, "sh: cannot run the shell %s in the replay\n", kReplayShell);
    return 127;
}
