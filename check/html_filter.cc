#include "check/html_filter.h"

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "check/text.h"

namespace tb::check {
namespace {

// What becomes of an element.
enum class Treatment : unsigned char {
  kUnwrap,  // its tags go; its children are filtered and written (any tag not listed)
  kKeep,    // written, with the attributes that pass
  kRemove,  // goes with everything inside it
};

// Elements written: first those the message mark-up produces, then the usual
// formatting ones.
constexpr std::array kKeptTags{
    GUMBO_TAG_IMG, GUMBO_TAG_OBJECT, GUMBO_TAG_PARAM, GUMBO_TAG_EMBED, GUMBO_TAG_A,
    GUMBO_TAG_FONT, GUMBO_TAG_DIV, GUMBO_TAG_MARQUEE, GUMBO_TAG_TABLE, GUMBO_TAG_TR,
    GUMBO_TAG_TD, GUMBO_TAG_I, GUMBO_TAG_U, GUMBO_TAG_B, GUMBO_TAG_CENTER, GUMBO_TAG_BR,
    // formatting
    GUMBO_TAG_P, GUMBO_TAG_SPAN, GUMBO_TAG_STRONG, GUMBO_TAG_EM, GUMBO_TAG_S,
    GUMBO_TAG_STRIKE, GUMBO_TAG_SUB, GUMBO_TAG_SUP, GUMBO_TAG_TT, GUMBO_TAG_BIG,
    GUMBO_TAG_SMALL, GUMBO_TAG_PRE, GUMBO_TAG_CODE, GUMBO_TAG_KBD, GUMBO_TAG_SAMP,
    GUMBO_TAG_VAR, GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_Q, GUMBO_TAG_CITE, GUMBO_TAG_ABBR,
    GUMBO_TAG_DFN, GUMBO_TAG_UL, GUMBO_TAG_OL, GUMBO_TAG_LI, GUMBO_TAG_DL, GUMBO_TAG_DT,
    GUMBO_TAG_DD, GUMBO_TAG_H1, GUMBO_TAG_H2, GUMBO_TAG_H3, GUMBO_TAG_H4, GUMBO_TAG_H5,
    GUMBO_TAG_H6, GUMBO_TAG_HR, GUMBO_TAG_TH, GUMBO_TAG_TBODY, GUMBO_TAG_THEAD,
    GUMBO_TAG_TFOOT, GUMBO_TAG_CAPTION, GUMBO_TAG_COL, GUMBO_TAG_COLGROUP, GUMBO_TAG_DEL,
    GUMBO_TAG_INS, GUMBO_TAG_ADDRESS, GUMBO_TAG_NOBR, GUMBO_TAG_WBR, GUMBO_TAG_BDO};

// Kept elements that have no content and no end tag.
constexpr std::array kVoidTags{GUMBO_TAG_IMG, GUMBO_TAG_PARAM, GUMBO_TAG_EMBED,
                               GUMBO_TAG_BR,  GUMBO_TAG_HR,    GUMBO_TAG_COL,
                               GUMBO_TAG_WBR};

// Elements that go with their content: script and style; those whose content a
// browser reads as raw text, so that what the parser took for text may be tags
// to the browser or the reverse (noscript holds mark-up for this parser, which
// runs no script, but raw text for a browser that does); frames; form fields
// whose content is text; and SVG and MathML, which follow rules of their own.
constexpr std::array kRemovedTags{
    GUMBO_TAG_SCRIPT,    GUMBO_TAG_STYLE,   GUMBO_TAG_TEMPLATE, GUMBO_TAG_TEXTAREA,
    GUMBO_TAG_TITLE,     GUMBO_TAG_XMP,     GUMBO_TAG_IFRAME,   GUMBO_TAG_FRAME,
    GUMBO_TAG_FRAMESET,  GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES, GUMBO_TAG_NOSCRIPT,
    GUMBO_TAG_PLAINTEXT, GUMBO_TAG_SVG,     GUMBO_TAG_MATH,     GUMBO_TAG_SELECT};

constexpr auto kTreatments = [] {
  std::array<Treatment, GUMBO_TAG_LAST + 1> treatments{};
  for (GumboTag tag : kKeptTags) treatments[tag] = Treatment::kKeep;
  for (GumboTag tag : kRemovedTags) treatments[tag] = Treatment::kRemove;
  return treatments;
}();

Treatment TreatmentOf(const GumboElement& element) {
  if (element.tag_namespace != GUMBO_NAMESPACE_HTML) return Treatment::kRemove;
  if (static_cast<unsigned>(element.tag) > GUMBO_TAG_LAST) return Treatment::kUnwrap;
  return kTreatments[element.tag];
}

bool IsVoid(GumboTag tag) {
  for (GumboTag v : kVoidTags) {
    if (v == tag) return true;
  }
  return false;
}

// What an attribute's value must be for the attribute to be kept.
enum class Check : unsigned char {
  kAny,
  kAddress,     // an address that passes IsSafeAddress
  kStyle,       // the glow or shadow filter of the mark-up, nothing else
  kParamValue,  // on param only; an address when the param names a movie or source
  kName,        // on param and a only
};

struct AttributeRule {
  std::string_view name;
  Check check;
};

// Attributes kept on kept elements. Anything else goes: event handlers ("on..."),
// srcdoc, formaction, srcset, lowsrc, dynsrc, id, class, xmlns, data-*.
constexpr auto kAttributes = [] {
  using enum Check;
  return std::to_array<AttributeRule>({
      {"align", kAny},          {"valign", kAny},      {"width", kAny},
      {"height", kAny},         {"border", kAny},      {"color", kAny},
      {"face", kAny},           {"size", kAny},        {"bgcolor", kAny},
      {"background", kAddress}, {"href", kAddress},    {"src", kAddress},
      {"target", kAny},         {"alt", kAny},         {"title", kAny},
      {"cellspacing", kAny},    {"cellpadding", kAny}, {"colspan", kAny},
      {"rowspan", kAny},        {"noshade", kAny},     {"behavior", kAny},
      {"scrollamount", kAny},   {"scrolldelay", kAny}, {"direction", kAny},
      {"loop", kAny},           {"hspace", kAny},      {"vspace", kAny},
      {"type", kAny},           {"quality", kAny},     {"pluginspage", kAddress},
      {"codebase", kAddress},   {"classid", kAny},     {"value", kParamValue},
      {"name", kName},          {"start", kAny},       {"dir", kAny},
      {"lang", kAny},           {"nowrap", kAny},      {"clear", kAny},
      {"cite", kAddress},       {"datetime", kAny},    {"span", kAny},
      {"summary", kAny},        {"scope", kAny},       {"rules", kAny},
      {"frame", kAny},          {"bordercolor", kAny}, {"compact", kAny},
      {"style", kStyle},
  });
}();

// Names a param gives to the address its object loads.
constexpr std::array<std::string_view, 5> kParamAddressNames{"movie", "src", "url",
                                                             "filename", "data"};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
bool AllBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), IsBlank);
}
bool AllBlankOrSlash(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return IsBlank(c) || c == '/'; });
}

