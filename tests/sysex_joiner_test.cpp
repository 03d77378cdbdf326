// Joining System Exclusive pieces into whole messages, as the ALSA and the
// WinMM back ends get them: each row feeds pieces (or drops and discards)
// in order and lists what is taken after each step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/sysex_joiner.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<uint8_t> sysex(size_t dataBytes, uint8_t code, uint8_t fill) {
    std::vector<uint8_t> m(dataBytes + 2, fill);
    m.front() = 0xF0;
    m[1] = code;
    m.back() = 0xF7;
    return m;
}

Bytes crc3() { return {0xF0, 0x20, 0xF7}; }

Bytes part(const Bytes& m, size_t from, size_t to) {
    return Bytes(m.begin() + static_cast<long>(from), m.begin() + static_cast<long>(std::min(to, m.size())));
}

// One step: a piece, or the source's word that the message broke off, or
// the discard.
struct Step {
    enum Kind { Piece, Drop, Discard } kind;
    Bytes piece;
};
Step piece(Bytes b) { return {Step::Piece, std::move(b)}; }
const Step DROP = {Step::Drop, {}};
const Step DISCARD = {Step::Discard, {}};

// What is taken after each step (every whole message, oldest first), into
// the link's 200 bytes.
std::vector<Bytes> run(const std::vector<Step>& steps) {
    SysexJoiner joiner;
    std::vector<Bytes> taken;
    for (const Step& s : steps) {
        if (s.kind == Step::Piece) sysexJoinPiece(joiner, s.piece.data(), s.piece.size());
        if (s.kind == Step::Drop) sysexDropUnfinished(joiner);
        if (s.kind == Step::Discard) sysexDiscard(joiner);
        uint8_t area[200];
        while (uint32_t n = sysexTakeWhole(joiner, area, sizeof area)) taken.emplace_back(area, area + n);
    }
    return taken;
}

TEST(SysexJoiner, PiecesJoinIntoWholeMessages) {
    const Bytes long300 = sysex(298, 0x1A, 0x11);  // longer than the link keeps
    const Bytes medium = sysex(148, 0x1A, 0x22);
    const Bytes lost800 = part(sysex(998, 0x1A, 0x33), 0, 800);  // its tail never comes
    const Bytes crc = {0xF0, 0x20, 0xF7};
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<Bytes> taken;
    } cases[] = {
        {"300 bytes in pieces of 256 and 44: one message, cut to 200",
         {piece(part(long300, 0, 256)), piece(part(long300, 256, 300))}, {part(long300, 0, 200)}},
        {"150 bytes split at 100 come whole", {piece(part(medium, 0, 100)), piece(part(medium, 100, 150))}, {medium}},
        {"back to back in one piece: both, in order",
         {piece({0xF0, 0x1A, 0xF7, 0xF0, 0x20, 0xF7})}, {{0xF0, 0x1A, 0xF7}, {0xF0, 0x20, 0xF7}}},
        {"one after another, each taken", {piece({0xF0}), piece({0x77, 0xF7}), piece({0xF0, 0x1A, 0xF7})},
         {{0xF0, 0x77, 0xF7}, {0xF0, 0x1A, 0xF7}}},
        {"bytes without an F0 before them belong to no message", {piece({0x1A, 0xF7})}, {}},
        {"a real-time byte inside a message is no part of it", {piece({0xF0, 0x1A, 0xF8, 0xF7})}, {{0xF0, 0x1A, 0xF7}}},
        {"another status byte breaks a message", {piece({0xF0, 0x1A, 0x90, 0xF7})}, {}},
        {"a note-off status breaks it", {piece({0xF0, 0x1A, 0x80, 0x20, 0xF7})}, {}},
        {"a pitch-bend status breaks it", {piece({0xF0, 0x1A, 0xEF, 0xF7})}, {}},
        {"a song position (F2) breaks it", {piece({0xF0, 0x1A, 0xF2, 0x00, 0x00, 0xF7})}, {}},
        {"a tune request (F6) breaks it", {piece({0xF0, 0x1A, 0xF6, 0xF7})}, {}},
        {"a broken message, then a whole one", {piece({0xF0, 0x1A, 0xF1, 0x00, 0xF7, 0xF0, 0x20, 0xF7})}, {crc3()}},
        {"data after an F7 belongs to no message", {piece({0xF0, 0x1A, 0xF7, 0x20, 0x21}), piece({0xF7})},
         {{0xF0, 0x1A, 0xF7}}},
        {"data after an F7, in the next piece", {piece({0xF0, 0x1A, 0xF7}), piece({0x20, 0xF7})}, {{0xF0, 0x1A, 0xF7}}},
        {"an F0 inside a message starts over", {piece({0xF0, 0x01, 0xF0, 0x1A, 0xF7})}, {{0xF0, 0x1A, 0xF7}}},
        // A long reply's tail is lost: the next reply is not glued onto it.
        {"a lost long-reply tail, then a reply",
         {piece(part(lost800, 0, 200)), piece(part(lost800, 200, 400)), piece(part(lost800, 400, 800)), piece(crc)},
         {crc}},
        {"a lost tail at exactly 200 bytes, then a reply", {piece(part(lost800, 0, 200)), piece(crc)}, {crc}},
        // What a driver says broke off never completes.
        {"dropped by the source, then its rest", {piece(part(medium, 0, 100)), DROP, piece(part(medium, 100, 150))},
         {}},
        // The rest of a message that straddles the discard answers nothing.
        {"a half-joined message across a discard",
         {piece(part(medium, 0, 100)), DISCARD, piece(part(medium, 100, 150)), piece(crc)}, {crc}},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.steps), c.taken) << c.name;
}

