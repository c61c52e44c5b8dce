// The code of the platform calls' description (platform_calls.h), compiled
// into the library and into velquar-capture alike.
#include "platform_calls.h"

#include <time.h>

#include <cerrno>
#include <cstring>

namespace velquar {

void pauseBetweenTries() {
    timespec deadline = {};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_nsec += kInputSourceRetryNs;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_nsec -= 1000000000L;
        ++deadline.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

void presetDecoderOption(TEVRIN_DECODER_OPTION &option) {
    memset(&option, 0, sizeof option);
    option.u32Header = kOptionHeader;
}

ST_MMPLAYER_PARAM decoderOptionParam(TEVRIN_DECODER_OPTION &option) {
    ST_MMPLAYER_PARAM param = {};
    param.u32Option = TEVRIN_OPTION_DECODER_CAPABILITY;
    param.u32OptionSize = sizeof option;
    param.pOption = &option;
    return param;
}

}  // namespace velquar