std::string_view View(const GumboStringPiece& piece) {
  return piece.length == 0 ? std::string_view()
                           : std::string_view(piece.data, piece.length);
}

enum class Scheme : unsigned char { kNone, kHttp, kHttps, kFtp, kMailto, kOther };

// The scheme of an address as a browser reads it: C0 controls and blanks
// trimmed in front, ASCII tab, LF and CR ignored anywhere, then a letter,
// letters, digits, "+", "-" or "." and a ":". Any other character before the
// first ":" makes the address relative (no scheme).
Scheme SchemeOf(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && static_cast<unsigned char>(value[i]) <= 0x20) ++i;
  std::string scheme;
  for (; i < value.size() && value[i] != ':'; ++i) {
    const char c = value[i];
    if (c == '\t' || c == '\n' || c == '\r') continue;
    const bool fits =
        host::IsAsciiLetter(c) ||
        (!scheme.empty() && (host::IsDigit(c) || c == '+' || c == '-' || c == '.'));
    if (!fits) return Scheme::kNone;
    // The longest scheme of interest is "mailto"; a longer one is some other.
    if (scheme.size() <= 6) scheme += host::LowerAscii(c);
  }
  if (i == value.size() || scheme.empty()) return Scheme::kNone;
  if (scheme == "http") return Scheme::kHttp;
  if (scheme == "https") return Scheme::kHttps;
  if (scheme == "ftp") return Scheme::kFtp;
  if (scheme == "mailto") return Scheme::kMailto;
  return Scheme::kOther;
}

