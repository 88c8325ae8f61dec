// The pure text rules: link keys, live-stream links, name folding, duplicate
// removal and the hashed text list.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "discovery/link_key.h"
#include "discovery/live_link.h"
#include "discovery/process_name.h"
#include "discovery/remove_duplicates.h"
#include "discovery/text_list.h"

namespace {

struct KeyCase {
    const char* url;
    const char* key;
};

TEST(LinkKey, TakesTheValueOfTheFirstQueryParameter) {
    const KeyCase cases[] = {
        {"https://h/251/20302/stodownload?a=ABC&b=XYZ&taskid=0", "ABC"},
        {"https://h/s?encfilekey=K1", "K1"},
        {"https://h/s?a=B=C&d=1", "B"},          // up to the second "="
        {"https://h/s?a=1?b=2&c=3", "1"},        // up to the next "?"
        {"https://h/s?=V&a=1", "V"},             // empty name
        {"https://h/s?a=&b=2", ""},              // empty value
        {"https://h/s?&a=1", ""},                // query starting with "&": no "="
        {"https://h/s?abc&d=1", ""},             // first parameter without "="
        {"https://h/x=y/s", "y/s"},              // no "?": the whole link
        {"https://h/x=y/s?", "y/s?"},            // nothing after "?": the whole link
        {"", ""},
    };
    for (const KeyCase& c : cases) EXPECT_EQ(LinkKey(c.url), c.key) << c.url;
}

TEST(LinkKey, OnlyLinksEndingInTaskidZeroAreChecked) {
    EXPECT_TRUE(IsCheckedVideoLink("https://h/s?a=1&taskid=0"));
    EXPECT_TRUE(IsCheckedVideoLink("taskid=0"));
    EXPECT_FALSE(IsCheckedVideoLink("https://h/s?a=1&taskid=1"));
    EXPECT_FALSE(IsCheckedVideoLink("https://h/s?a=1&taskid=0&b=2"));
    EXPECT_FALSE(IsCheckedVideoLink("askid=0"));
    EXPECT_FALSE(IsCheckedVideoLink(""));
}

TEST(LinkKey, KeysWithPathCharactersNameNoFileInTheVideoFolder) {
    EXPECT_TRUE(IsPlainFileName("3081a2c0f7e1"));
    EXPECT_TRUE(IsPlainFileName(""));
    EXPECT_FALSE(IsPlainFileName("..\\..\\secret"));
    EXPECT_FALSE(IsPlainFileName("a/b"));
    EXPECT_FALSE(IsPlainFileName("C:x"));
}

struct BetweenCase {
    const char* text;
    const char* start;
    const char* end;
    const char* between;
};

TEST(TextBetween, FindsTheEndAfterTheFirstStart) {
    const BetweenCase cases[] = {
        {"xx[abc]yy", "[", "]", "abc"},
        {"a]b[c]d[e]", "[", "]", "c"},       // an end before the start does not count
        {"aXa", "a", "a", "X"},              // the end is looked for after the start
        {"[]", "[", "]", ""},
        {"abc]", "[", "]", ""},              // no start
        {"[abc", "[", "]", ""},              // no end after the start
        {"HTTPS://h/a&combuf=1", "https://", "&combuf=", ""},  // case is distinguished
    };
    for (const BetweenCase& c : cases) EXPECT_EQ(TextBetween(c.text, c.start, c.end), c.between) << c.text;
}

struct LiveCase {
    const char* text;
    const char* link;
    const char* key;
};

TEST(LiveLink, CutsBeforeCombufAndKeysOnThePathBeforeFlv) {
    const LiveCase cases[] = {
        {"https://host/live/abc.flv?x=1&y=2&combuf=zz&more", "https://host/live/abc.flv?x=1&y=2", "/host/live/abc"},
        {"junk https://host/live/abc.flv?token=9&combuf=", "https://host/live/abc.flv?token=9", "/host/live/abc"},
        {"https://host/live/abc.m3u8?x=1&combuf=zz", "https://host/live/abc.m3u8?x=1", ""},  // no ".flv?": empty key
        {"https://host/live/abc.flv?x=1", "https://", ""},                                  // no "&combuf=": no link
        {"", "https://", ""},
    };
    for (const LiveCase& c : cases) {
        const std::string link = RebuiltLiveLink(c.text);
        EXPECT_EQ(link, c.link) << c.text;
        EXPECT_EQ(LiveStreamKey(link), c.key) << c.text;
    }
}

TEST(ProcessName, FoldsAsciiLettersButNotTheSecondByteOfAGbkCharacter) {
    EXPECT_EQ(FoldCase("WECHAT.EXE"), "wechat.exe");
    EXPECT_EQ(FoldCase("WechatBrowser.exe"), "wechatbrowser.exe");
    // 0x81 0x41 is one GBK character whose second byte is 'A'.
    EXPECT_EQ(FoldCase("\x81\x41Z"), "\x81\x41z");
    EXPECT_EQ(FoldCase("Z\x81\x41"), "z\x81\x41");
    EXPECT_TRUE(NamesEqual("wechatbrowser.exe", "WechatBrowser.exe", false));
    EXPECT_FALSE(NamesEqual("wechatbrowser.exe", "WechatBrowser.exe", true));
    EXPECT_FALSE(NamesEqual("\x81\x41.exe", "\x81\x61.exe", false));
    EXPECT_FALSE(NamesEqual("WeChat.exe", "WeChat.exe2", false));
}

TEST(RemoveDuplicates, KeepsFirstOccurrencesInOrder) {
    std::vector<std::uintptr_t> addresses = {5, 3, 5, 9, 3, 3, 1};
    EXPECT_EQ(RemoveDuplicates(addresses), 4u);
    EXPECT_EQ(addresses, (std::vector<std::uintptr_t>{5, 3, 9, 1}));

    std::vector<std::string> texts = {"b", "a", "B", "b", std::string("a\0x", 3), "a"};
    EXPECT_EQ(RemoveDuplicates(texts), 4u);
    EXPECT_EQ(texts, (std::vector<std::string>{"b", "a", "B", std::string("a\0x", 3)}));

    std::vector<std::string> empty;
    EXPECT_EQ(RemoveDuplicates(empty), 0u);
}

TEST(TextList, CountsEqualTextsByteForByte) {
    TextList list;
    list.Append("https://h/a?k=1");
    list.Append("https://h/a?k=2");
    list.Append("https://h/a?k=1");
    list.Append("");
    EXPECT_EQ(list.Size(), 4u);
    EXPECT_EQ(list.Count("https://h/a?k=1"), 2u);
    EXPECT_EQ(list.Count("https://h/a?k=2"), 1u);
    EXPECT_EQ(list.Count("HTTPS://h/a?k=2"), 0u);
    EXPECT_EQ(list.Count("https://h/a?k="), 0u);
    EXPECT_EQ(list.Count(""), 1u);
    EXPECT_EQ(list[1], "https://h/a?k=2");
}

}  // namespace
