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

// The transfer's counters.
struct Transfer {
    const KitImage& image;
    uint16_t pos = 0;
    uint16_t acked = 0;
    uint8_t failures = 0;  // failed attempts on the current record
    unsigned spinner = 0;
    uint32_t recordNumber = 1;  // for the account
    OwedAnswers owed;           // since the current record's first attempt
};

// What comes of an attempt's judgement.
enum class Next { Record, Again, Restarts, GivenUp };

void reportRejection(uint8_t code) {
    switch (code) {
    case REPLY_DAMAGED_1:
    case REPLY_DAMAGED_2:
        consolePrint("\nThe download file has been damaged!\n");
        break;
    case REPLY_VERIFY_ERROR:
        consolePrint("\nThe download file verifies error!\n");
        break;
    case REPLY_ERASE_ERROR:
        consolePrint("\nThe MCU erases error!\n");
        break;
    case REPLY_CRC_ERROR:
        consolePrint("\nThe CRC of the download file is error!\n");
        break;
    default:
        break;
    }
}

unsigned long number(const Transfer& t) { return static_cast<unsigned long>(t.recordNumber); }

// What one attempt sent: the record, and the chunks handed to the port.
void logAttempt(const Transfer& t, const KitRecord& record, uint16_t sent) {
    runLogLine("record %lu (at %u, %u bytes, %u chunks), attempt %lu sent", number(t), static_cast<unsigned>(record.pos),
               static_cast<unsigned>(record.size), static_cast<unsigned>(sent),
               static_cast<unsigned long>(t.owed.requests));
}

void drawProgress(Transfer& t, uint16_t percent) {
    char shape = SPINNER[t.spinner];
    t.spinner = (t.spinner + 1) % SPINNER_STEPS;
    consolePrint("\r                        \rTransferring.. %c %d%% done", shape, percent);
    consoleFlush();
}

// Sends the record's chunks; false when a full chunk could not be sent (the
// transfer has then ended).
bool sendRecord(Transfer& t, const KitRecord& record) {
    char chunk[CHUNK_CHARS];
    uint16_t remaining = record.size;
    uint16_t sent = 0;  // chunks handed to the port, for the account
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
        uint16_t result = sendSysEx(reinterpret_cast<const uint8_t*>(chunk), characters);
        if (result == 0) ++sent;
        // A failed short last chunk shows up as a missing acknowledgement.
        if (bytes == CHUNK_BYTES && result != 0) {
            consolePrint("\nError: The MIDI Out of device is missing!\n\n");
            logAttempt(t, record, sent);
            runLogLine("outcome: a chunk of record %lu could not be sent (result %u)", number(t),
                       static_cast<unsigned>(result));
            return false;
        }
        if (result != 0) runLogLine("the last chunk could not be sent (result %u)", static_cast<unsigned>(result));
        pacingSleep(CHUNK_PAUSE_MS);
    }
    logAttempt(t, record, sent);
    return true;
}

// The wait for the attempt's answer: true when one came. `polled` tells
// how many of the wait's polls it took.
bool awaitAnswer(uint16_t polls, uint16_t& polled) {
    polled = 0;
    while (polls != 0) {
        --polls;
        if (replyCount() > 1) break;
        awaitReply();
        ++polled;
    }
    logWaitEnd(replyCount(), polled);
    return replyCount() > 1;
}

// A failed attempt: counted, and either the end or the record again.
Next failedAttempt(Transfer& t, bool answered, uint8_t code) {
    if (answered) {
        runLogLine("record %lu answered 0x%02X", number(t), code);
    } else {
        runLogLine("record %lu: no reply", number(t));
    }
    if (++t.failures >= MAX_FAILURES) {
        if (answered) {
            consolePrint("\nError in updating.\n");
            runLogLine("outcome: record %lu failed %u times", number(t), static_cast<unsigned>(t.failures));
        } else {
            consolePrint("\nFailed: Target is not responding.\n\n");
            runLogLine("outcome: record %lu went unanswered %u times", number(t), static_cast<unsigned>(t.failures));
        }
        return Next::GivenUp;
    }
    t.spinner = (t.spinner + SPINNER_STEPS - 1) % SPINNER_STEPS;
    if (answered && code == REPLY_RESTARTING) {
        consolePrint("\rTransferring.. 100%% done.  \n");
        consolePrint("Target update successfully!\n");
        consolePrint("\nThe System is restart, please wait!\n\n");
        runLogLine("outcome: the device restarts (record %lu answered 0x77)", number(t));
        return Next::Restarts;
    }
    if (answered) reportRejection(code);
    runLogFlush();
    return Next::Again;
}

// The judgement of an attempt's answer. An acknowledgement while answers
// to earlier attempts of the record are still owed may be one of theirs:
// the owed answers are waited for, for what is left of the attempt's wait
// and one more reply wait (`polls`, the record's kind), and the last that
// comes decides.
Next judge(Transfer& t, bool answered, uint8_t code, uint16_t polls, uint16_t polled) {
    if (!answered || code != REPLY_ACK) return failedAttempt(t, answered, code);
    if (owedCount(t.owed) != 0) {
        OwedWait owedWait = awaitOwedAnswers(t.owed, static_cast<uint16_t>(polls - polled + polls));
        if (owedWait.answered && owedWait.code != REPLY_ACK) return failedAttempt(t, true, owedWait.code);
    }
    runLogLine("record %lu acknowledged", number(t));
    runLogFlush();
    return Next::Record;
}

}  // namespace

TransferEnd transferImage(const KitImage& image) {
    Transfer t{image, 0, 0, 0, 0, 1, {}};
    owedBegin(t.owed);
    while (t.pos < image.count) {
        const KitRecord record = kitRecordAt(image, t.pos);
        auto percent = static_cast<uint16_t>(uint32_t{t.acked} * 100 / image.count);
        drawProgress(t, percent);
        if (!sendRecord(t, record)) return TransferEnd::Unfinished;

        uint16_t polls = percent >= LONG_WAIT_PERCENT ? ACK_POLLS_LONG : ACK_POLLS_SHORT;
        uint16_t polled = 0;
        bool answered = awaitAnswer(polls, polled);
        uint8_t code = answered ? takeReplyCode() : 0;
        Next next = judge(t, answered, code, polls, polled);
        if (next == Next::Restarts) return TransferEnd::Restarts;
        if (next == Next::GivenUp) return TransferEnd::Unfinished;
        if (next == Next::Record) {
            t.acked = static_cast<uint16_t>(t.acked + record.size);
            t.failures = 0;
            t.pos = static_cast<uint16_t>(t.pos + record.size);
            ++t.recordNumber;
            owedBegin(t.owed);
        }
    }
    consolePrint("\rTransferring.. 100%% done.  \n");
    consolePrint("Target update successfully!\n\n");
    runLogLine("outcome: every record acknowledged (%lu)", number(t) - 1);
    return TransferEnd::Updated;
}