// An address an object or embed may load into the page: http, https or none.
bool IsLoadableAddress(std::string_view decoded_value) {
  const Scheme scheme = SchemeOf(decoded_value);
  return scheme == Scheme::kNone || scheme == Scheme::kHttp || scheme == Scheme::kHttps;
}

// The glow and shadow of the mark-up: "filter:glow(color=X, strength=Y)" or
// "filter:shadow(color=X, direction=Y)", where X and Y hold nothing that could
// end the filter, start another declaration, a function or an escape.
bool IsMarkupFilter(std::string_view style) {
  struct Form {
    std::string_view head, middle;
  };
  static constexpr std::array<Form, 2> kForms{{
      {"filter:glow(color=", ", strength="},
      {"filter:shadow(color=", ", direction="},
  }};
  auto plain = [](std::string_view part) {
    if (part.empty()) return false;
    for (char c : part) {
      if (static_cast<unsigned char>(c) <= 0x20 ||
          std::string_view(";(){}\\:\"'<>").find(c) != std::string_view::npos) {
        return false;
      }
    }
    return true;
  };
  if (style.empty() || style.back() != ')') return false;
  for (const Form& form : kForms) {
    if (!StartsWith(style, form.head)) continue;
    const std::string_view inner =
        style.substr(form.head.size(), style.size() - form.head.size() - 1);
    const std::size_t cut = inner.find(form.middle);
    if (cut == std::string_view::npos) return false;
    return plain(inner.substr(0, cut)) && plain(inner.substr(cut + form.middle.size()));
  }
  return false;
}

const GumboAttribute* FindAttribute(const GumboElement& element, const char* name) {
  return gumbo_get_attribute(&element.attributes, name);
}

// An object or embed whose own address (object data and codebase, embed src)
// would load something other than a page resource goes whole.
bool LoadsForeignAddress(const GumboElement& element) {
  auto foreign = [&](const char* name) {
    const GumboAttribute* attribute = FindAttribute(element, name);
    return attribute != nullptr && !IsLoadableAddress(attribute->value);
  };
  if (element.tag == GUMBO_TAG_OBJECT) return foreign("data") || foreign("codebase");
  if (element.tag == GUMBO_TAG_EMBED) return foreign("src");
  return false;
}

bool ParamNamesAddress(const GumboElement& param) {
  const GumboAttribute* name = FindAttribute(param, "name");
  if (name == nullptr) return false;
  for (std::string_view address_name : kParamAddressNames) {
    if (EqualsIgnoreCase(name->value, address_name)) return true;
  }
  return false;
}

bool KeepsAttribute(const GumboElement& element, const GumboAttribute& attribute) {
  if (attribute.attr_namespace != GUMBO_ATTR_NAMESPACE_NONE) return false;
  const std::string_view name = attribute.name;
  for (const AttributeRule& rule : kAttributes) {
    if (!EqualsIgnoreCase(name, rule.name)) continue;
    switch (rule.check) {
      case Check::kAny:
        return true;
      case Check::kAddress:
        return IsSafeAddress(attribute.value);
      case Check::kStyle:
        return IsMarkupFilter(attribute.value);
      case Check::kParamValue:
        return element.tag == GUMBO_TAG_PARAM &&
               (!ParamNamesAddress(element) || IsSafeAddress(attribute.value));
      case Check::kName:
        return element.tag == GUMBO_TAG_PARAM || element.tag == GUMBO_TAG_A;
    }
  }
  return false;
}

// A tag's name as written: from after "<" to the first blank, "/" or ">".
std::string_view NameOfTag(std::string_view tag) {
  std::size_t end = 1;
  while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != '/' && tag[end] != '>') {
    ++end;
  }
  return tag.substr(1, end - 1);
}

