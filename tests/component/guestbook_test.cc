#include "component/guestbook.h"

#include <gtest/gtest.h>

#include <set>

#include "component/members/members.h"
#include "data/sqlite_engine.h"
#include "host/memory/memory_page.h"

namespace tb {
namespace {

// Properties start empty and keep what the member table sets, a text
// property the text form of any value.
TEST(GuestbookTest, PropertiesThroughTheTableKeepTheirValues) {
  Guestbook book;
  EXPECT_EQ(book.DSNtemp() + book.DelThisWord() + book.StopThisWord(), "");
  for (const Value* v :
       {&book.PageTitle(), &book.IsOpen(), &book.AdminEmail(), &book.LybMsgLen(),
        &book.LybUrl(), &book.LybMaxUser(), &book.MaxNum()}) {
    EXPECT_TRUE(v->IsEmpty());
  }
  struct Case {
    const char* name;
    Value set, want;
  } cases[] = {
      {"DSNtemp", Value("sqlite:x.db"), Value("sqlite:x.db")},
      {"dsntemp", Value(5), Value("5")},
      {"DelThisWord", Value("a;b"), Value("a;b")},
      {"StopThisWord", Value("c"), Value("c")},
      {"PageTitle", Value("留言本"), Value("留言本")},
      {"IsOpen", Value(1), Value(1)},
      {"AdminEmail", Value("a@b.c"), Value("a@b.c")},
      {"LybMsgLen", Value(8000), Value(8000)},
      {"LybUrl", Value("http://h/"), Value("http://h/")},
      {"LybMaxUser", Value(), Value()},
      {"MAXNUM", Value("5"), Value("5")},
  };
  for (const auto& c : cases) {
    const Member* m = FindMember(c.name);
    ASSERT_TRUE(m && m->kind == MemberKind::kProperty) << c.name;
    m->set(book, c.set);
    const Value got = m->get(book);
    EXPECT_EQ(got, c.want) << c.name;
    EXPECT_EQ(got.IsNumber(), c.want.IsNumber()) << c.name;
  }
  EXPECT_EQ(book.MaxNum(), Value("5"));
}

TEST(GuestbookTest, MemberNamesAndIdsAreUnique) {
  std::set<std::string> names;
  std::set<std::uint32_t> ids;
  for (const Member* m : Members()) {
    EXPECT_TRUE(names.insert(host::AsciiLower(m->name)).second) << m->name;
    EXPECT_TRUE(ids.insert(m->dispid).second) << m->name;
    EXPECT_EQ(FindMember(m->dispid), m);
    EXPECT_EQ(FindMember(host::AsciiLower(m->name)), m);
    EXPECT_TRUE(m->kind != MemberKind::kProperty || (m->get && m->set)) << m->name;
  }
  EXPECT_EQ(FindMember("nothing"), nullptr);
}

// The small members write exactly their text, and the word filters use the
// lists; a released component refuses to run until bound again.
TEST(GuestbookTest, SmallMembersAndBinding) {
  data::SqlitePool pool;
  host::MemoryPage page(pool), second(pool);
  page.ad_script_url = "http://ad.example/x.js";
  Guestbook book;
  book.OnStartPage(page);
  book.test();
  book.gBookTimeout();
  EXPECT_EQ(page.body, "this is a test!");
  page.body.clear();
  book.gBookAd();
  EXPECT_EQ(page.body,
            "<p align=\"center\"><script src=\"http://ad.example/x.js\"></script></p>");
  book.SetDelThisWord("坏话;bad");
  book.SetStopThisWord("SPAM");
  std::string text = "说坏话 bad Bad", spam = "buy spam";
  EXPECT_EQ(book.MyDelThisWord(text), "说*** *** Bad");
  EXPECT_EQ(text, "说*** *** Bad");
  EXPECT_EQ(book.MyStopThisWord(spam), 1);
  EXPECT_EQ(spam, "buy spam");
  Value v(3.5);
  EXPECT_EQ(book.Guolvfeifa(v), Value(3.5));
  book.OnEndPage();
  EXPECT_THROW(book.test(), std::logic_error);
  book.OnStartPage(second);
  book.test();
  book.OnEndPage();
  EXPECT_EQ(second.body, "this is a test!");
}

}  // namespace
}  // namespace tb
