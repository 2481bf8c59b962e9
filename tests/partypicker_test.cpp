// The keyboard's picker against a real store in a scratch folder: typing searches, Enter and a
// singer's name queue the chosen song, the last name is offered whole, Escape backs out.
#include "fakevideo.h"
#include "party.h"
#include "testfiles.h"

#include <gtest/gtest.h>

namespace {

videokey typed(int ch)
{
    videokey k;
    k.key = VK_CHAR;
    k.ch = ch;
    return k;
}

videokey pressed(int key)
{
    videokey k;
    k.key = key;
    return k;
}

class Picker : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Three songs named "Artist - Title", each an LRC with its MP3 beside it.
        for (const char* name : {"ABBA - Waterloo", "Björk - Army of Me", "AC-DC - Thunderstruck"}) {
            songs.write(std::string(name) + ".lrc", "[00:01.00]La la\n");
            songs.write(std::string(name) + ".mp3", "not really music");
        }
        std::string error;
        store = partystore::open(data.path(), error);
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->scan({songs.path()}, nameorder::artisttitle, nullptr));
        ASSERT_EQ(store->countsongs(), 3);
        pick.reset(new picker(*store));
        pick->refresh();
    }
    void type(const std::string& text)
    {
        for (unsigned char c : text)
            pick->key(typed(c));
    }
    std::vector<std::string> titles()
    {
        std::vector<std::string> t;
        for (const songinfo& s : pick->results())
            t.push_back(s.title);
        return t;
    }

    ScratchDir songs, data;
    std::unique_ptr<partystore> store;
    std::unique_ptr<picker> pick;
};

TEST_F(Picker, TypingSearchesAndBackspaceAndEscapeWidenAgain)
{
    EXPECT_EQ(pick->results().size(), 3u);
    type("wat");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Waterloo"}));
    // "bjork" without its accent, and punctuation, find their songs.
    pick->key(pressed(VK_ESCAPE));
    EXPECT_EQ(pick->search(), "");
    type("bjork");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Army of Me"}));
    pick->key(pressed(VK_ESCAPE));
    type("ac/dc\"");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Thunderstruck"}));
    for (int i = 0; i < 6; i++)
        pick->key(pressed(VK_BACKSPACE));
    EXPECT_EQ(pick->results().size(), 3u);
}

TEST_F(Picker, EnterAndANameQueueTheChosenSongAndTheNameIsOfferedNextTime)
{
    // Titles in order: Army of Me, Thunderstruck, Waterloo. Down twice chooses Waterloo.
    pick->key(pressed(VK_DOWN));
    pick->key(pressed(VK_DOWN));
    pick->key(pressed(VK_DOWN));
    EXPECT_EQ(pick->selected(), 2);
    pick->key(pressed(VK_ENTER));
    ASSERT_TRUE(pick->naming());
    type("  Ann  ");
    picker::outcome o = pick->key(pressed(VK_ENTER));
    ASSERT_NE(o.queued, 0);
    EXPECT_EQ(o.news, "Queued \"Waterloo\" for Ann.");
    EXPECT_FALSE(pick->naming());
    std::vector<queueentry> q = store->queue();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].title, "Waterloo");
    EXPECT_EQ(q[0].singer, "Ann");

    // The next song: the name "Ann" is offered; the first letter typed replaces it whole.
    pick->key(pressed(VK_HOME));
    pick->key(pressed(VK_ENTER));
    pickerview v;
    pick->fill(v, 10);
    EXPECT_EQ(v.name, "Ann");
    type("Bo");
    pick->fill(v, 10);
    EXPECT_EQ(v.name, "Bo");
    pick->key(pressed(VK_ENTER));
    q = store->queue();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[1].singer, "Bo");
    EXPECT_EQ(q[1].title, "Army of Me");
    // Offered again and accepted as it is.
    pick->key(pressed(VK_ENTER));
    pick->key(pressed(VK_ENTER));
    EXPECT_EQ(store->queue().size(), 3u);
    EXPECT_EQ(store->queue()[2].singer, "Bo");
}

TEST_F(Picker, AnEmptyNameQueuesNothingAndEscapeGoesBackToTheSearch)
{
    type("water");
    pick->key(pressed(VK_ENTER));
    ASSERT_TRUE(pick->naming());
    type("   ");
    picker::outcome o = pick->key(pressed(VK_ENTER));
    EXPECT_EQ(o.queued, 0);
    EXPECT_TRUE(pick->naming());
    pick->key(pressed(VK_ESCAPE));
    EXPECT_FALSE(pick->naming());
    EXPECT_EQ(pick->search(), "water");
    EXPECT_TRUE(store->queue().empty());
}

TEST_F(Picker, TheChoiceStaysInsideTheListAndInView)
{
    // A page is the rows in view less one; with ten rows it runs past the three songs.
    pickerview v;
    pick->fill(v, 10);
    pick->key(pressed(VK_PAGEDOWN));
    EXPECT_EQ(pick->selected(), 2);
    pick->key(pressed(VK_UP));
    EXPECT_EQ(pick->selected(), 1);
    pick->key(pressed(VK_PAGEUP));
    EXPECT_EQ(pick->selected(), 0);
    pick->key(pressed(VK_END));
    pick->fill(v, 2);
    // Two rows in view: the chosen last song is the second of them.
    ASSERT_EQ(v.rows.size(), 2u);
    EXPECT_EQ(v.selected, 1);
    EXPECT_EQ(v.rows[1].title, "Waterloo");
    EXPECT_EQ(v.matches, 3);
}

TEST_F(Picker, ASongMarkedUnplayableIsNotQueued)
{
    type("army");
    ASSERT_EQ(pick->results().size(), 1u);
    ASSERT_TRUE(store->markfailed(pick->results()[0].id, "the file is damaged"));
    pick->refresh();
    picker::outcome o = pick->key(pressed(VK_ENTER));
    EXPECT_FALSE(pick->naming());
    EXPECT_EQ(o.news, "\"Army of Me\" cannot be played: the file is damaged");
}

TEST_F(Picker, CtrlQOrClosingTheDisplayQuitsWhateverIsTyped)
{
    type("wat");
    pick->key(pressed(VK_ENTER));
    EXPECT_TRUE(pick->key(pressed(VK_QUIT)).quit);
}

} // namespace
