#include "command_line.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

CommandLine::CommandLine(const char *program, int argc, char **argv, std::vector<OptionEntry> known)
    : m_program(program), m_argc(argc), m_argv(argv), m_known(std::move(known)) {
    // A leading ':' tells a missing value (':') from an unknown option ('?').
    m_short = ":";
    for (const OptionEntry &s : m_known) {
        m_long.push_back(
            option{s.name, s.argument ? required_argument : no_argument, nullptr, s.id});
        if (s.letter) {
            m_short += s.letter;
            m_short += s.argument ? ":" : "";
        }
    }
    m_long.push_back(option{nullptr, 0, nullptr, 0});
    optind = 0;  // a fresh scan, with GNU's initialisation
    opterr = 0;  // the messages are ours
}

void CommandLine::error(const char *format, ...) const {
    va_list args;
    va_start(args, format);
    const std::string line = std::string(m_program) + ": " + format + "\n";
    vfprintf(stderr, line.c_str(), args);
    va_end(args);
}

const OptionEntry *CommandLine::find(int id) const {
    for (const OptionEntry &s : m_known) {
        if (s.id == id || (s.letter && s.letter == id)) {
            return &s;
        }
    }
    return nullptr;
}

int CommandLine::next() {
    const int before = optind == 0 ? 1 : optind;
    const int c = getopt_long(m_argc, m_argv, m_short.c_str(), m_long.data(), nullptr);
    if (c == -1) {
        return -1;
    }
    if (c != '?' && c != ':') {
        const OptionEntry *wanted = find(c);
        return wanted ? wanted->id : c;
    }
    // The word in error: the one getopt has just stepped past, or for a
    // short option inside a cluster the one it is still in.
    const int at = optind > before ? optind - 1 : before;
    const char *word = at < m_argc ? m_argv[at] : "";
    if (strncmp(word, "--", 2) != 0) {
        const OptionEntry *wanted = find(optopt);
        if (c == ':' && wanted) {
            error("-%c needs %s", optopt, wanted->argument);
        } else {
            error("unknown option -%c", optopt);
        }
        return '?';
    }
    const std::string name(word + 2, strcspn(word + 2, "="));
    // The long options the word can stand for: itself, or those it begins.
    const OptionEntry *match = nullptr;
    int matches = 0;
    for (const OptionEntry &s : m_known) {
        if (name == s.name) {
            match = &s;
            matches = 1;
            break;
        }
        if (!name.empty() && strncmp(s.name, name.c_str(), name.size()) == 0) {
            match = &s;
            ++matches;
        }
    }
    if (matches == 0) {
        error("unknown option --%s", name.c_str());
    } else if (matches > 1) {
        error("ambiguous option --%s", name.c_str());
    } else if (c == ':') {
        error("--%s needs %s", match->name, match->argument);
    } else {
        error("--%s takes no value", match->name);
    }
    return '?';
}

std::vector<char *> CommandLine::operands() const {
    return std::vector<char *>(m_argv + optind, m_argv + m_argc);
}
