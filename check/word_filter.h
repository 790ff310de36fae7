// File: word_filter.h — the site's word lists: masking listed words in shown
// text and spotting listed words in a new message.
//
// A list is one text. With a ";" in it, it is split at every ";" into words,
// nothing trimmed (a blank next to a ";" is part of the word); ";;" or a ";"
// at either end gives an empty word. Without ";" the whole list is one word.
// A list shorter than 2 characters is off, and a text shorter than 2
// characters is never touched (lengths count UTF-16 code units).
#pragma once

#include <string>
#include <string_view>

namespace tb::check {

// Every occurrence of each listed word replaced by "***", word by word in list
// order, matching letter case exactly. An empty word masks nothing.
// Example: MaskWords("bad Bad", "bad;x") == "*** Bad".
std::string MaskWords(std::string_view text, std::string_view list);

// True when the text contains a listed word, ignoring the case of A to Z. An
// empty word is contained in every text.
// Example: HasStopWord("Buy SPAM", "spam;ads") == true.
bool HasStopWord(std::string_view text, std::string_view list);

}  // namespace tb::check
