#include "runtime/text.h"

#include <windows.h>

size_t FormatUnsigned(uint64_t value, char (&out)[DECIMAL_TEXT_SIZE]) {
    char digits[DECIMAL_TEXT_SIZE];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < n; ++i)
        out[i] = digits[n - 1 - i];
    out[n] = '\0';
    return n;
}

size_t FormatSigned(int64_t value, char (&out)[DECIMAL_TEXT_SIZE]) {
    if (value >= 0) return FormatUnsigned(static_cast<uint64_t>(value), out);
    char magnitude[DECIMAL_TEXT_SIZE];
    // Negating in unsigned arithmetic is safe for the most negative value too.
    size_t n = FormatUnsigned(0 - static_cast<uint64_t>(value), magnitude);
    out[0] = '-';
    for (size_t i = 0; i <= n; ++i)
        out[i + 1] = magnitude[i];
    return n + 1;
}

int32_t ParseDecimal(const char* text) {
    if (!text) return 0;
    while (*text == ' ')
        ++text;
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    } else if (*text == '+') {
        ++text;
    }
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10u + static_cast<uint32_t>(*text - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

bool TextEquals(const char* a, const char* b) {
    if (!a || !b) return a == b;
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

size_t CopyText(char* out, size_t size, const char* text) {
    size_t n = 0;
    if (text) {
        for (; n + 1 < size && text[n]; ++n)
            out[n] = text[n];
        if (text[n]) n = WholeCharactersLength(out, n);
    }
    out[n] = '\0';
    return n;
}

size_t CopyTextMarkingCut(char* out, size_t size, const char* text) {
    constexpr char CUT_MARK[] = "...";
    const size_t copied = CopyText(out, size, text);
    if (!text || text[copied] == '\0') return copied;
    const size_t room = size - sizeof CUT_MARK;
    const size_t kept = WholeCharactersLength(out, copied < room ? copied : room);
    return kept + CopyText(out + kept, size - kept, CUT_MARK);
}

// True for a double-byte code page (Japanese, Chinese, Korean); false for UTF-8,
// whose letters hold no byte below 0x80 past their first, and a single-byte one.
static bool IsDoubleByte(unsigned codePage) {
    CPINFO info;
    return codePage != CP_UTF8 && GetCPInfo(codePage, &info) && info.MaxCharSize > 1;
}

size_t WholeCharactersLength(const char* text, size_t length) {
    return WholeCharactersLength(text, length, GetACP());
}

size_t WholeCharactersLength(const char* text, size_t length, unsigned codePage) {
    if (codePage == CP_UTF8) {
        // Back over the continuation bytes (10xxxxxx) at the end to the letter's first byte.
        size_t lead = length;
        while (lead > 0 && length - lead < 4 && (text[lead - 1] & 0xC0) == 0x80)
            --lead;
        if (lead == 0) return length;
        const auto first = static_cast<unsigned char>(text[--lead]);
        const size_t letter = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
        return length - lead < letter ? lead : length;
    }
    // A double-byte code page: a trail byte can look like a lead byte or a plain
    // letter, so the letters are counted from the start.
    if (!IsDoubleByte(codePage)) return length;
    size_t whole = 0;
    while (whole < length) {
        const size_t letter = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[whole])) ? 2 : 1;
        if (whole + letter > length) break;
        whole += letter;
    }
    return whole;
}

const char* PathLastPart(const char* path) {
    return PathLastPart(path, GetACP());
}

const char* PathLastPart(const char* path, unsigned codePage) {
    const bool doubleByte = IsDoubleByte(codePage);
    const char* last = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '\\') {
            last = c + 1;
        } else if (doubleByte && c[1] && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*c))) {
            ++c; // its trail byte, whatever it looks like
        }
    }
    return last;
}

size_t TextLength(const char* text, size_t limit) {
    size_t n = 0;
    if (text) {
        while (n < limit && text[n])
            ++n;
    }
    return n;
}

size_t TextLength(const char* text) {
    return TextLength(text, SIZE_MAX);
}

char* FindCharacter(char* text, char c) {
    for (; *text; ++text) {
        if (*text == c) return text;
    }
    return nullptr;
}
