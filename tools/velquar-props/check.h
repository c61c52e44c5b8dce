// The bring-up check: every property read once, the answers judged against
// what a correct television satisfies. Each rule names the properties it
// looks at; a property that cannot be read fails every rule that needs it.
#ifndef VELQUAR_PROPS_CHECK_H
#define VELQUAR_PROPS_CHECK_H

#include <string>
#include <vector>

#include "readings.h"

struct Verdict {
    const char *rule;
    bool pass;
    std::vector<const Reading *> seen;  // what the rule looked at, in its order
    std::string note;                   // why it failed, or what it passed over
};

// Judges the readings of a whole context by every rule, in a fixed order.
// The verdicts point into readings.
std::vector<Verdict> judge(const std::vector<Reading> &readings);

#endif
