#include "core/console.h"
#include "core/run_log.h"
#include "midi/midi_link.h"
#include "protocol/owed_answers.h"
#include "protocol/wait_log.h"
#include "protocol/update_protocol.h"
#include "protocol/wire.h"

namespace {

// Each of the four shapes shows on two successive progress lines.
const char SPINNER[] = "--\\\\||//";
constexpr unsigned SPINNER_STEPS = sizeof SPINNER - 1;

// Where the transfer stands.
struct Transfer {
    const KitImage& image;
    uint16_t pos = 0;           // of the current record in the image
    uint16_t acked = 0;         // bytes of the records acknowledged
    uint8_t failures = 0;       // failed attempts on the current record
    unsigned spinner = 0;       // the progress line's next shape
    unsigned long number = 1;   // the current record's, for the account
    OwedAnswers owed;           // since the current record's first attempt
};

// One attempt of a record: what went out, and what came back.
struct Attempt {
    bool sent = false;      // every full chunk was handed to the port
    uint16_t polls = 0;     // the wait's length, by the record's place
    uint16_t polled = 0;    // polls it took
    bool answered = false;  // a reply of 2 bytes or more came
    uint8_t code = 0;       // its reply code
};

// What comes of an attempt's judgement.
enum class Next { Record, Again, Restarts, GivenUp };

// --- The account's lines of the transfer ---------------------------------

void logAttempt(const Transfer& t, const KitRecord& record, unsigned chunksSent) {
    runLogLine("record %lu (at %u, %u bytes, %u chunks), attempt %lu sent", t.number, unsigned{record.pos},
               unsigned{record.size}, chunksSent, static_cast<unsigned long>(t.owed.requests));
}

void logOutcome(const Transfer& t, const char* what, unsigned value) {
    runLogLine("outcome: record %lu %s %u times", t.number, what, value);
}

// --- The console's lines ---------------------------------------------------

void drawProgress(Transfer& t, int percent) {
    char shape = SPINNER[t.spinner];
    t.spinner = (t.spinner + 1) % SPINNER_STEPS;
    consoleSay(Say::Progress, shape, percent);
    consoleFlush();
}

void reportRejection(uint8_t code) {
    switch (code) {
    case REPLY_DAMAGED_1:
    case REPLY_DAMAGED_2:
        consoleSay(Say::Damaged);
        break;
    case REPLY_VERIFY_ERROR:
        consoleSay(Say::VerifyError);
        break;
    case REPLY_ERASE_ERROR:
        consoleSay(Say::EraseError);
        break;
    case REPLY_CRC_ERROR:
        consoleSay(Say::CrcError);
        break;
    default:
        break;
    }
}

// --- One attempt -------------------------------------------------------------

// Sends the record's chunks, each followed by the device's pause; false
// when a full chunk could not be sent (the transfer has then ended). A
// failed short last chunk shows up as a missing answer.
bool sendChunks(Transfer& t, const KitRecord& record) {
    char chunk[CHUNK_CHARS];
    uint16_t remaining = record.size;
    unsigned sent = 0;  // chunks handed to the port, for the account
    ++t.owed.requests;
    while (remaining != 0) {
        uint16_t bytes = chunkBytes(remaining);
        // A late or repeated answer to an earlier attempt may still come
        // while the chunks go out; only one after the last chunk has
        // started can answer this attempt.
        if (bytes == remaining) forgetReplies();
        const uint8_t* first = t.image.bytes + static_cast<uint16_t>(record.pos + record.size - remaining);
        uint16_t characters = encodeChunk(first, bytes, chunk);
        remaining = static_cast<uint16_t>(remaining - bytes);
        uint16_t result = sendSysEx(reinterpret_cast<const uint8_t*>(chunk), characters, CHUNK_PAUSE_MS);
        if (result == 0) {
            ++sent;
        } else if (bytes == CHUNK_BYTES) {
            consoleNewLine();
            consoleSay(Say::OutMissing);
            logAttempt(t, record, sent);
            runLogLine("outcome: a chunk of record %lu could not be sent (result %u)", t.number, unsigned{result});
            return false;
        } else {
            runLogLine("the last chunk could not be sent (result %u)", unsigned{result});
        }
    }
    logAttempt(t, record, sent);
    return true;
}

// The wait for the attempt's answer, for as many polls as the record's
// place (the percentage acknowledged before it) gives it.
void awaitAnswer(Attempt& a, int percent) {
    a.polls = percent >= LONG_WAIT_PERCENT ? ACK_POLLS_LONG : ACK_POLLS_SHORT;
    for (a.polled = 0; a.polled < a.polls && replyCount() <= 1; ++a.polled) awaitReply();
    logWaitEnd(replyCount(), a.polled);
    a.answered = replyCount() > 1;
    if (a.answered) a.code = takeReplyCode();
}

// An attempt: the progress line, the record's chunks, the wait.
Attempt attemptRecord(Transfer& t, const KitRecord& record) {
    Attempt a;
    auto percent = static_cast<int>(uint32_t{t.acked} * 100 / t.image.count);
    drawProgress(t, percent);
    a.sent = sendChunks(t, record);
    if (a.sent) awaitAnswer(a, percent);
    return a;
}

// --- Its judgement -----------------------------------------------------------

// A failed attempt: counted, and either the end or the record again.
Next failedAttempt(Transfer& t, bool answered, uint8_t code) {
    if (answered) {
        runLogLine("record %lu answered 0x%02X", t.number, code);
    } else {
        runLogLine("record %lu: no reply", t.number);
    }
    if (++t.failures >= MAX_FAILURES) {
        if (answered) {
            consoleSay(Say::UpdateError);
            logOutcome(t, "failed", t.failures);
        } else {
            consoleSay(Say::NotResponding);
            logOutcome(t, "went unanswered", t.failures);
        }
        return Next::GivenUp;
    }
    // The resend's progress line shows the same shape again.
    t.spinner = (t.spinner + SPINNER_STEPS - 1) % SPINNER_STEPS;
    if (answered && code == REPLY_RESTARTING) {
        consoleSay(Say::ProgressDone);
        consoleSay(Say::Updated);
        consoleSay(Say::Restarting);
        runLogLine("outcome: the device restarts (record %lu answered 0x77)", t.number);
        return Next::Restarts;
    }
    if (answered) reportRejection(code);
    runLogFlush();
    return Next::Again;
}

// An acknowledgement while answers to earlier attempts of the record are
// still owed may be one of theirs: the owed answers are waited for, for
// what is left of the attempt's wait and one more reply wait of the
// record's kind, and the last that comes decides.
Next judge(Transfer& t, const Attempt& a) {
    if (!a.answered || a.code != REPLY_ACK) return failedAttempt(t, a.answered, a.code);
    if (owedCount(t.owed) != 0) {
        OwedWait owedWait = awaitOwedAnswers(t.owed, static_cast<uint16_t>(a.polls - a.polled + a.polls));
        if (owedWait.answered && owedWait.code != REPLY_ACK) return failedAttempt(t, true, owedWait.code);
    }
    runLogLine("record %lu acknowledged", t.number);
    runLogFlush();
    return Next::Record;
}

void nextRecord(Transfer& t, const KitRecord& record) {
    t.acked = static_cast<uint16_t>(t.acked + record.size);
    t.pos = static_cast<uint16_t>(t.pos + record.size);
    t.failures = 0;
    ++t.number;
    owedBegin(t.owed);
}

}  // namespace

TransferEnd transferImage(const KitImage& image) {
    Transfer t{image, 0, 0, 0, 0, 1, {}};
    owedBegin(t.owed);
    while (t.pos < image.count) {
        const KitRecord record = kitRecordAt(image, t.pos);
        Attempt attempt = attemptRecord(t, record);
        if (!attempt.sent) return TransferEnd::Unfinished;
        Next next = judge(t, attempt);
        if (next == Next::Restarts) return TransferEnd::Restarts;
        if (next == Next::GivenUp) return TransferEnd::Unfinished;
        if (next == Next::Record) nextRecord(t, record);
    }
    consoleSay(Say::ProgressDone);
    consoleSay(Say::Updated);
    consoleNewLine();
    runLogLine("outcome: every record acknowledged (%lu)", t.number - 1);
    return TransferEnd::Updated;
}
