// The answers of a JSON document read back (velquar-props --compare, the
// golden answers of velquar-fleet) over arbitrary text.
#include <set>
#include <string>

#include "answers.h"
#include "fuzz_support.h"
#include "json_string.h"

namespace {

// The set written again as a document, as the programs write answers.
std::string document(const AnswerSet &set) {
    std::string out = "{\"format\": " + std::to_string(set.format) + ", \"libraryVersion\": " +
                      (set.hasLibraryVersion ? jsonString(set.libraryVersion) : "null") +
                      ", \"properties\": [";
    for (size_t i = 0; i < set.answers.size(); ++i) {
        const Answer &a = set.answers[i].second;
        out += (i ? ", {\"name\": " : "{\"name\": ") + jsonString(set.answers[i].first) + ", " +
               answerJson(&a).substr(1);
    }
    return out + "]}";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    AnswerSet set;
    std::string error;
    if (!parseAnswers(text, set, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    // An accepted document is of a known format, names each property once,
    // and has a value only where it says so.
    FUZZ_CHECK(set.format >= 1 && set.format <= kAnswersFormat);
    std::set<std::string> names;
    for (const auto &entry : set.answers) {
        FUZZ_CHECK(names.insert(entry.first).second);
        FUZZ_CHECK(entry.second.hasValue || (!entry.second.text && entry.second.value.empty()));
    }
    // Written again and read back, every answer is the same, bytes that
    // are not UTF-8 and NULs in its texts included.
    AnswerSet again;
    FUZZ_CHECK(parseAnswers(document(set), again, error));
    FUZZ_CHECK(compareAnswers(set, again).empty());
    FUZZ_CHECK(again.answers.size() == set.answers.size());
    FUZZ_CHECK(again.hasLibraryVersion == set.hasLibraryVersion);
    FUZZ_CHECK(again.libraryVersion == set.libraryVersion);
    for (size_t i = 0; i < set.answers.size(); ++i) {
        FUZZ_CHECK(again.answers[i].first == set.answers[i].first);
        FUZZ_CHECK(again.answers[i].second.result == set.answers[i].second.result);
    }
    return 0;
}
