// The device owners' guide explains every message the program can print,
// and only those: its table is compared with the console's table of fixed
// texts and the profiles' banners.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "core/console_texts.h"
#include "protocol/target_profile.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::set<std::string>;

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Each line of a printed text, without its padding, with the conversions
// (%s, %d, %c) written as "<>" and "%%" as "%".
void addLines(const std::string& printed, Texts& texts) {
    std::string line;
    for (size_t i = 0; i <= printed.size(); ++i) {
        char c = i < printed.size() ? printed[i] : '\n';
        if (c == '%' && i + 1 < printed.size()) {
            char next = printed[++i];
            line += next == '%' ? "%" : "<>";
        } else if (c == '\n' || c == '\r') {
            if (!trimmed(line).empty()) texts.insert(trimmed(line));
            line.clear();
        } else {
            line += c;
        }
    }
}

Texts programTexts() {
    Texts texts;
    for (const ConsoleText& text : CONSOLE_TEXTS) addLines(text.format, texts);
    addLines(STANDARD_PROFILE.banner, texts);
    addLines(GD32_PROFILE.banner, texts);
    return texts;
}

// The guide's table: the lines in double quotes at the start of a line,
// with its placeholders (<name>, <number>, ...) written as "<>".
Texts guideTexts() {
    Texts texts;
    std::istringstream guide(readFile((fs::path(UPDATE_SOURCE_DIR) / "docs" / "guide.txt").string()));
    std::string line;
    while (std::getline(guide, line)) {
        if (line.size() < 2 || line.front() != '"' || line.back() != '"') continue;
        std::string text;
        for (size_t i = 1; i + 1 < line.size(); ++i) {
            if (line[i] == '<') {
                i = line.find('>', i);
                text += "<>";
            } else {
                text += line[i];
            }
        }
        texts.insert(text);
    }
    return texts;
}

TEST(Guide, ExplainsEveryMessageOfTheProgramAndNoOther) {
    Texts program = programTexts();
    Texts guide = guideTexts();
    ASSERT_GT(program.size(), 20u);
    for (const std::string& text : program) EXPECT_EQ(guide.count(text), 1u) << "not in the guide: " << text;
    for (const std::string& text : guide) EXPECT_EQ(program.count(text), 1u) << "not printed by the program: " << text;
}

// The table's bytes are the product's wording, line breaks and padding
// included, which the guide's comparison of trimmed lines does not see:
// any change to a byte of a text changes this digest.
TEST(Guide, TheFixedTextsKeepEveryByte) {
    std::string all;
    for (const ConsoleText& text : CONSOLE_TEXTS) all += std::string(text.format) + '\0';
    EXPECT_EQ(sha256Hex(all), "f0223d9bd3fbdca2d83aae41bcd8ead44e52127fa182e6f0474829679e6fda61");
}

}  // namespace
