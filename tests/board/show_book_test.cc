// Whole guestbook pages compared with their golden files: the head, the
// search form, the paging bar, the message blocks in each display mode and
// for each reader, and the page links.
#include <gtest/gtest.h>

#include "tests/board/show_fixture.h"

namespace tb::testing {
namespace {

TEST_F(ShowBookTest, EmptyBookShowsHeadFormAndNothingImage) {
  SeedBook();
  ExpectGolden("ShowBook/empty.html", Show({{"name", "abc"}}));
}

TEST_F(ShowBookTest, HeadWithBackgroundTitleImageAndNoHomepage) {
  SeedBook({{"backimage", "HTTP://Img.Example.com/BG.GIF"},
            {"topformat", "1"},
            {"topimage", "http://img.example.com/Title.gif"},
            {"homepage", "www.abc.example.com"}});
  ExpectGolden("ShowBook/head_images.html", Show({{"name", "abc"}}));
}

TEST_F(ShowBookTest, OnePageForAVisitor) {
  SeedBook();
  SeedMessages(3);
  ExpectGolden("ShowBook/one_page.html", Show({{"name", "abc"}}));
}

TEST_F(ShowBookTest, SeveralPagesWithBarAndPageLinks) {
  SeedBook({{"infolistno", "2"}});
  SeedMessages(5);
  ExpectGolden("ShowBook/pages_1.html", Show({{"name", "abc"}}));
  ExpectGolden("ShowBook/pages_2.html", Show({{"name", "abc"}, {"Page", "2"}}));
  ExpectGolden("ShowBook/pages_3.html", Show({{"name", "abc"}, {"move", "end"}}));
}

TEST_F(ShowBookTest, DisplayModes) {
  SeedBook();
  SeedMessage(4, {{"message", "一行 <b>不粗</b>\r\n<br>第二行"},
                  {"html", "0"},
                  {"font", "黑体"},
                  {"fontsize", "4"},
                  {"fontcolor", "#FF0000"}});
  SeedMessage(3, {{"message", "<b>粗体</b>\r\n<i>斜体</i>"}, {"html", "1"}});
  SeedMessage(2,
              {{"message", "[B]粗[/b] <script>x</script>\r\n见 http://ubb.example.com/a"},
               {"html", "2"}});
  SeedMessage(1, {{"message", "不显示"}, {"html", "7"}});
  ExpectGolden("ShowBook/modes.html", Show({{"name", "abc"}}));
  ExpectGolden("ShowBook/modes_showhtml0.html",
               Show({{"name", "abc"}, {"showhtml", "0"}}));
}

TEST_F(ShowBookTest, ReplyIndentAvatarsAndOwnerMark) {
  SeedBook();
  SeedMessage(1, {{"infoseekno", 20}, {"whoinfo", "1"}, {"touxiang", 7}});
  SeedMessage(2, {{"infoseekno", 19}, {"subject", "回复：你好"}, {"newinfo", "1"}});
  ExpectGolden("ShowBook/reply_avatar.html", Show({{"name", "abc"}}));
}

TEST_F(ShowBookTest, ContactThresholdsAndSubjectCut) {
  SeedBook();
  SeedMessage(2, {{"subject", "一二三四五六七八九十一二三四五六七八九十abcde"},  // 25
                  {"email", "a@bc"},
                  {"homepage", "http"},
                  {"oicq", "1234"}});
  SeedMessage(1, {{"subject", "It's \"quoted\" & 20 characters!"},
                  {"email", "a@b"},
                  {"homepage", "htt"},
                  {"oicq", "123"}});
  ExpectGolden("ShowBook/contact_subject.html", Show({{"name", "abc"}}));
}

TEST_F(ShowBookTest, MaskedWordsInTitleSubjectAndText) {
  SeedBook({{"titletop", "坏词的留言本"}});
  SeedMessage(1, {{"subject", "坏词主题"}, {"message", "这里有坏词和Bad和bad"}});
  Request({{"name", "abc"}});
  book().SetDelThisWord("坏词;bad");
  book().ShowBook();
  ExpectGolden("ShowBook/masked.html", page().body);
}

// A public and a private message, as each kind of reader sees them.
TEST_F(ShowBookTest, PrivateMessagesByReader) {
  SeedBook();
  SeedMessage(2, {{"message", "公开的话"}});
  SeedMessage(1, {{"message", "只给斑竹看的话"}, {"priviteword", "1"}});
  struct Case {
    const char* golden;
    const char* login;  // nullptr: a visitor
    const char* address_name;
    bool searchable;  // a search of the texts finds the private message
  } cases[] = {
      {"private_visitor", nullptr, "abc", false},
      {"private_owner", "abc", "abc", true},
      {"private_owner_other_case", "abc", "ABC", true},
      {"private_other_owner", "xyz", "abc", false},
      {"private_owner", "admin", "abc", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.golden);
    page().session_values.clear();
    if (c.login) LogIn(c.login);
    ExpectGolden("ShowBook/" + std::string(c.golden) + ".html",
                 Show({{"name", c.address_name}}));
    const std::string found =
        Show({{"name", c.address_name}, {"jsfs", "2"}, {"keyword", "斑竹看"}});
    EXPECT_EQ(found.find("现有留言1条") != std::string::npos, c.searchable);
  }
}

TEST_F(ShowBookTest, SearchInEachColumn) {
  SeedBook();
  SeedMessage(4, {{"subject", "春天来了"}});
  SeedMessage(3, {{"message", "我喜欢春天"}});
  SeedMessage(2, {{"guestname", "春天的风"}});
  SeedMessage(1, {{"email", "spring@example.com"}});
  ExpectGolden("ShowBook/search_1.html",
               Show({{"name", "abc"}}, {{"jsfs", "1"}, {"search", " 春天 "}}));
  ExpectGolden("ShowBook/search_2.html",
               Show({{"name", "abc"}}, {{"jsfs", "2"}, {"search", "春天"}}));
  ExpectGolden("ShowBook/search_3.html",
               Show({{"name", "abc"}, {"jsfs", "3"}, {"keyword", "春天"}}));
  ExpectGolden("ShowBook/search_4.html",
               Show({{"name", "abc"}, {"jsfs", "4"}, {"keyword", "Spring@"}}));
  ExpectGolden("ShowBook/empty.html",
               Show({{"name", "abc"}, {"jsfs", "1"}, {"keyword", "it's"}}));
}

// A keyword matches only itself, A to Z matching a to z, through the text
// index from 3 characters on and by reading each message below that.
TEST_F(ShowBookTest, SearchMatchesTheKeywordLiterally) {
  SeedBook();
  const std::string subjects[] = {"100% 纯", "100 分",      "a_b c",       "axb c",
                                  "C:\\dir", "Hello World", "HELLO world", "春天来了",
                                  "École",   "say \"hi\""};
  for (int i = 0; i < 10; ++i)
    SeedMessage(
        1, {{"subject", subjects[i]}, {"message", "内容" + std::string(1, 'a' + i)}});
  struct Case {
    std::string_view keyword, want;
  } cases[] = {
      {"%", "a"},      {"100%", "a"},  {"100", "ab"},   {"_", "c"},      {"a_b", "c"},
      {"\\", "e"},     {"C:\\d", "e"}, {"hello", "fg"}, {"lo wo", "fg"}, {"天来", "h"},
      {"春天来", "h"}, {"Éco", "i"},   {"éco", ""},     {"\"hi\"", "j"},
  };
  for (const auto& c : cases) {
    const std::string body =
        Show({{"name", "abc"}, {"jsfs", "1"}, {"keyword", std::string(c.keyword)}});
    std::string found;
    for (char m = 'a'; m < 'a' + 10; ++m)
      if (body.find("内容" + std::string(1, m)) != std::string::npos) found += m;
    EXPECT_EQ(found, c.want) << c.keyword;
  }
}

}  // namespace
}  // namespace tb::testing
