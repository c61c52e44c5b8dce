// The note that the inspector waits for the platform: a television that
// never reports the expected input source holds a context's creation for
// about 10 seconds. Said only to a person at a terminal, and only when the
// wait is long enough to wonder about.
#ifndef VELQUAR_PROPS_WAITING_NOTE_H
#define VELQUAR_PROPS_WAITING_NOTE_H

#include <condition_variable>
#include <mutex>
#include <thread>

class WaitingNote {
public:
    // With enabled and standard error a terminal, the note appears there
    // once a second has passed and this object still lives.
    explicit WaitingNote(bool enabled);
    ~WaitingNote();
    WaitingNote(const WaitingNote &) = delete;
    WaitingNote &operator=(const WaitingNote &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

#endif
