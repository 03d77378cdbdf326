#include "protocol/wait_log.h"

#include "core/run_log.h"

void logWaitEnd(int16_t replyBytes, uint16_t polls) {
    if (replyBytes > 1) {
        runLogLine("the wait ended after %u polls with a reply of %d bytes", static_cast<unsigned>(polls), replyBytes);
    } else if (replyBytes == 1) {
        runLogLine("the wait ended after %u polls with a 1-byte message, no reply", static_cast<unsigned>(polls));
    } else {
        runLogLine("no message in %u polls", static_cast<unsigned>(polls));
    }
}