// The text of `attribute` inside its start tag `tag`, from the start of its
// name to the end of its value (quotes included), read as a browser's tokenizer
// reads it from the name the parser points at. The parser's own value
// positions are only checked against it: they are off for an unquoted value
// that begins with a character reference. Empty when the two disagree.
std::string_view AttributeText(std::string_view tag, const GumboAttribute& attribute) {
  const std::string_view name = View(attribute.original_name);
  if (name.empty() || name.data() <= tag.data() ||
      name.data() + name.size() >= tag.data() + tag.size() ||
      !EqualsIgnoreCase(name, attribute.name)) {
    return {};
  }
  const std::size_t begin = name.data() - tag.data();
  std::size_t end = begin + name.size();
  std::size_t i = end;
  auto skip_blanks = [&] {
    while (i < tag.size() && IsBlank(tag[i])) ++i;
  };
  skip_blanks();
  if (i == tag.size() || tag[i] != '=') return tag.substr(begin, end - begin);
  ++i;
  skip_blanks();
  std::string_view raw_value;
  if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
    end = tag.find(tag[i], i + 1);
    if (end == std::string_view::npos) return {};
    raw_value = tag.substr(i + 1, end - i - 1);
    ++end;
  } else {
    end = i;
    while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != '>') ++end;
    raw_value = tag.substr(i, end - i);
  }
  const std::string_view value = View(attribute.original_value);
  const bool parser_agrees = (*attribute.value != '\0' || raw_value.empty()) &&
                             (value.empty() || value.data() == name.data() ||
                              (value.data() >= tag.data() + i &&
                               value.data() + value.size() == tag.data() + end));
  return parser_agrees ? tag.substr(begin, end - begin) : std::string_view();
}

// "</name>", with blanks allowed before ">", and nothing else.
bool IsPlainEndTag(std::string_view tag, std::string_view name) {
  if (tag.size() < name.size() + 3 || !StartsWith(tag, "</") || tag.back() != '>') {
    return false;
  }
  return EqualsIgnoreCase(tag.substr(2, name.size()), name) &&
         AllBlank(tag.substr(2 + name.size(), tag.size() - 3 - name.size()));
}

// Most attributes a tag keeps; those after are left out before parsing. The
// parser compares each attribute's name with those before it, so a tag of
// 50,000 attributes would take it seconds.
constexpr std::size_t kAttributesPerTag = 32;

// A tag as a browser's tokenizer reads it from "<".
struct TagScan {
  std::size_t length = 0;  // through its ">", or to the end of the text inside it
  std::size_t kept = 0;    // what precedes its attribute kAttributesPerTag + 1
  std::string_view name;
};

// The tag at `text[0] == '<'` whose name starts at `i`.
TagScan ScanTag(std::string_view text, std::size_t i) {
  auto ends_name = [](char c) { return IsBlank(c) || c == '/' || c == '>'; };
  TagScan scan;
  const std::size_t name_begin = i;
  while (i < text.size() && !ends_name(text[i])) ++i;
  scan.name = text.substr(name_begin, i - name_begin);
  std::size_t attributes = 0;
  while (i < text.size() && text[i] != '>') {
    if (IsBlank(text[i]) || text[i] == '/') {
      ++i;
      continue;
    }
    if (++attributes == kAttributesPerTag + 1) scan.kept = i;
    ++i;  // an attribute name, whose first character may be "="
    while (i < text.size() && !ends_name(text[i]) && text[i] != '=') ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size() || text[i] != '=') continue;
    ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      const std::size_t close = text.find(text[i], i + 1);
      i = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      while (i < text.size() && !IsBlank(text[i]) && text[i] != '>') ++i;
    }
  }
  scan.length = i < text.size() ? i + 1 : text.size();
  if (attributes <= kAttributesPerTag) scan.kept = scan.length;
  return scan;
}

// The tag at `text[0] == '<'`, start ("<" and a letter) or end ("</" and a
// letter), whose length is 0 when there is none.
TagScan ScanTagAt(std::string_view text) {
  if (text.size() >= 2 && host::IsAsciiLetter(text[1])) return ScanTag(text, 1);
  if (text.size() >= 3 && text[1] == '/' && host::IsAsciiLetter(text[2]))
    return ScanTag(text, 2);
  return {};
}

// The length of the token the parser ignored at `text[0] == '<'` (a start or
// end tag out of place, "</>", a doctype), or 0 when this "<" is a character.
std::size_t IgnoredTokenLength(std::string_view text) {
  if (const std::size_t length = ScanTagAt(text).length; length > 0) return length;
  if (StartsWith(text, "</>")) return 3;
  if (text.size() >= 2 && text[1] == '!') {
    const std::size_t close = text.find('>');
    return close == std::string_view::npos ? text.size() : close + 1;
  }
  return 0;
}

