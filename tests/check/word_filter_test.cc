#include "check/word_filter.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tb::check {
namespace {

TEST(MaskWordsTest, Cases) {
  struct Case {
    std::string_view text, list, want;
  };
  const Case cases[] = {
      {"bad", "", "bad"},             // an empty list is off
      {"bad", "b", "bad"},            // so is a one-character list
      {"b", "b;c", "b"},              // a one-character text is never masked
      {"bad Bad", "bad", "*** Bad"},  // exact letter case
      {"spam spam", "spam", "*** ***"},
      {"ab cd ef", "ab;ef", "*** cd ***"},
      {"abc", "abc;", "***"},  // the empty last word masks nothing
      {"abc", ";;", "abc"},
      {"a b", " b;x", "a***"},  // the blank belongs to the word
      {"a b", "b ;x", "a b"},
      {"xab", "ab;**", "x****"},  // later words see earlier masks
      {"坏人做坏事", "坏人;坏事", "***做***"},
      {"ab;cd", "ab;cd", "***;***"},
      {"x ab;cd", "b;c", "x a***;***d"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MaskWords(c.text, c.list), c.want) << c.text << " / " << c.list;
  }
}

TEST(HasStopWordTest, Cases) {
  struct Case {
    std::string_view text, list;
    bool want;
  };
  const Case cases[] = {
      {"anything", "", false},
      {"ab", "a", false},
      {"a", "a;b", false},         // a one-character text is never blocked
      {"Buy SPAM", "spam", true},  // letter case ignored
      {"Buy SPAM", "ads;spam", true},
      {"hello", "ads;spam", false},
      {"hello", "spam;", true},  // the empty last word is in every text
      {"hi", ";;", true},
      {"h", ";;", false},
      {"hello", "x;;y", true},
      {"a spam", " spam;x", true},
      {"spam", " spam;x", false},
      {"ÄB", "äb", false},  // only A to Z fold
      {"发广告了", "广告", true},
      {"发广告了", "广告 ", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasStopWord(c.text, c.list), c.want) << c.text << " / " << c.list;
  }
}

}  // namespace
}  // namespace tb::check
