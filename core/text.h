// Comparing the product's names and prefixes.
#pragma once

// A-Z as a-z; every other byte as it is.
inline int lowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// Whether `text` begins with `prefix`, ignoring the letter case of A-Z; a
// shorter text does not.
inline bool startsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix != 0; ++text, ++prefix)
        if (*text == 0 || lowerAscii(static_cast<unsigned char>(*text)) != lowerAscii(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}
