// Replayed sequences: a key whose value lists numbers answers them one per
// call, the last one repeating.
#include <vector>

#include "sim_state.h"
#include "sim_state_parts.h"

namespace velquar_sim {
namespace {

std::map<std::string, size_t> g_positions;

}  // namespace

std::vector<std::string> sequenceItems(const std::string &value) {
    std::vector<std::string> items;
    std::string item;
    for (char c : value + " ") {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!item.empty()) {
                items.push_back(item);
            }
            item.clear();
        } else {
            item += c;
        }
    }
    return items;
}

void restartSequences() {
    g_positions.clear();
}

long long State::next(const std::string &key, long long fallback) const {
    auto it = m_values.find(key);
    if (it == m_values.end()) {
        return fallback;
    }
    const std::vector<std::string> items = sequenceItems(it->second);
    if (items.empty()) {
        return fallback;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    size_t &pos = g_positions[key];
    size_t index = pos < items.size() ? pos : items.size() - 1;
    ++pos;
    return toNumber(items[index], fallback);
}

}  // namespace velquar_sim
