// The baselines' stand-in for the library's catalogue: the same 49 names in
// a std::map<std::string, X>, X the size of the library's PropertyEntry (a
// type tag and a member-function pointer), built from the property list the
// library's catalogue is built from. bench_main.cpp checks at start-up that
// the library answers to these names and tags.
#ifndef VELQUAR_BASELINE_CATALOGUE_H
#define VELQUAR_BASELINE_CATALOGUE_H

#include <map>
#include <string>
#include <utility>

#include "property_list.h"

namespace velquar_bench {

class AnyProvider;

struct BaselineEntry {
    int type;  // bool 1, int 2, long long 3, string 4
    void (AnyProvider::*getter)();
};

using BaselineCatalogue = std::map<std::string, BaselineEntry>;

struct NamedType {
    const char *name;
    int type;
};

// In the library's insertion order, from the library's own list.
#define VELQUAR_BASELINE_NAME(name, type, getter) \
    NamedType{name, static_cast<int>(velquar::PropertyType::type)},
constexpr NamedType kProperties[] = {VELQUAR_PROPERTY_LIST(VELQUAR_BASELINE_NAME)};
#undef VELQUAR_BASELINE_NAME
static_assert(sizeof kProperties / sizeof kProperties[0] == 49, "the catalogue has 49 names");

}  // namespace velquar_bench

#endif
