// What the stand-ins' state plumbing shares between its files: parsing the
// state file's keys, reporting what cannot be used, replaying sequences.
#ifndef VELQUAR_SIMULATOR_SIM_STATE_PARTS_H
#define VELQUAR_SIMULATOR_SIM_STATE_PARTS_H

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace velquar_sim {

// Guards what the state plumbing keeps for the process: the state file last
// read, the reports made, the positions in sequences.
extern std::mutex g_mutex;

// The values of a state file, and what in it the stand-ins cannot use
// (lines without "=", unknown keys, values of the wrong form).
std::map<std::string, std::string> parseState(const std::string &name, const std::string &content,
                                              std::vector<std::string> &problems);

// A text for a report line: control characters, quotes and bytes outside
// ASCII as escapes, so that no state file can forge a line of its own.
std::string shown(const std::string &text);

// Writes each report not made before to standard error, one line each.
// Caller holds g_mutex.
void report(const std::vector<std::string> &problems);

// The items of a sequence's value: what stands between blanks, tabs and
// commas.
std::vector<std::string> sequenceItems(const std::string &value);

// Sequences start again from their first entry. Caller holds g_mutex.
void restartSequences();

// Decimal, 0x hexadecimal or leading-0 octal, optionally negative; values
// such as 0x80000010 as the 32-bit codes they spell.
long long toNumber(const std::string &text, long long fallback);

}  // namespace velquar_sim

#endif
