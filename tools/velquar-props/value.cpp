#include <cstdio>

#include "render.h"

namespace {

// Exit statuses of --value beyond those of every mode.
const int kReadFailed = 3;
const int kUnknownProperty = 4;

}  // namespace

int printValue(FILE *out, const Reading &r, const std::vector<std::string> &output) {
    linesToStderr(r.output);
    linesToStderr(output);
    if (r.result != PROPERTY_OK) {
        fprintf(stderr, "velquar-props: %s: %s\n", r.name.c_str(), resultText(r.result).c_str());
        return r.result == PROPERTY_NOT_FOUND ? kUnknownProperty : kReadFailed;
    }
    // The value as it is, bytes and line feeds included, as getprop gives it.
    fwrite(r.value.data(), 1, r.value.size(), out);
    fputc('\n', out);
    return 0;
}
