// The console's text forms: host strings to UTF-8 and back, the visible form of control
// characters, and command-line words.
#include "console/commands.h"
#include "console/host.h"
#include "console/text.h"

#include <gtest/gtest.h>

using namespace console;

TEST(ConsoleText, HostStringsDecodeSurrogatePairsAndReplaceLoneOnes) {
    const char16_t text[] = {u'A', 0xD83D, 0xDE00, 0xD800, u'Ж', 0xDC00, 0};
    EXPECT_EQ("A\xF0\x9F\x98\x80\xEF\xBF\xBD\xD0\x96\xEF\xBF\xBD", utf8FromHost(text));
    EXPECT_EQ("A", utf8FromHost(text, 1)) << "a length stops the text";
    EXPECT_EQ("", utf8FromHost(nullptr));
    EXPECT_EQ(u"Штрихкод \U0001F600", hostFromUtf8("Штрихкод \xF0\x9F\x98\x80"));
    EXPECT_EQ(u"a\uFFFDb", hostFromUtf8("a\xC3"
                                        "b"))
        << "a cut sequence is replaced, the next byte kept";
    EXPECT_EQ(u"\uFFFD\uFFFD", hostFromUtf8("\xC0\xAF")) << "overlong forms are refused";
}

TEST(ConsoleText, ControlCharactersAreShownByName) {
    EXPECT_EQ("01046<GS>10LOT<CR><LF>", visible("01046\x1d"
                                                "10LOT\r\n"));
    EXPECT_EQ("<NUL><ESC>[2J<DEL><U+0085>Ж", visible(std::string("\0\x1b[2J\x7f\xC2\x85Ж", 10)));
    EXPECT_EQ(eventLine("12:00:00.000", "S", "M",
                        "a\x1d"
                        "b"),
              "[12:00:00.000] event: source \"S\", message \"M\", data \"a<GS>b\"");
}

TEST(ConsoleText, WordsAreSplitByBlanksAndGroupedByQuotes) {
    std::vector<std::string> words;
    std::string problem;
    ASSERT_TRUE(splitWords("  set  BluetoothDevice \"A \\\"B\\\" \\\\\" \"\"  ", words, problem));
    EXPECT_EQ((std::vector<std::string>{"set", "BluetoothDevice", "A \"B\" \\", ""}), words);
    ASSERT_TRUE(splitWords("scan ab\"c d\"e", words, problem));
    EXPECT_EQ((std::vector<std::string>{"scan", "abc de"}), words);
    EXPECT_FALSE(splitWords("set \"open", words, problem));
    EXPECT_EQ("a double quote is not closed", problem);
}

TEST(ConsoleText, ChoiceItemsAreReadBackWithEscapesUndone) {
    auto items = choiceItems(
        "<ChoiceList><Item Value=\"A&amp;1\">&lt;Dock&gt; &quot;2&quot;</Item><Item Value=\"B\">b</Item>"
        "<Item Value=\"broken\"></ChoiceList>");
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(std::make_pair(std::string("A&1"), std::string("<Dock> \"2\"")), items[0]);
    EXPECT_EQ(std::make_pair(std::string("B"), std::string("b")), items[1]);
}
