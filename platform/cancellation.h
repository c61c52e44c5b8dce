// Scoped helpers for code that must not be cut short by thread cancellation.
#ifndef VELQUAR_CANCELLATION_H
#define VELQUAR_CANCELLATION_H

#include <pthread.h>

namespace velquar {

// Holds off cancellation for a scope, around work that cannot be unwound
// half way (a C library that keeps a file or a session open meanwhile); a
// request that comes in is acted on at the next cancellation point after it.
class CancellationHeldOff {
public:
    CancellationHeldOff() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_previous); }
    ~CancellationHeldOff() { pthread_setcancelstate(m_previous, nullptr); }
    CancellationHeldOff(const CancellationHeldOff &) = delete;
    CancellationHeldOff &operator=(const CancellationHeldOff &) = delete;

private:
    int m_previous = PTHREAD_CANCEL_ENABLE;
};

}  // namespace velquar

#endif
