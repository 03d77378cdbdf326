#include "core/console.h"
#include "core/run_log.h"
#include "midi/midi_link.h"
#include "protocol/wait_log.h"
#include "protocol/update_protocol.h"
#include "protocol/wire.h"

namespace {

// Each of the four shapes shows on two successive progress lines.
const char SPINNER[] = "--\\\\||//";
constexpr unsigned SPINNER_STEPS = sizeof SPINNER - 1;

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

// What one attempt sent: the record, and the chunks handed to the port.
void logAttempt(uint32_t recordNumber, const KitRecord& record, uint16_t sent, uint16_t attempt) {
    runLogLine("record %lu (at %u, %u bytes, %u chunks), attempt %u sent", static_cast<unsigned long>(recordNumber),
               static_cast<unsigned>(record.pos), static_cast<unsigned>(record.size), static_cast<unsigned>(sent),
               static_cast<unsigned>(attempt));
}

}  // namespace

void transferImage(const KitImage& image) {
    uint16_t pos = 0;
    uint16_t acked = 0;
    uint8_t failures = 0;
    unsigned spinner = 0;
    char chunk[CHUNK_CHARS];
    uint32_t recordNumber = 1;  // for the account
    uint16_t attempt = 1;

    while (pos < image.count) {
        const KitRecord record = kitRecordAt(image, pos);
        auto percent = static_cast<uint16_t>(uint32_t{acked} * 100 / image.count);

        char shape = SPINNER[spinner];
        spinner = (spinner + 1) % SPINNER_STEPS;
        consolePrint("\r                        \rTransferring.. %c %d%% done", shape, percent);
        consoleFlush();

        uint16_t remaining = record.size;
        uint16_t sent = 0;  // chunks handed to the port, for the account
        while (remaining != 0) {
            uint16_t bytes = chunkBytes(remaining);
            // A late or repeated answer to an earlier attempt may still come
            // while the chunks go out; only one after the last chunk has
            // started can answer this attempt.
            if (bytes == remaining) forgetReplies();
            const uint8_t* first = image.bytes + static_cast<uint16_t>(record.pos + record.size - remaining);
            uint16_t characters = encodeChunk(first, bytes, chunk);
            remaining = static_cast<uint16_t>(remaining - bytes);
            uint16_t result = sendSysEx(reinterpret_cast<const uint8_t*>(chunk), characters);
            if (result == 0) ++sent;
            // A failed short last chunk shows up as a missing acknowledgement.
            if (bytes == CHUNK_BYTES && result != 0) {
                consolePrint("\nError: The MIDI Out of device is missing!\n\n");
                logAttempt(recordNumber, record, sent, attempt);
                runLogLine("outcome: a chunk of record %lu could not be sent (result %u)",
                           static_cast<unsigned long>(recordNumber), static_cast<unsigned>(result));
                return;
            }
            if (result != 0) runLogLine("the last chunk could not be sent (result %u)", static_cast<unsigned>(result));
            pacingSleep(CHUNK_PAUSE_MS);
        }
        logAttempt(recordNumber, record, sent, attempt);

        uint16_t polls = percent >= LONG_WAIT_PERCENT ? ACK_POLLS_LONG : ACK_POLLS_SHORT;
        uint16_t polled = 0;
        while (polls != 0) {
            --polls;
            if (replyCount() > 1) break;
            awaitReply();
            ++polled;
        }
        logWaitEnd(replyCount(), polled);
        ++attempt;

        if (replyCount() > 1) {
            uint8_t code = takeReplyCode();
            if (code == REPLY_ACK) {
                runLogLine("record %lu acknowledged", static_cast<unsigned long>(recordNumber));
                runLogFlush();
                acked = static_cast<uint16_t>(acked + record.size);
                failures = 0;
                pos = static_cast<uint16_t>(pos + record.size);
                ++recordNumber;
                attempt = 1;
                continue;
            }
            runLogLine("record %lu answered 0x%02X", static_cast<unsigned long>(recordNumber), code);
            if (++failures >= MAX_FAILURES) {
                consolePrint("\nError in updating.\n");
                runLogLine("outcome: record %lu failed %u times", static_cast<unsigned long>(recordNumber),
                           static_cast<unsigned>(failures));
                return;
            }
            spinner = (spinner + SPINNER_STEPS - 1) % SPINNER_STEPS;
            if (code == REPLY_RESTARTING) {
                consolePrint("\rTransferring.. 100%% done.  \n");
                consolePrint("Target update successfully!\n");
                consolePrint("\nThe System is restart, please wait!\n\n");
                runLogLine("outcome: the device restarts (record %lu answered 0x77)", static_cast<unsigned long>(recordNumber));
                return;
            }
            reportRejection(code);
            runLogFlush();
        } else {
            runLogLine("record %lu: no reply", static_cast<unsigned long>(recordNumber));
            if (++failures >= MAX_FAILURES) {
                consolePrint("\nFailed: Target is not responding.\n\n");
                runLogLine("outcome: record %lu went unanswered %u times", static_cast<unsigned long>(recordNumber),
                           static_cast<unsigned>(failures));
                return;
            }
            runLogFlush();
            spinner = (spinner + SPINNER_STEPS - 1) % SPINNER_STEPS;
        }
    }
    consolePrint("\rTransferring.. 100%% done.  \n");
    consolePrint("Target update successfully!\n\n");
    runLogLine("outcome: every record acknowledged (%lu)", static_cast<unsigned long>(recordNumber - 1));
}
