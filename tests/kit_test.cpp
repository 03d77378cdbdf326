// Reading kit text and checking its records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/console.h"
#include "tests/console_capture.h"
#include "kit/kit.h"
#include "kit/kit_files.h"
#ifndef _WIN32
#include "kit/kit_files_posix.h"
#endif
#include "tools/kit_writer.h"
#include "tests/test_support.h"

namespace {

Bytes readAll(const std::string& text) {
    Bytes out(70000);
    out.resize(readKitValues(text.data(), text.size(), out.data(), out.size()).count);
    return out;
}

struct ReaderCase {
    const char* name;
    std::string text;
    Bytes values;
};

TEST(KitReader, ReadsValuesByTheKitRules) {
    const std::vector<ReaderCase> cases = {
        {"two digits run together", "1A2B", {0x1A, 0x2B}},
        {"odd digit count", "ABC", {0xAB, 0x0C}},
        {"blank ends a value", "A B", {0x0A, 0x0B}},
        {"leading zero is a digit", "07", {0x07}},
        {"prefix takes no position", "0x1F", {0x1F}},
        {"prefix then three digits", "0x123", {0x12, 0x03}},
        {"upper-case prefix", "0X7e", {0x7E}},
        {"plus takes a position", "+5A", {0x05, 0x0A}},
        {"minus negates", "-5", {0xFB}},
        {"minus with prefix", "-0x1F", {0xFF, 0x0F}},
        {"lower case, no separators", "0004aabb9bfe", {0x00, 0x04, 0xAA, 0xBB, 0x9B, 0xFE}},
        {"CR LF line ends", "01\r\n02\r\n", {0x01, 0x02}},
        {"every white space byte", "\t01\n02\v03\f04\r05 06", {1, 2, 3, 4, 5, 6}},
        {"0x1A is no end of file", "01\x1A" "02", {0x01}},
        {"a zero before a non-x", "0G", {0x00}},
        {"colon ends the image", "01 02 :03 04", {0x01, 0x02}},
        {"colon first gives nothing", ":10 00", {}},
        {"byte 0x80 or above ends the image", "01 \x80 02", {0x01}},
        {"byte 0xFF ends the image", "01\xFF", {0x01}},
        {"NUL ends the image", std::string("01\0" "02", 5), {0x01}},
        {"letter beyond F ends the image", "0A G1", {0x0A}},
        {"sign at end of file", "01 +", {0x01}},
        {"minus at end of file", "01 -", {0x01}},
        {"prefix at end of file", "01 0x", {0x01}},
        {"sign before blank", "01 + 02", {0x01}},
        {"white space only", " \r\n\t ", {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readAll(c.text), c.values) << c.name;
    }
}

// The file is read whole up to a bound of 4 MiB: what lies beyond it only
// matters if the values may go on there.
TEST(KitReader, AFileLongerThanTheBound) {
    const std::string kit = kitText(makeKitRecord({0xAA, 0xBB}));
    const size_t bound = 4u << 20;
    const struct {
        const char* name;
        std::string text;
        KitReading reading;
    } cases[] = {
        {"a kit, then other text past the bound", kit + ":" + std::string(bound, 'z'), KitReading::Whole},
        {"white space to the bound, then values", std::string(bound - 2, ' ') + kit, KitReading::Failed},
        {"a value cut by the bound", std::string(bound - 1, ' ') + "1A", KitReading::Failed},
        {"values that end at the bound", std::string(bound - kit.size(), ' ') + kit, KitReading::Whole},
    };
    auto image = std::make_unique<KitImage>();
    for (const auto& c : cases) {
        FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        std::fwrite(c.text.data(), 1, c.text.size(), file);
        std::rewind(file);
        EXPECT_EQ(readKitFile(file, *image), c.reading) << c.name;
        std::fclose(file);
    }
}

TEST(KitReader, TellsWhenMoreValuesFollowThanFit) {
    std::string text = "01 02 03";
    uint8_t out[3];
    KitValues read = readKitValues(text.data(), text.size(), out, 3);
    EXPECT_EQ(read.count, 3u);
    EXPECT_FALSE(read.more);
    text += " 04";
    read = readKitValues(text.data(), text.size(), out, 3);
    EXPECT_EQ(read.count, 3u);
    EXPECT_TRUE(read.more);
}

class KitValidation : public ::testing::Test {
protected:
    void SetUp() override { consoleCaptureTo(&output); }
    void TearDown() override { consoleCaptureTo(nullptr); }

    // Beyond the values read the image holds zeros, as in a fresh run.
    Outcome validate(const Bytes& bytes) {
        image->count = static_cast<uint16_t>(bytes.size());
        std::fill(std::begin(image->bytes), std::end(image->bytes), 0);
        std::copy(bytes.begin(), bytes.end(), image->bytes);
        return validateKitImage(*image);
    }

    std::unique_ptr<KitImage> image = std::make_unique<KitImage>();
    std::string output;
};

const std::string UPGRADE_ERROR = sayText(Say::KitError);

TEST_F(KitValidation, AcceptsGoodRecords) {
    EXPECT_EQ(validate({0x00, 0x04, 0xAA, 0xBB, 0x9B, 0xFE}), Outcome::GoOn);
    Bytes several = makeSampleImage(40, 30, 7);
    Bytes empty = makeKitRecord({});  // length 2: the checksum word only
    several.insert(several.end(), empty.begin(), empty.end());
    EXPECT_EQ(validate(several), Outcome::GoOn);
    EXPECT_EQ(output, "");
}

TEST_F(KitValidation, RefusesEveryCorruptionOfTheRecord) {
    const Bytes good = {0x00, 0x04, 0xAA, 0xBB, 0x9B, 0xFE};
    // A changed payload or checksum byte breaks the sum; a changed length
    // moves the record's end.
    for (size_t i = 0; i < good.size(); ++i) {
        Bytes bad = good;
        bad[i] ^= 0x01;
        output.clear();
        EXPECT_EQ(validate(bad), Outcome::Stop) << "byte " << i;
        EXPECT_EQ(output, UPGRADE_ERROR) << "byte " << i;
    }
}

TEST_F(KitValidation, StopsAtTheFirstBadRecordOfSeveral) {
    Bytes bytes = makeSampleImage(5, 20, 3);
    bytes[3 * 24 + 10] ^= 0x40;  // payload of the fourth record
    EXPECT_EQ(validate(bytes), Outcome::Stop);
    EXPECT_EQ(output, UPGRADE_ERROR);
}

TEST_F(KitValidation, RefusesRecordsThatDoNotFitTheImage) {
    Bytes good = makeKitRecord({1, 2, 3});
    struct Case {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"no record at all", {}},
        {"length 0", {0x00, 0x00, 0x00, 0x00}},
        {"length 1", {0x00, 0x01, 0x00, 0x00}},
        {"a lone length byte", {0x00}},
        {"good record, then a lone byte", good},
        {"size past the count", {0x00, 0x08, 0x01, 0x02, 0xFD, 0xFF}},
        {"checksum word cut off, payload summing to 0", {0x00, 0x04, 0x00, 0x00}},
        {"length 0xFFFE wraps to size 0", {0xFF, 0xFE, 0x00, 0x00}},
        {"length 0xFFFF wraps to size 1", {0xFF, 0xFF, 0x01, 0x00}},
    };
    cases[4].bytes.push_back(0x00);
    for (const auto& c : cases) {
        output.clear();
        EXPECT_EQ(validate(c.bytes), Outcome::Stop) << c.name;
        EXPECT_EQ(output, UPGRADE_ERROR) << c.name;
    }
}

TEST_F(KitValidation, ALargestImageOfManyRecords) {
    // 2 849 records of 23 bytes: 65 527 values, close to what the count holds.
    Bytes bytes = makeSampleImage(2849, 19, 11);
    ASSERT_LE(bytes.size(), KIT_MAX_VALUES);
    EXPECT_EQ(validate(bytes), Outcome::GoOn);
    bytes[bytes.size() - 1] ^= 1;
    EXPECT_EQ(validate(bytes), Outcome::Stop);
}

#ifndef _WIN32
// A file whose reads fail past `limit` bytes of `text` (a failing disk).
struct FailingFile {
    std::string text;
    size_t at;
    size_t limit;
};

FILE* openFailing(FailingFile& f) {
    cookie_io_functions_t io = {};
    io.read = [](void* cookie, char* into, size_t room) -> ssize_t {
        auto& file = *static_cast<FailingFile*>(cookie);
        if (file.at >= file.text.size()) return 0;
        if (file.at >= file.limit) return -1;
        size_t n = std::min({room, file.text.size() - file.at, file.limit - file.at});
        std::memcpy(into, file.text.data() + file.at, n);
        file.at += n;
        return static_cast<ssize_t>(n);
    };
    return fopencookie(&f, "rb", io);
}

// Failing at a record boundary leaves an image of valid records: only the
// read's own failure tells.
TEST(KitReader, AFailedReadIsNoEndOfTheKit) {
    const std::string text = kitText(makeSampleImage(24, 32, 9));  // records of 36 bytes, 3 characters each
    const struct {
        size_t limit;
        KitReading reading;
    } cases[] = {{0, KitReading::Failed}, {10 * 36 * 3, KitReading::Failed}, {10 * 36 * 3 + 1, KitReading::Failed},
                 {text.size() - 1, KitReading::Failed}, {text.size(), KitReading::Whole}};
    auto image = std::make_unique<KitImage>();
    for (const auto& c : cases) {
        FailingFile f = {text, 0, c.limit};
        FILE* file = openFailing(f);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(readKitFile(file, *image), c.reading) << "failing after " << c.limit;
        std::fclose(file);
    }
    EXPECT_EQ(image->count, 24 * 36);
}

#endif

// Reads `bytes` as a kit file: how, the image, and the facts.
KitReading readBytes(const std::string& bytes, KitImage& image, KitFileFacts& facts) {
    FILE* file = std::tmpfile();
    if (file == nullptr) return KitReading::Failed;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    KitReading reading = readKitFile(file, image, &facts);
    std::fclose(file);
    return reading;
}

// The account's facts of the kit file are those of the bytes read: its size
// and SHA-256 (FIPS 180-4's examples, the 56-byte one ending where the
// padding needs a second block).
TEST(KitFacts, SizeAndSha256OfTheBytesRead) {
    const struct {
        std::string text;
        const char* sha256;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(100000, 'a'), "6d1cf22d7cc09b085dfc25ee1a1f3ae0265804c607bc2074ad253bcc82fd81ee"},
    };
    auto image = std::make_unique<KitImage>();
    for (const auto& c : cases) {
        KitFileFacts facts;
        readBytes(c.text, *image, facts);
        EXPECT_EQ(facts.bytes, c.text.size());
        EXPECT_STREQ(facts.sha256, c.sha256) << c.text.size() << " bytes";
    }
}