// The end tag of a kept void element ("</embed>" of the Flash mark-up), which
// browsers ignore wherever it stands.
bool IsHarmlessEndTag(std::string_view token) {
  for (GumboTag tag : kVoidTags) {
    if (tag != GUMBO_TAG_BR && IsPlainEndTag(token, gumbo_normalized_tagname(tag))) {
      return true;
    }
  }
  return false;
}

// A "<" a browser reads as a character however the text goes on: one followed
// by a character that starts no tag, and not by another "<" (which may begin a
// tag that is left out, bringing what follows it next to this one).
bool StaysCharacter(std::string_view rest) {
  if (rest.size() < 2) return false;
  const char next = rest[1];
  return !host::IsAsciiLetter(next) && next != '/' && next != '!' && next != '?' &&
         next != '<';
}

struct OutputFree {
  void operator()(GumboOutput* output) const {
    gumbo_destroy_output(&kGumboDefaultOptions, output);
  }
};
using OutputPtr = std::unique_ptr<GumboOutput, OutputFree>;

const GumboNode& NodeAt(void* const* nodes, unsigned i) {
  return *static_cast<const GumboNode*>(nodes[i]);
}

// Where a node starts in the source.
unsigned OffsetOf(const GumboNode& node) {
  switch (node.type) {
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE:
      return node.v.element.start_pos.offset;
    case GUMBO_NODE_DOCUMENT:
      return 0;
    default:
      return node.v.text.start_pos.offset;
  }
}

bool IsKeptTable(const GumboNode& node) {
  return node.type == GUMBO_NODE_ELEMENT && node.v.element.tag == GUMBO_TAG_TABLE &&
         TreatmentOf(node.v.element) == Treatment::kKeep;
}

// Writes the filtered tree of one parse of `source`, without recursion: a text
// may nest elements deeper than the call stack could follow.
//
// Content the parser moved out of a table ("<table>text</table>" puts the text
// in front of the table, as browsers do) is written back inside the table, at
// its place in the source, so that the glow and shadow of the mark-up come out
// as written; a browser moves it out again as it reads the page.
class TreeWriter {
 public:
  // `copies` is how many copies of formatting elements (see Enter) may be
  // written with their tags.
  TreeWriter(std::string_view source, std::size_t copies, std::string& out)
      : source_(source), copies_left_(copies), out_(out) {}

  void Write(const GumboNode& root) {
    Push(root.v.element.children.data, root.v.element.children.length, kNever);
    while (!open_.empty()) {
      if (WriteMovedNode()) continue;
      Open& top = open_.back();
      if (top.next == top.count) {
        if (!top.end_tag.empty()) {
          out_ += top.end_tag;
        } else if (top.end_name != nullptr) {
          out_ += "</";
          out_ += top.end_name;
          out_ += '>';
        }
        open_.pop_back();
        continue;
      }
      if (top.next == top.moved_begin && top.moved_begin < top.table) {
        moved_ = {top.nodes + top.moved_begin, top.table - top.moved_begin};
        top.next = top.table;
      }
      const unsigned index = top.next++;
      if (index == top.table) FindNextTable(top);
      const GumboNode& node = NodeAt(top.nodes, index);
      switch (node.type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
          Enter(node);  // may invalidate `top`
          break;
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
          WriteText(node.v.text);
          break;
        default:  // comments, CDATA
          break;
      }
    }
  }

 private:
  static constexpr unsigned kNever = ~0u;

  // Nodes being written (an element's children, or one node moved back into a
  // table), and the end tag that follows them.
  struct Open {
    void* const* nodes;
    unsigned count;
    unsigned end_offset;  // where the end tag stands in the source
    unsigned next = 0;
    unsigned table = 0;              // index of the next kept table, or `count`
    unsigned moved_begin = 0;        // first of the nodes moved out of that table
    std::string_view end_tag = {};   // as written in the source
    const char* end_name = nullptr;  // else "</" end_name ">" when set
  };

  // Nodes moved out of the table whose frame is `open_[owner]`, to be written
  // inside it.
  struct Moved {
    void* const* nodes = nullptr;
    unsigned count = 0;
    unsigned next = 0;
    std::size_t owner = 0;
  };

