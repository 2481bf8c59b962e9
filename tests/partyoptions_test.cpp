// tralune-party's command line read into its options.
#include "options.h"

#include <gtest/gtest.h>

namespace {

partyrun read(std::vector<std::string> args, partyoptions& o, std::string& error)
{
    return readpartyoptions(args, o, error);
}

TEST(PartyOptions, FoldersAndOptionsMixInAnyOrderWithBothFormsOfAValue)
{
    partyoptions o;
    std::string error;
    ASSERT_EQ(read({"songs", "--countdown", "3", "--data=/tmp/d", "more songs", "--name-order=title-artist"}, o, error),
              partyrun::RUN)
        << error;
    EXPECT_EQ(o.folders, (std::vector<std::string>{"songs", "more songs"}));
    EXPECT_EQ(o.countdown, 3);
    EXPECT_EQ(o.data, "/tmp/d");
    EXPECT_EQ(o.order, nameorder::titleartist);
    EXPECT_TRUE(o.ordergiven);
}

TEST(PartyOptions, DefaultsHoldWithoutOptions)
{
    partyoptions o;
    std::string error;
    ASSERT_EQ(read({}, o, error), partyrun::RUN);
    EXPECT_TRUE(o.folders.empty());
    EXPECT_EQ(o.countdown, 5);
    EXPECT_EQ(o.data, "");
    EXPECT_EQ(o.order, nameorder::artisttitle);
    EXPECT_FALSE(o.ordergiven);
}

TEST(PartyOptions, TheDisplayIsAskedForAsTraluneAsksForIt)
{
    partyoptions o;
    std::string error;
    EXPECT_EQ(o.mode, displaymode::fullscreen);
    ASSERT_EQ(read({"--window"}, o, error), partyrun::RUN);
    EXPECT_EQ(o.mode, displaymode::window);
    ASSERT_EQ(read({"--mode-switch"}, o, error), partyrun::RUN);
    EXPECT_EQ(o.mode, displaymode::modeswitch);
    EXPECT_EQ(read({"--window=yes"}, o, error), partyrun::FAIL);
    EXPECT_EQ(error, "--window takes no value");
}

TEST(PartyOptions, AfterTwoDashesEverythingIsAFolder)
{
    partyoptions o;
    std::string error;
    ASSERT_EQ(read({"--", "--help", "-"}, o, error), partyrun::RUN);
    EXPECT_EQ(o.folders, (std::vector<std::string>{"--help", "-"}));
}

TEST(PartyOptions, BadValuesAndUnknownOptionsFailWithTheirReason)
{
    struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--countdown"}, "--countdown needs SECONDS"},
        {{"--countdown", "61"}, "--countdown must be a whole number of seconds from 0 to 60"},
        {{"--countdown=-1"}, "--countdown must be a whole number of seconds from 0 to 60"},
        {{"--countdown", "2.5"}, "--countdown must be a whole number of seconds from 0 to 60"},
        {{"--name-order", "artist"}, "--name-order must be artist-title or title-artist"},
        {{"--data="}, "--data needs a folder"},
        {{"--colour", "red"}, "unknown option --colour (--help lists them)"},
    };
    for (auto& c : cases) {
        partyoptions o;
        std::string error;
        EXPECT_EQ(read(c.args, o, error), partyrun::FAIL) << c.args[0];
        EXPECT_EQ(error, c.error);
    }
}

TEST(PartyOptions, HelpAndVersionAnswerWhateverFollows)
{
    partyoptions o;
    std::string error;
    EXPECT_EQ(read({"--help", "--colour"}, o, error), partyrun::HELP);
    EXPECT_EQ(read({"--version", "--colour"}, o, error), partyrun::VERSION);
}

TEST(PartyOptions, HelpListsEveryOptionOfTheTable)
{
    std::string help = partyhelp();
    for (const partyoption& p : partyoptiontable()) {
        EXPECT_NE(help.find(p.name), std::string::npos) << p.name;
        EXPECT_NE(help.find(p.help), std::string::npos) << p.name;
    }
}

} // namespace