// More whole messages than it keeps before a take: the oldest go, the rest
// come in order.
TEST(SysexJoiner, KeepsTheLatestMessagesInOrder) {
    SysexJoiner joiner;
    for (uint8_t code = 1; code <= MIDI_KEPT_MESSAGES + 3; ++code) {
        const uint8_t m[] = {0xF0, code, 0xF7};
        sysexJoinPiece(joiner, m, sizeof m);
    }
    uint8_t area[200];
    std::vector<uint8_t> codes;
    while (sysexTakeWhole(joiner, area, sizeof area) == 3) codes.push_back(area[1]);
    ASSERT_EQ(codes.size(), MIDI_KEPT_MESSAGES);
    for (size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(codes[i], 4 + i);
}

// The link's discard: whole messages one by one, then the unfinished one
// is dropped, so that its rest answers nothing.
TEST(SysexJoiner, TakeOrDropUnfinished) {
    SysexJoiner joiner;
    const uint8_t pieces[] = {0xF0, 0x1A, 0xF7, 0xF0, 0x20, 0x20};
    sysexJoinPiece(joiner, pieces, sizeof pieces);
    uint8_t area[200];
    EXPECT_EQ(sysexTakeOrDropUnfinished(joiner, area, sizeof area), 3u);
    EXPECT_EQ(area[1], 0x1A);
    EXPECT_EQ(sysexTakeOrDropUnfinished(joiner, area, sizeof area), 0u);
    const uint8_t rest[] = {0x20, 0xF7};
    sysexJoinPiece(joiner, rest, sizeof rest);
    EXPECT_EQ(sysexTakeWhole(joiner, area, sizeof area), 0u);
}

TEST(SysexJoiner, TheDiscardDropsAWholeMessageNotYetTaken) {
    SysexJoiner joiner;
    const uint8_t ack[] = {0xF0, 0x1A, 0xF7};
    sysexJoinPiece(joiner, ack, sizeof ack);
    sysexDiscard(joiner);
    uint8_t area[200];
    EXPECT_EQ(sysexTakeWhole(joiner, area, sizeof area), 0u);
    // Taken once: a second take finds nothing.
    sysexJoinPiece(joiner, ack, sizeof ack);
    EXPECT_EQ(sysexTakeWhole(joiner, area, sizeof area), 3u);
    EXPECT_EQ(sysexTakeWhole(joiner, area, sizeof area), 0u);
}

}  // namespace