  Open& Push(void* const* nodes, unsigned count, unsigned end_offset) {
    Open& open = open_.emplace_back(Open{nodes, count, end_offset});
    FindNextTable(open);
    return open;
  }

  // The next kept table from `open.next` on, and the nodes right before it
  // that start after it in the source: those the parser moved out of it.
  static void FindNextTable(Open& open) {
    unsigned table = open.next;
    while (table < open.count && !IsKeptTable(NodeAt(open.nodes, table))) ++table;
    unsigned begin = table;
    if (table < open.count) {
      const unsigned at = OffsetOf(NodeAt(open.nodes, table));
      while (begin > open.next && OffsetOf(NodeAt(open.nodes, begin - 1)) > at) --begin;
    }
    open.table = table;
    open.moved_begin = begin;
  }

  // Opens the next node moved out of the innermost table being written when
  // the source has it before what comes next, or when the table ends.
  bool WriteMovedNode() {
    if (moved_runs_.empty()) return false;
    Moved& run = moved_runs_.back();
    const Open& top = open_.back();
    const bool table_ends = run.owner == open_.size() - 1 && top.next == top.count;
    const unsigned next_offset =
        top.next < top.count ? OffsetOf(NodeAt(top.nodes, top.next)) : top.end_offset;
    if (run.next < run.count &&
        (table_ends || OffsetOf(NodeAt(run.nodes, run.next)) < next_offset)) {
      Push(run.nodes + run.next, 1, 0);
      ++run.next;
      return true;
    }
    if (table_ends) moved_runs_.pop_back();
    return false;
  }

  void Enter(const GumboNode& node) {
    const GumboElement& element = node.v.element;
    Treatment treatment = TreatmentOf(element);
    // The parser copies formatting elements ("<b>", "<font>", "<a>") left open
    // across a paragraph or a misnested end tag into what follows; a text can
    // make it copy each of a hundred open ones after each of its tags. Past as
    // many copies as the piece has tags, copies lose their tags (not their
    // content), so the output stays within a few times the input.
    constexpr unsigned kCopied = GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT |
                                 GUMBO_INSERTION_ADOPTION_AGENCY_CLONED;
    if (treatment == Treatment::kKeep && (node.parse_flags & kCopied) != 0) {
      if (copies_left_ == 0) {
        treatment = Treatment::kUnwrap;
      } else {
        --copies_left_;
      }
    }
    if (treatment == Treatment::kRemove) return;
    if (treatment == Treatment::kUnwrap) {
      Push(element.children.data, element.children.length, element.end_pos.offset);
      return;
    }
    if (LoadsForeignAddress(element)) return;
    const bool started = WriteStartTag(element);
    Open& open =
        Push(element.children.data, element.children.length, element.end_pos.offset);
    if (started && !IsVoid(element.tag)) {
      const char* name = gumbo_normalized_tagname(element.tag);
      const std::string_view end_tag = View(element.original_end_tag);
      if (IsPlainEndTag(end_tag, name)) {
        open.end_tag = end_tag;
      } else {
        open.end_name = name;
      }
    }
    if (moved_.count > 0) {
      moved_runs_.push_back({moved_.nodes, moved_.count, 0, open_.size() - 1});
      moved_ = {};
    }
  }

