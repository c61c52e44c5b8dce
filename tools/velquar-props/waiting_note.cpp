#include "waiting_note.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

WaitingNote::WaitingNote(bool enabled) {
    if (!enabled || !isatty(STDERR_FILENO)) {
        return;
    }
    m_thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_done.wait_for(lock, std::chrono::seconds(1), [this] { return m_finished; })) {
            fprintf(stderr,
                    "velquar-props: waiting for the platform (up to about 10 s until the "
                    "television reports its input source)...\n");
        }
    });
}

WaitingNote::~WaitingNote() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_one();
    m_thread.join();
}
