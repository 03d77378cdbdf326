// The device owners' guide explains every message the program can print,
// and only those: its table is compared with the texts in the sources.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>

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

// The string literals passed to `call`, joined as the compiler joins
// adjacent literals.
void addCallTexts(const std::string& source, const std::string& call, Texts& texts) {
    for (size_t at = source.find(call); at != std::string::npos; at = source.find(call, at + 1)) {
        std::string printed;
        size_t i = at + call.size();
        for (;;) {
            while (i < source.size() && std::isspace(static_cast<unsigned char>(source[i]))) ++i;
            if (i >= source.size() || source[i] != '"') break;
            for (++i; i < source.size() && source[i] != '"'; ++i) {
                if (source[i] != '\\') {
                    printed += source[i];
                    continue;
                }
                char e = source[++i];
                printed += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
            }
            ++i;
        }
        addLines(printed, texts);
    }
}

Texts programTexts() {
    Texts texts;
    for (const char* folder : {"core", "kit", "midi", "backends", "protocol", "app"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(UPDATE_SOURCE_DIR) / folder)) {
            if (entry.path().extension() != ".cpp") continue;
            std::string source = readFile(entry.path().string());
            addCallTexts(source, "consolePrint(", texts);
            addCallTexts(source, "fputs(", texts);  // the pause's prompt
        }
    }
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

}  // namespace