  // Writes the element's start tag as it came when that is safe, else rebuilt
  // from its kept attributes; false when the element has no tag in the source.
  bool WriteStartTag(const GumboElement& element) {
    const std::string_view tag = View(element.original_tag);
    if (tag.empty()) {
      // Elements the parser made up: implied table sections and rows, the
      // paragraph of a stray "</p>", the line break of "</br>" (which browsers
      // read as one, so it is kept as one).
      if (element.tag == GUMBO_TAG_BR) out_ += "<br>";
      return false;
    }
    const char* normal_name = gumbo_normalized_tagname(element.tag);
    std::string_view name = NameOfTag(tag);
    bool rebuild = tag.front() != '<' || tag.back() != '>';
    if (!EqualsIgnoreCase(name, normal_name)) {  // "<image>", read as "<img>"
      name = normal_name;
      rebuild = true;
    }
    // The tag as written holds nothing but its name, the attributes the parser
    // kept, and blanks or "/" between them; a second copy of an attribute, which
    // the parser leaves out, forces a rebuild like a refused attribute does.
    std::size_t pos = 1 + name.size();
    std::size_t last_end = pos;
    const GumboVector& attributes = element.attributes;
    for (unsigned i = 0; i < attributes.length; ++i) {
      const auto& attribute = *static_cast<const GumboAttribute*>(attributes.data[i]);
      const std::string_view text = AttributeText(tag, attribute);
      if (text.empty()) {
        rebuild = true;
        continue;
      }
      const std::size_t begin = text.data() - tag.data();
      if (begin < pos || !AllBlankOrSlash(tag.substr(pos, begin - pos))) rebuild = true;
      if (!KeepsAttribute(element, attribute)) rebuild = true;
      pos = std::max(pos, begin + text.size());
      last_end = std::max(last_end, begin + text.size());
    }
    if (pos >= tag.size() || !AllBlankOrSlash(tag.substr(pos, tag.size() - 1 - pos))) {
      rebuild = true;
    }
    if (!rebuild) {
      out_ += tag;
    } else {
      out_ += '<';
      out_ += name;
      char last = '\0';  // last character of the last attribute written
      for (unsigned i = 0; i < attributes.length; ++i) {
        const auto& attribute = *static_cast<const GumboAttribute*>(attributes.data[i]);
        const std::string_view text = AttributeText(tag, attribute);
        if (text.empty() || !KeepsAttribute(element, attribute)) continue;
        out_ += ' ';
        out_ += text;
        last = text.back();
      }
      // A "/" right after an unquoted value would join the value.
      if (tag.size() >= 2 && tag[tag.size() - 2] == '/' && tag.size() - 2 >= last_end) {
        out_ += last == '\0' || last == '"' || last == '\'' ? "/" : " /";
      }
      out_ += '>';
    }
    if (element.tag == GUMBO_TAG_PRE) WriteSkippedNewline(element);
    return true;
  }

  // The parser drops the line break right after "<pre>", as browsers do when
  // they read the output again; it is written back so that they drop it and
  // not the next one.
  void WriteSkippedNewline(const GumboElement& pre) {
    const char* after = pre.original_tag.data + pre.original_tag.length;
    const char* end = source_.data() + source_.size();
    if (after < source_.data() || after >= end) return;
    if (pre.children.length > 0) {
      const auto& first = *static_cast<const GumboNode*>(pre.children.data[0]);
      const bool text =
          first.type == GUMBO_NODE_TEXT || first.type == GUMBO_NODE_WHITESPACE;
      if (text && first.v.text.original_text.data == after) return;  // not dropped
    }
    if (*after == '\n') {
      out_ += '\n';
    } else if (*after == '\r') {
      out_ += (after + 1 < end && after[1] == '\n') ? "\r\n" : "\r";
    }
  }

  // Text as it came. A run of text holds a "<" where the parser ignored a tag
  // inside it ("a</x>b" is the text "ab"): the ignored tags are left out but
  // for the harmless "</embed>" of the Flash mark-up, and a "<" that is a
  // character is written as "&lt;" unless it stays one whatever comes next.
  void WriteText(const GumboText& text) {
    std::string_view source = View(text.original_text);
    if (source.empty()) {  // text the parser made up
      out_ += EscapeHtml(text.text);
      return;
    }
    // A text that starts with CR LF starts at the LF for the parser.
    if (source.front() == '\n' && source.data() > source_.data() &&
        source.data() <= source_.data() + source_.size() && source.data()[-1] == '\r') {
      source = std::string_view(source.data() - 1, source.size() + 1);
    }
    std::size_t i = 0;
    while (i < source.size()) {
      const std::size_t lt = std::min(source.find('<', i), source.size());
      out_.append(source, i, lt - i);
      if (lt == source.size()) break;
      const std::string_view rest = source.substr(lt);
      const std::size_t length = IgnoredTokenLength(rest);
      if (length == 0) {
        out_ += StaysCharacter(rest) ? "<" : "&lt;";
        i = lt + 1;
        continue;
      }
      if (IsHarmlessEndTag(rest.substr(0, length))) out_ += rest.substr(0, length);
      i = lt + length;
    }
  }

  std::string_view source_;
  std::size_t copies_left_;
  std::string& out_;
  std::vector<Open> open_;
  std::vector<Moved> moved_runs_;
  Moved moved_;  // nodes moved out of the table about to be entered
};