// UTF-16 text of `ascii`, after its byte order mark.
std::string utf16(const std::string& ascii, bool bigEndian) {
    std::string text = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) text += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return text;
}

// A kit is read whole or refused: its values may follow a byte order mark
// or be UTF-16 text; where they stop at a character with a whole record
// behind it, the image was cut short; a trailer that holds no record is no
// part of it. Kits of real size: 9 records of 2 000 bytes.
TEST(KitReader, WholeOrCutShort) {
    const Bytes kit = makeSampleImage(9, 1996, 5);
    const std::string text = kitText(kit);
    const size_t sixth = text.find(kitText(Bytes(kit.begin() + 5 * 2000, kit.begin() + 6 * 2000)).substr(0, 12));
    ASSERT_NE(sixth, std::string::npos);
    const std::string nbsp = "\xC2\xA0";
    const struct {
        const char* name;
        std::string bytes;
        KitReading reading;
        size_t values;
        const char* encoding;
    } cases[] = {
        {"plain", text, KitReading::Whole, kit.size(), "plain"},
        {"after a UTF-8 byte order mark", "\xEF\xBB\xBF" + text, KitReading::Whole, kit.size(),
         "UTF-8 with a byte order mark"},
        {"UTF-16, little-endian", utf16(text, false), KitReading::Whole, kit.size(), "UTF-16, little-endian"},
        {"UTF-16, big-endian", utf16(text, true), KitReading::Whole, kit.size(), "UTF-16, big-endian"},
        {"a non-breaking space before record 6", text.substr(0, sixth) + nbsp + text.substr(sixth),
         KitReading::CutShort, 5 * 2000, "plain"},
        {"the same in UTF-16", utf16(text.substr(0, sixth) + "\xA0" + text.substr(sixth), false), KitReading::CutShort,
         5 * 2000, "UTF-16, little-endian"},
        {"a stray letter before record 6", text.substr(0, sixth) + "z" + text.substr(sixth), KitReading::CutShort,
         5 * 2000, "plain"},
        {"a colon, then the kit", ":" + text, KitReading::CutShort, 0, "plain"},
        {"a trailer of text", text + "; made by the kit tool, 9 records\r\n", KitReading::Whole, kit.size(), "plain"},
        {"a DOS end-of-file mark", text + "\x1A", KitReading::Whole, kit.size(), "plain"},
        {"a stray character before a damaged record",
         text.substr(0, sixth) + "z" + text.substr(sixth, 9) + (text[sixth + 9] == '0' ? "1" : "0") +
             text.substr(sixth + 10),
         KitReading::CutShort,
         5 * 2000, "plain"},
        {"a trailer whose values declare more than follow", text + "; FF FF 01", KitReading::Whole, kit.size(),
         "plain"},
        {"empty", "", KitReading::Whole, 0, "plain"},
        {"a byte order mark alone", "\xEF\xBB\xBF", KitReading::Whole, 0, "UTF-8 with a byte order mark"},
    };
    auto image = std::make_unique<KitImage>();
    for (const auto& c : cases) {
        KitFileFacts facts;
        EXPECT_EQ(readBytes(c.bytes, *image, facts), c.reading) << c.name;
        EXPECT_EQ(image->count, c.values) << c.name;
        EXPECT_STREQ(facts.encoding, c.encoding) << c.name;
        EXPECT_EQ(facts.bytes, c.bytes.size()) << c.name;
        EXPECT_EQ(Bytes(image->bytes, image->bytes + image->count), Bytes(kit.begin(), kit.begin() + c.values))
            << c.name;
    }
}

