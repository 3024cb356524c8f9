// Paths between UTF-16 (the library's boundary) and UTF-8 (the file system and
// the command line), in both directions.
#include "PathConversion.h"

#include <gtest/gtest.h>

using mavrel::utf16ToUtf8;
using mavrel::utf8ToUtf16;

TEST(PathConversion, EncodesEachLength) {
    EXPECT_EQ(utf16ToUtf8(u"in.wav"), "in.wav");
    EXPECT_EQ(utf16ToUtf8(u"caf\u00e9"), "caf\xc3\xa9");
    EXPECT_EQ(utf16ToUtf8(u"\u65e5\u672c"), "\xe6\x97\xa5\xe6\x9c\xac");
    EXPECT_EQ(utf16ToUtf8(u"\U0001F3B5.wav"), "\xf0\x9f\x8e\xb5.wav");
    EXPECT_EQ(utf16ToUtf8(u""), "");
}

TEST(PathConversion, UnpairedSurrogatesAreRefused) {
    const char16_t highAtEnd[] = {u'a', 0xD83C, 0};
    const char16_t highThenLetter[] = {0xD83C, u'a', 0};
    const char16_t loneLow[] = {u'a', 0xDF75, u'b', 0};
    const char16_t twoHighs[] = {0xD83C, 0xD83C, 0xDF75, 0};
    EXPECT_FALSE(utf16ToUtf8(highAtEnd));
    EXPECT_FALSE(utf16ToUtf8(highThenLetter));
    EXPECT_FALSE(utf16ToUtf8(loneLow));
    EXPECT_FALSE(utf16ToUtf8(twoHighs));
}

// Every Unicode scalar value survives UTF-8 -> UTF-16 -> UTF-8.
TEST(PathConversion, EveryCodePointRoundTrips) {
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        std::string utf8;
        const auto add = [&utf8](char32_t byte) { utf8.push_back(static_cast<char>(byte)); };
        if (c < 0x80) {
            add(c);
        } else if (c < 0x800) {
            add(0xC0 | (c >> 6));
            add(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            add(0xE0 | (c >> 12));
            add(0x80 | ((c >> 6) & 0x3F));
            add(0x80 | (c & 0x3F));
        } else {
            add(0xF0 | (c >> 18));
            add(0x80 | ((c >> 12) & 0x3F));
            add(0x80 | ((c >> 6) & 0x3F));
            add(0x80 | (c & 0x3F));
        }
        const auto wide = utf8ToUtf16(utf8);
        ASSERT_TRUE(wide) << std::hex << static_cast<unsigned long>(c);
        ASSERT_EQ(wide->size(), c >= 0x10000 ? 2U : 1U);
        ASSERT_EQ(utf16ToUtf8(wide->c_str()), utf8) << std::hex << static_cast<unsigned long>(c);
    }
}

TEST(PathConversion, InvalidUtf8IsRefused) {
    for (const char* bad : {"\x80", "a\xbf", "\xc0\xaf", "\xc1\xbf", "\xe0\x80\xaf", "\xed\xa0\x80",
                            "\xf4\x90\x80\x80", "\xf5\x80\x80\x80", "\xc3", "\xe6\x97",
                            "\xf0\x9f\x8e", "\xfe", "\xff"}) {
        EXPECT_FALSE(utf8ToUtf16(bad)) << bad;
    }
}
