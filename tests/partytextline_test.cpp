// A line typed on the party's big screen: whole UTF-8 characters in, whole characters out.
#include "textline.h"

#include <gtest/gtest.h>

namespace {

TEST(TextLine, TypedCharactersAreKeptAsUtf8)
{
    textline t;
    for (int ch : std::initializer_list<int>{'B', 'j', 0xF6, 'r', 'k', ' ', 0x4E2D, 0x1F3A4})
        ASSERT_TRUE(t.type(ch)) << ch;
    EXPECT_EQ(t.text(), "Bj\xC3\xB6rk \xE4\xB8\xAD\xF0\x9F\x8E\xA4");
    EXPECT_EQ(t.length(), 8u);
}

TEST(TextLine, BackspaceRemovesOneWholeCharacter)
{
    textline t;
    for (int ch : std::initializer_list<int>{'a', 0xE9, 0x1F3A4})
        t.type(ch);
    ASSERT_TRUE(t.backspace());
    EXPECT_EQ(t.text(), "a\xC3\xA9");
    ASSERT_TRUE(t.backspace());
    EXPECT_EQ(t.text(), "a");
    ASSERT_TRUE(t.backspace());
    EXPECT_FALSE(t.backspace());
    EXPECT_TRUE(t.empty());
}

TEST(TextLine, ControlCharactersSurrogatesAndAFullLineAreRefused)
{
    textline t(3);
    for (int ch : {0, 9, 13, 27, 127, 0x85, 0xD800, 0x110000})
        EXPECT_FALSE(t.type(ch)) << ch;
    EXPECT_TRUE(t.empty());
    EXPECT_TRUE(t.type('a') && t.type('b') && t.type(0xE9));
    EXPECT_FALSE(t.type('d'));
    EXPECT_EQ(t.text(), "ab\xC3\xA9");
}

TEST(TextLine, ClearEmptiesAndSaysWhetherThereWasAnything)
{
    textline t;
    EXPECT_FALSE(t.clear());
    t.type('x');
    EXPECT_TRUE(t.clear());
    EXPECT_TRUE(t.empty());
}

TEST(TextLine, AStoredNameComesBackInWholeCharactersCutAtTheLimit)
{
    textline t(4);
    // A Latin-1 byte (0xE9) is read as the character it stands for; a control character is dropped.
    t.set("Ren\xE9\x01 the singer");
    EXPECT_EQ(t.text(), "Ren\xC3\xA9");
    t.set("\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(t.text(), "\xC3\xA9t\xC3\xA9");
}

TEST(TidySpaces, TrimsTheEndsAndMakesRunsOne)
{
    EXPECT_EQ(tidyspaces("  Ann   and  Bo "), "Ann and Bo");
    EXPECT_EQ(tidyspaces("   "), "");
    EXPECT_EQ(tidyspaces("x"), "x");
}

} // namespace
