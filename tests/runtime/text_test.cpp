#include <gtest/gtest.h>

#include <windows.h>

#include "runtime/text.h"
#include "support/test_module.h"

TEST(ParseDecimal, ReadsWhatTheListWrites) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {" 42", 42},
        {"-7", -7},
        {"+5", 5},
        {"12ab", 12},
        {"", 0},
        {"abc", 0},
        {"\t9", 0},
        {"   -0", 0},
        {"4294967295", -1},
        {"2147483648", INT32_MIN},
        {"-2147483648", INT32_MIN},
        {"4294967296", 0},
        {"+-3", 0},
        {"- 3", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseDecimal(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(ParseDecimal(nullptr), 0);
}

TEST(FormatDecimal, SignedAndUnsignedRoundTrip) {
    char text[DECIMAL_TEXT_SIZE];
    EXPECT_EQ(FormatSigned(0, text), 1u);
    EXPECT_STREQ(text, "0");
    FormatSigned(-2147483648LL, text);
    EXPECT_STREQ(text, "-2147483648");
    FormatSigned(INT64_MIN, text);
    EXPECT_STREQ(text, "-9223372036854775808");
    FormatUnsigned(4294967295u, text);
    EXPECT_STREQ(text, "4294967295");
    for (int32_t v : {1, -1, 1234, -98765, INT32_MAX, INT32_MIN}) {
        FormatSigned(v, text);
        EXPECT_EQ(ParseDecimal(text), v) << text;
    }
}

TEST(TextEquals, IsExactAndWhole) {
    EXPECT_TRUE(TextEquals("RUN", "RUN"));
    EXPECT_FALSE(TextEquals("RUN", "RUNNING"));
    EXPECT_FALSE(TextEquals("RUN", "run"));
    EXPECT_FALSE(TextEquals("", "RUN"));
    EXPECT_FALSE(TextEquals(nullptr, ""));
    EXPECT_TRUE(TextEquals(nullptr, nullptr));
}

TEST(CopyText, StaysInsideItsBuffer) {
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(CopyText(out, sizeof out, "abcdef"), 3u);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(CopyText(out, 1, "abc"), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(CopyText(out, sizeof out, nullptr), 0u);

    // The test programs declare UTF-8 as their code page: a cut leaves out a letter
    // that does not fit whole (here the second of two four-byte letters).
    if (SystemIgnoresUtf8CodePage()) return;
    ASSERT_EQ(GetACP(), UINT(CP_UTF8));
    char letters[8];
    EXPECT_EQ(CopyText(letters, sizeof letters, "a\xF0\x9F\x98\x80\xF0\x9F\x98\x80"), 5u);
    EXPECT_STREQ(letters, "a\xF0\x9F\x98\x80");
}

TEST(WholeCharactersLength, CutsBeforeALetterThatDoesNotFitInAnyCodePage) {
    struct Case {
        unsigned codePage;
        const char* text;
        size_t length, whole;
    } cases[] = {
        // Japanese: a letter's trail byte can look like a lead byte (亜: 88 9F) or
        // like a plain character (ソ: 83 5C, its trail a backslash).
        {932, "a\x88\x9F", 3, 3},
        {932, "a\x88\x9F", 2, 1},
        {932,
         "\x83\x5C"
         "b",
         1, 0},
        {932,
         "\x83\x5C"
         "b",
         2, 2},
        {932, "abc", 2, 2},
        {CP_UTF8, "a\xD0\x96", 2, 1}, // Ж cut after its first byte
        {CP_UTF8, "a\xD0\x96", 3, 3},
        {1252, "a\xD0\x96", 2, 2}, // one byte a letter
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WholeCharactersLength(c.text, c.length, c.codePage), c.whole)
            << "code page " << c.codePage << ", " << c.length << " bytes of " << c.text;
    }
}

TEST(PathLastPart, TakesTheLastBackslashThatIsNoTrailByte) {
    struct Case {
        unsigned codePage;
        const char* path;
        const char* last;
    } cases[] = {
        // 表示 in 932 is 95 5C 8E A6: a trail byte 0x5C, the backslash's byte.
        {932, "C:\\kcp\\\x95\x5C\x8E\xA6.exe", "\x95\x5C\x8E\xA6.exe"},
        // 乗俓 in 936 is 81 5C 82 5C, and 許功 in 950 is B3 5C A5 5C: both trails 0x5C.
        {936, "C:\\kcp\\\x81\x5C\x82\x5C.exe", "\x81\x5C\x82\x5C.exe"},
        {950, "C:\\kcp\\\xB3\x5C\xA5\x5C.exe", "\xB3\x5C\xA5\x5C.exe"},
        // Elsewhere 0x5C is always a backslash: after a byte that leads a letter in
        // UTF-8 (E8) or in 932 (95, here the letter •), and before Ж and Ü.
        {CP_UTF8, "C:\\kcp\xE8\\\xD0\x96.exe", "\xD0\x96.exe"},
        {1252, "C:\\kcp\x95\\\xDC.exe", "\xDC.exe"},
        {932, "kcp.exe", "kcp.exe"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(PathLastPart(c.path, c.codePage), c.last)
            << "code page " << c.codePage << ", " << c.path;
    }
}
