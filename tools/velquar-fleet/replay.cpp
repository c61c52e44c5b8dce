// One bundle replayed: velquar-sim --bundle runs velquar-props --json on
// the recorded television, the document read from its standard output
// (bounded) and its last line of standard error kept for a failure.
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "file_io.h"
#include "fleet.h"
#include "printable.h"

extern char **environ;

namespace {

// The folder this program really lies in, where velquar-sim and
// velquar-props are installed beside it.
std::string ownFolder() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1);
}

// Reads the pipe to its end, keeping at most bound bytes (one more tells
// that there were more); the rest is drained so that the writer can end.
void readPipe(int fd, size_t bound, std::string &text) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        if (text.size() <= bound) {
            text.append(buffer, std::min(static_cast<size_t>(n), bound + 1 - text.size()));
        }
    }
}

// The last line the replay wrote on standard error, read back from its
// file, but for a pointer to the help after a usage error.
std::string lastLine(int fd) {
    std::string text;
    velquar::readText(fd, 65536, text);
    std::string last;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        last = line.empty() || line.compare(0, 5, "Try '") == 0 ? last : line;
        at = end + 1;
    }
    return printable(last);
}

bool fail(Outcome &outcome, const std::string &why) {
    outcome.error = why;
    return false;
}

}  // namespace

bool replay(const std::string &bundle, const std::string &library, Outcome &outcome) {
    const std::string folder = ownFolder();
    const std::string sim = folder + "velquar-sim", props = folder + "velquar-props";
    std::vector<const char *> argv = {sim.c_str(), "--bundle", bundle.c_str(), "--", props.c_str(),
                                      "--json",    "-q"};
    if (!library.empty()) {
        argv.insert(argv.end(), {"--library", library.c_str()});
    }
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return fail(outcome, std::string("cannot make a pipe: ") + strerror(errno));
    }
    const int err = memfd_create("velquar-fleet-stderr", MFD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (err >= 0) {
        posix_spawn_file_actions_adddup2(&actions, err, 2);
    }
    pid_t pid = -1;
    const int spawned = err < 0 ? errno
                                : posix_spawn(&pid, sim.c_str(), &actions, nullptr,
                                              const_cast<char *const *>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string document;
    int status = 0;
    if (spawned == 0) {
        readPipe(out[0], kAnswersMaxBytes, document);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    close(out[0]);
    const std::string said = err >= 0 ? lastLine(err) : std::string();
    if (err >= 0) {
        close(err);
    }
    if (spawned != 0) {
        return fail(outcome, "cannot run " + printable(sim) + ": " + strerror(spawned));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        const std::string how = WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                                  : "signal " + std::to_string(WTERMSIG(status));
        return fail(outcome, "the replay failed (" + how + ")" + (said.empty() ? "" : ": " + said));
    }
    if (document.size() > kAnswersMaxBytes) {
        return fail(outcome, "the replay's document is larger than " +
                                 std::to_string(kAnswersMaxBytes) + " bytes");
    }
    std::string why;
    if (!parseAnswers(document, outcome.now, why)) {
        return fail(outcome, "the replay's document cannot be read: " + why);
    }
    outcome.document = document;
    const Answer *model = outcome.now.find("modelName");
    outcome.model = model && model->hasValue ? model->value : std::string();
    return true;
}