// Filters one piece of text, parsed on its own, holding `tags` tags.
void FilterPiece(std::string_view piece, std::size_t tags, std::string& out) {
  GumboOptions options = kGumboDefaultOptions;
  options.fragment_context = GUMBO_TAG_BODY;
  options.fragment_namespace = GUMBO_NAMESPACE_HTML;
  // Each parse error the parser records copies its stack of open elements: a
  // text of many unclosed tags would cost time and memory in the square of its
  // length, for messages nobody reads.
  options.max_errors = 0;
  OutputPtr output(gumbo_parse_with_options(&options, piece.data(), piece.size()));
  if (!output) throw std::bad_alloc();
  TreeWriter(piece, tags, out).Write(*output->root);
}

// Most tags one parse sees, and most start tags of formatting elements among
// them. The parser checks what is open by walking its stack of open elements,
// and copies open formatting elements after each paragraph, so a parse costs up
// to the number of tags times their depth, or times the formatting elements
// open: 40,000 nested "<div>" take it seconds, as do 50,000 "<p><font
// color=N>". A longer text is filtered in pieces, each cut before a tag and
// each closed on its own; in a message that long, a table or a font that spans
// two pieces ends early.
constexpr std::size_t kTagsPerParse = 1000;
constexpr std::size_t kFormattingPerParse = 100;

// Formatting elements: those the parser copies.
constexpr std::array<std::string_view, 14> kFormattingNames{
    "a",    "b", "big",   "code",   "em",     "font", "i",
    "nobr", "s", "small", "strike", "strong", "tt",   "u"};

bool IsFormattingStart(std::string_view text, const TagScan& tag) {
  if (text[1] == '/') return false;
  return std::any_of(
      kFormattingNames.begin(), kFormattingNames.end(),
      [&](std::string_view name) { return EqualsIgnoreCase(tag.name, name); });
}

// `text` with NUL bytes dropped and every byte that is not part of a valid
// UTF-8 sequence (the longest start of one counting as one) replaced by U+FFFD,
// as the parser needs.
std::string CleanText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      if (lead != 0) out += text[i];
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;  // no UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    }
    std::size_t valid = length == 0 ? 0 : 1;
    while (valid < length && i + valid < text.size()) {
      const auto c = static_cast<unsigned char>(text[i + valid]);
      if (c < (valid == 1 ? low : 0x80) || c > (valid == 1 ? high : 0xBF)) break;
      ++valid;
    }
    if (length != 0 && valid == length) {
      out.append(text, i, length);
    } else {
      out += "\xEF\xBF\xBD";
    }
    i += std::max<std::size_t>(valid, 1);
  }
  return out;
}

}  // namespace

bool IsSafeAddress(std::string_view decoded_value) {
  return SchemeOf(decoded_value) != Scheme::kOther;
}

std::string FilterHtml(std::string_view html) {
  const std::string text = CleanText(html);
  // The text as parsed: each tag with its first kAttributesPerTag attributes
  // only, cut into pieces of at most kTagsPerParse tags and kFormattingPerParse
  // formatting elements.
  std::string parsed;
  parsed.reserve(text.size());
  std::string out;
  out.reserve(text.size());
  std::size_t piece_begin = 0;
  std::size_t tags = 0;
  std::size_t formatting = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t lt = std::min(text.find('<', i), text.size());
    parsed.append(text, i, lt - i);
    if (lt == text.size()) break;
    const std::string_view rest = std::string_view(text).substr(lt);
    const TagScan tag = ScanTagAt(rest);
    if (tag.length == 0) {
      parsed += '<';
      i = lt + 1;
      continue;
    }
    const bool opens_formatting = IsFormattingStart(rest, tag);
    if (tags == kTagsPerParse ||
        (opens_formatting && formatting == kFormattingPerParse)) {
      FilterPiece(std::string_view(parsed).substr(piece_begin), tags, out);
      piece_begin = parsed.size();
      tags = formatting = 0;
    }
    ++tags;
    if (opens_formatting) ++formatting;
    parsed.append(rest.substr(0, tag.kept));
    if (tag.kept < tag.length && rest[tag.length - 1] == '>') parsed += '>';
    i = lt + tag.length;
  }
  FilterPiece(std::string_view(parsed).substr(piece_begin), tags, out);
  return out;
}

}  // namespace tb::check
