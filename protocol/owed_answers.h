// Answers still owed. Chunks and answers carry no sequence number, and the
// device answers each request it takes once, in order, maybe late: an
// answer taken by an attempt may be the late answer of an earlier one. So
// the requests sent since a mark (an identify exchange, or a record's first
// attempt) are held against the answers received since, and before the run
// moves on it waits for any still owed: for what is left of the last
// request's wait and one more reply wait, so that an answer that comes at
// most one reply wait after it was due is never taken for another's. The
// last of them decides.
#pragma once

#include <cstdint>

struct OwedAnswers {
    uint32_t mark = 0;      // answers received before the first request
    uint32_t requests = 0;  // requests sent since
};

// From now on: no request sent yet.
void owedBegin(OwedAnswers& owed);
// Answers not yet received for the requests sent.
uint32_t owedCount(const OwedAnswers& owed);

// How the wait for owed answers ended.
struct OwedWait {
    bool answered = false;  // an answer came: `code` is the last one's
    uint8_t code = 0;
    uint16_t polls = 0;     // polls waited
};
// Waits at most `polls` polls, until no answer is owed; writes to the
// account what it waited for and how it ended.
OwedWait awaitOwedAnswers(const OwedAnswers& owed, uint16_t polls);
