// Stand-in for the television's application resource manager (libAPM.so).
//
// The default device hands every program that joins the reset type
// "FactoryReset" (entry 6, code 4) from inside APM_IsResourceOwner. The state
// file chooses other messages, none, and when and from which thread they
// come; velquar-state(5) has the keys.
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "apm.h"
#include "sim_state.h"

using velquar_sim::State;

namespace {

struct Message {
    int32_t code;
    bool hasText;
    std::string text;
};

APM_CALLBACKS *g_callbacks = nullptr;

// The manager's own thread, when the state asks for one: started by
// APM_Join, waited for before APM_IsResourceOwner or APM_Leave returns.
struct Worker {
    std::thread thread;
    void wait() {
        if (thread.joinable()) {
            thread.join();
        }
    }
    ~Worker() { wait(); }
} g_worker;

std::string trim(const std::string &s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return std::string();
    }
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// "CODE TEXT | CODE | ...": a code alone stands for a null text.
std::vector<Message> messages(const State &s) {
    std::vector<Message> out;
    std::string all = s.text("apm.messages", "4 FactoryReset") + "|";
    for (size_t start = 0, bar; (bar = all.find('|', start)) != std::string::npos;
         start = bar + 1) {
        const std::string item = trim(all.substr(start, bar - start));
        if (item.empty()) {
            continue;
        }
        const size_t blank = item.find_first_of(" \t");
        Message m{static_cast<int32_t>(strtol(item.c_str(), nullptr, 0)),
                  blank != std::string::npos, std::string()};
        if (m.hasText) {
            m.text = trim(item.substr(blank));
        }
        out.push_back(m);
    }
    return out;
}

void deliver(const char *where) {
    APM_CALLBACKS *callbacks = g_callbacks;
    for (const Message &m : messages(State::current())) {
        if (!callbacks || !callbacks->onMessage) {
            velquar_sim::log("APM onMessage code=%d from=%s -> no callback", m.code, where);
            continue;
        }
        const int32_t ret = callbacks->onMessage(m.code, m.hasText ? m.text.c_str() : nullptr);
        if (m.hasText) {
            velquar_sim::log("APM onMessage code=%d text=\"%s\" from=%s -> %d", m.code,
                             m.text.c_str(), where, ret);
        } else {
            velquar_sim::log("APM onMessage code=%d text=null from=%s -> %d", m.code, where, ret);
        }
    }
}

// Delivers the messages when the state names this moment ("join",
// "is_resource_owner", "leave").
void deliverIfAt(const State &s, const std::string &moment) {
    if (s.text("apm.deliver", "is_resource_owner") == moment) {
        deliver(moment.c_str());
    }
}

}  // namespace

extern "C" {

int32_t APM_Join(APM_CALLBACKS *callbacks) {
    State s = State::current();
    const int32_t ret = s.result("apm.join");
    velquar_sim::log("APM_Join callbacks=%s -> ret=%d", callbacks ? "table" : "null", ret);
    g_worker.wait();
    g_callbacks = callbacks;
    if (callbacks && s.number("apm.other_entries", 0) != 0) {
        int32_t (*const noArg[])(void) = {callbacks->entry1, callbacks->entry2, callbacks->entry3};
        for (int n = 0; n < 3; ++n) {
            velquar_sim::log("APM entry%d -> %d", n + 1, noArg[n] ? noArg[n]() : -1);
        }
        velquar_sim::log("APM entry4 value=1 -> %d", callbacks->entry4 ? callbacks->entry4(1) : -1);
        velquar_sim::log("APM entry5 value=1 -> %d", callbacks->entry5 ? callbacks->entry5(1) : -1);
    }
    if (s.text("apm.deliver", "is_resource_owner") == "thread") {
        g_worker.thread = std::thread(deliver, "thread");
    }
    deliverIfAt(s, "join");
    return ret;
}

int32_t APM_IsResourceOwner(void) {
    State s = State::current();
    g_worker.wait();
    deliverIfAt(s, "is_resource_owner");
    const int32_t ret = static_cast<int32_t>(s.number("apm.is_resource_owner", 1));
    velquar_sim::log("APM_IsResourceOwner -> ret=%d", ret);
    return ret;
}

int32_t APM_Leave(void) {
    State s = State::current();
    g_worker.wait();
    deliverIfAt(s, "leave");
    g_callbacks = nullptr;
    const int32_t ret = s.result("apm.leave");
    velquar_sim::log("APM_Leave -> ret=%d", ret);
    return ret;
}

}  // extern "C"
