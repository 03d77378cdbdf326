#include "protocol/owed_answers.h"

#include "core/run_log.h"
#include "midi/midi_link.h"

void owedBegin(OwedAnswers& owed) {
    owed.mark = answersReceived();
    owed.requests = 0;
}

uint32_t owedCount(const OwedAnswers& owed) {
    uint32_t received = answersReceived() - owed.mark;
    return received >= owed.requests ? 0 : owed.requests - received;
}

OwedWait awaitOwedAnswers(const OwedAnswers& owed, uint16_t polls) {
    OwedWait wait;
    uint32_t owing = owedCount(owed);
    runLogLine("%lu answer(s) still owed: waiting at most %u polls", static_cast<unsigned long>(owing),
               static_cast<unsigned>(polls));
    for (; wait.polls < polls && owedCount(owed) != 0; ++wait.polls) {
        awaitReply();
        if (replyCount() > 1) {
            wait.code = takeReplyCode();
            wait.answered = true;
        }
    }
    if (wait.answered) {
        runLogLine("after %u polls the last owed answer is 0x%02X; %lu still owed", static_cast<unsigned>(wait.polls),
                   wait.code, static_cast<unsigned long>(owedCount(owed)));
    } else {
        runLogLine("no owed answer in %u polls: the device dropped them", static_cast<unsigned>(wait.polls));
    }
    return wait;
}
