// Comparing the product's names and prefixes.
#pragma once

// Whether `text` begins with `prefix`, ignoring the letter case of A-Z
// (every other byte as it is); a shorter text does not.
inline bool startsWithIgnoringCase(const char* text, const char* prefix) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (; *prefix != 0; ++text, ++prefix)
        if (*text == 0 || lower(static_cast<unsigned char>(*text)) != lower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}