#ifndef _WIN32
// The search's own name rules, where the file system has no wildcard search.
TEST(KitSearch, PosixNameRules) {
    EXPECT_TRUE(isKitFileName("Calvenor_Pro.kit"));
    EXPECT_TRUE(isKitFileName("x.KIT"));
    EXPECT_TRUE(isKitFileName(".kit"));
    EXPECT_FALSE(isKitFileName("kit"));
    EXPECT_FALSE(isKitFileName("a.kits"));
    EXPECT_FALSE(isKitFileName("a_kit"));

    EXPECT_TRUE(kitNameBefore("abc.kit", "ABD.kit"));
    EXPECT_FALSE(kitNameBefore("Other.kit", "calvenor_pro.kit"));
    EXPECT_TRUE(kitNameBefore("a.kit", "a.kitx"));
    EXPECT_TRUE(kitNameBefore("B.kit", "b.kit"));  // case twins: byte order
    EXPECT_FALSE(kitNameBefore("b.kit", "B.kit"));
    EXPECT_TRUE(kitNameBefore("a.kit", "_.kit"));  // letters fold to upper case, 'A' < '_'
}
#endif

TEST(KitSearch, Prefix) {
    EXPECT_TRUE(hasKitPrefix("Calvenor_Pro_v2.kit"));
    EXPECT_TRUE(hasKitPrefix("CALVENOR_PRO_x.kit"));
    EXPECT_TRUE(hasKitPrefix("calvenor_pro"));
    EXPECT_FALSE(hasKitPrefix("Calvenor_Pr"));
    EXPECT_FALSE(hasKitPrefix("Calvenor_Prx.kit"));  // only the twelfth character differs
    EXPECT_FALSE(hasKitPrefix("Calvenor-Pro.kit"));
    EXPECT_FALSE(hasKitPrefix("Other.kit"));
}

}  // namespace
