// The phone interface's JSON writer and bounded reader.
#include "json.h"

#include <gtest/gtest.h>

TEST(JsonWriter, HostileTitleCannotCloseAScriptOrAString)
{
    jsonwriter w;
    w.beginobject().key("title").value("<script>alert(1)</script> \"&\" \\").endobject();
    EXPECT_EQ(w.text(), "{\"title\":\"\\u003cscript\\u003ealert(1)\\u003c/script\\u003e \\\"\\u0026\\\" \\\\\"}");
}

TEST(JsonWriter, ControlCharactersAndLineSeparatorsAreEscaped)
{
    EXPECT_EQ(jsonstring(std::string("a\nb\x01\t\x7f", 6) + std::string(1, '\0')), "\"a\\nb\\u0001\\t\\u007f\\u0000\"");
    EXPECT_EQ(jsonstring("x\xe2\x80\xa8y"), "\"x\\u2028y\"");
}

TEST(JsonWriter, Latin1BytesComeOutAsTheCharactersTheScreenShows)
{
    // "Bj\xf6rk" as a Latin-1 file name: the player reads the lone byte as U+00F6.
    EXPECT_EQ(jsonstring("Bj\xf6rk"), "\"Bj\xc3\xb6rk\"");
    EXPECT_EQ(jsonstring("Bj\xc3\xb6rk"), "\"Bj\xc3\xb6rk\"");
}

TEST(JsonWriter, NestsWithCommasInPlace)
{
    jsonwriter w;
    w.beginobject().key("a").beginarray().value(1).value(true).null().beginobject().endobject().endarray();
    w.key("b").value(-7LL).endobject();
    EXPECT_EQ(w.text(), "{\"a\":[1,true,null,{}],\"b\":-7}");
}

TEST(JsonReader, ReadsTheMembersOfARequest)
{
    jsonobject o;
    std::string why;
    ASSERT_TRUE(readjsonobject(" {\"song\": 12, \"singer\" : \"Bj\\u00f6rk \\ud83c\\udfa4\", \"key\":-2,"
                               "\"x\":null,\"y\":true}\n", o, why)) << why;
    ASSERT_EQ(o.members.size(), 5u);
    EXPECT_EQ(o.find("song")->number, 12);
    EXPECT_EQ(o.find("singer")->text, "Bj\xc3\xb6rk \xf0\x9f\x8e\xa4");
    EXPECT_EQ(o.find("key")->number, -2);
    EXPECT_EQ(o.find("x")->kind, jsonvalue::NUL);
    EXPECT_TRUE(o.find("y")->truth);
    EXPECT_EQ(o.find("nothing"), nullptr);
}

TEST(JsonReader, RefusesWhatTheInterfaceNeverSends)
{
    std::string many = "{";
    for (int i = 0; i < 17; i++)
        many += std::string(i ? "," : "") + "\"k" + std::to_string(i) + "\":1";
    many += "}";
    const char* cases[] = {
        "", "[]", "12", "\"x\"", "{", "{\"a\"}", "{\"a\":}", "{\"a\":1,}", "{\"a\":1} x", "{\"a\":{}}",
        "{\"a\":[1]}", "{\"a\":1.5}", "{\"a\":1e3}", "{\"a\":01}", "{\"a\":-}", "{\"a\":10000000000001}",
        "{\"a\":\"x\ny\"}", "{\"a\":\"\\ud800\"}", "{\"a\":\"\\udc00x\"}", "{\"a\":\"\\u00\"}", "{\"a\":\"\\q\"}",
        "{\"a\":\"\\u0000\"}", "{\"a\":\"\xff\"}", "{\"a\":\"open}", "{\"a\":1,\"a\":2}", "{\"a\":tru}",
        "{'a':1}",
    };
    for (const char* c : cases) {
        jsonobject o;
        std::string why;
        EXPECT_FALSE(readjsonobject(c, o, why)) << c;
        EXPECT_FALSE(why.empty()) << c;
        EXPECT_TRUE(o.members.empty()) << c;
    }
    jsonobject o;
    std::string why;
    EXPECT_FALSE(readjsonobject(many, o, why));
    EXPECT_FALSE(readjsonobject("{\"" + std::string(33, 'k') + "\":1}", o, why));
    EXPECT_TRUE(readjsonobject("{\"" + std::string(32, 'k') + "\":1}", o, why));
    std::string big = "{\"a\":\"" + std::string(4096, 'x') + "\"}";
    EXPECT_FALSE(readjsonobject(big, o, why));
    EXPECT_EQ(why, "the request is too large");
}

TEST(JsonReader, TakesBackEverythingTheWriterWrites)
{
    std::string text = "\x01<\xe2\x80\xa8>\"\\ \xf0\x9f\x8e\xa4 \x7f";
    jsonwriter w;
    w.beginobject().key("t<").value(text).key("n").value(-1000000000000LL).endobject();
    jsonobject o;
    std::string why;
    ASSERT_TRUE(readjsonobject(w.text(), o, why)) << why;
    EXPECT_EQ(o.find("t<")->text, text);
    EXPECT_EQ(o.find("n")->number, -1000000000000LL);
}
