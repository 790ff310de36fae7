#include "component/guestbook.h"

#include <gtest/gtest.h>

#include <set>

#include "component/members/members.h"
#include "data/sqlite_engine.h"
#include "host/memory/memory_page.h"
#include "tests/support/cases.h"

namespace tb {
namespace {

// Properties start empty and keep what the member table sets; names are
// unique, by name and by id, and every property can be read and set.
TEST(GuestbookTest, MembersAndProperties) {
  Guestbook book;
  EXPECT_EQ(book.DSNtemp() + book.DelThisWord() + book.StopThisWord(), "");
  for (const Value* v :
       {&book.PageTitle(), &book.IsOpen(), &book.AdminEmail(), &book.LybMsgLen(),
        &book.LybUrl(), &book.LybMaxUser(), &book.MaxNum()})
    EXPECT_TRUE(v->IsEmpty());
  for (const auto& c : testing::ReadCases("component/properties.txt")) {
    const Member* m = FindMember(c[0]);
    ASSERT_TRUE(m && m->kind == MemberKind::kProperty) << c[0];
    m->set(book, testing::CaseValue(c, 1));
    const Value got = m->get(book), want = testing::CaseValue(c, 2);
    EXPECT_TRUE(got == want && got.IsNumber() == want.IsNumber()) << c[0];
  }
  EXPECT_EQ(book.MaxNum(), Value("5"));
  std::set<std::string> names;
  std::set<std::uint32_t> ids;
  for (const Member* m : Members()) {
    EXPECT_TRUE(names.insert(host::AsciiLower(m->name)).second) << m->name;
    EXPECT_TRUE(ids.insert(m->dispid).second) << m->name;
    EXPECT_TRUE(FindMember(m->dispid) == m && FindMember(host::AsciiLower(m->name)) == m);
    EXPECT_TRUE(m->kind != MemberKind::kProperty || (m->get && m->set)) << m->name;
  }
  EXPECT_EQ(FindMember("nothing"), nullptr);
}

// A released component refuses to run until bound again. (What the small
// members write is checked through `tavobook call`, tests/cli.)
TEST(GuestbookTest, Binding) {
  data::SqlitePool pool;
  host::MemoryPage page(pool), second(pool);
  Guestbook book;
  book.OnStartPage(page);
  book.test();
  book.OnEndPage();
  EXPECT_THROW(book.test(), std::logic_error);
  book.OnStartPage(second);
  book.test();
  book.OnEndPage();
  EXPECT_EQ(page.body + "|" + second.body, "this is a test!|this is a test!");
}

}  // namespace
}  // namespace tb
