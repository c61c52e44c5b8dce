// velquar-fleet: a library build checked against every recorded television.
//
// Each bundle that velquar-capture --bundle made is replayed with
// velquar-sim --bundle, and velquar-props --json reads its answers there,
// both programs from beside this one. record keeps those answers in the
// bundle as its golden answers; check compares them with the golden answers
// through the comparison velquar-props --compare uses (tools/common/answers.h)
// and reports, per model, what moved. Two bundles are replayed at a time.
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

#include "fleet.h"

namespace {

std::string folderName(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path.substr(path.rfind('/') + 1);
}

void handle(const Options &options, const std::string &bundle, Outcome &o) {
    o.bundle = folderName(bundle);
    if (!replay(bundle, options.library, o)) {
        return;
    }
    if (options.record) {
        writeGolden(bundle, o.document, o.error);
    } else if (readGolden(bundle, o.golden, o.error)) {
        o.differences = compareAnswers(o.golden, o.now);
    }
}

// The work, with standard output as the frame hands it over (null when it
// was not open).
int run(const Options &options, FILE *out) {
    if (!out) {
        fprintf(stderr, "velquar-fleet: cannot set standard output aside: %s\n", strerror(errno));
        return 1;
    }
    std::vector<Outcome> outcomes(options.bundles.size());
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i; (i = next++) < outcomes.size();) {
            handle(options, options.bundles[i], outcomes[i]);
        }
    };
    std::thread second(worker);
    worker();
    second.join();
    if (options.record) {
        return printRecord(out, outcomes);
    }
    return options.json ? printJsonReport(out, outcomes) : printTable(out, outcomes);
}

}  // namespace

int main(int argc, char **argv) {
    using namespace std::placeholders;
    Options options;
    return runProgram(kProgram, argc, argv, std::bind(takeOption, std::ref(options), _1, _2),
                      std::bind(takeOperands, std::ref(options), _1),
                      [&](FILE *out) { return run(options, out); });
}
