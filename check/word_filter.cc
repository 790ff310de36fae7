#include "check/word_filter.h"

#include <vector>

#include "check/text.h"

namespace tb::check {
namespace {

constexpr std::string_view kMask = "***";

// The words of a list, split at every ";" and kept as written.
std::vector<std::string_view> Words(std::string_view list) {
  std::vector<std::string_view> words;
  for (;;) {
    std::size_t semicolon = list.find(';');
    words.push_back(list.substr(0, semicolon));
    if (semicolon == std::string_view::npos) return words;
    list.remove_prefix(semicolon + 1);
  }
}

bool FilterApplies(std::string_view text, std::string_view list) {
  return Length(list) >= 2 && Length(text) >= 2;
}

}  // namespace

std::string MaskWords(std::string_view text, std::string_view list) {
  std::string out(text);
  if (!FilterApplies(text, list)) return out;
  // A list without ";" is one word, which Words() already yields; an empty
  // word replaces nothing.
  for (std::string_view word : Words(list)) out = ReplaceAll(out, word, kMask);
  return out;
}

bool HasStopWord(std::string_view text, std::string_view list) {
  if (!FilterApplies(text, list)) return false;
  // Letter case is folded for A to Z only: the lists hold Chinese words and
  // Latin spellings, and folding other scripts would block more than asked.
  for (std::string_view word : Words(list)) {
    if (word.empty() || ContainsIgnoreCase(text, word)) return true;
  }
  return false;
}

}  // namespace tb::check
