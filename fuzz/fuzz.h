// File: fuzz.h — what the libFuzzer targets share: the input as text, cutting
// it into pieces, and the check that filtered HTML can run no script.
//
// A failed check prints why and aborts, so that libFuzzer keeps the input as a
// crash-* file.
#pragma once

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace tb::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// What comes before the first `sep`, which is cut off `text` with it; all of
// `text` when there is none.
inline std::string_view Take(std::string_view& text, char sep = '\n') {
  const std::size_t cut = std::min(text.find(sep), text.size());
  const std::string_view head = text.substr(0, cut);
  text.remove_prefix(std::min(cut + 1, text.size()));
  return head;
}

[[noreturn]] inline void Fail(std::string_view why, std::string_view what) {
  std::fprintf(stderr, "fuzz check failed: %.*s: %.*s\n", int(why.size()), why.data(),
               int(what.size()), what.data());
  std::abort();
}

inline std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return out;
}

// An address that runs script or makes a document, read as a browser reads
// it: tab, LF and CR dropped anywhere, C0 controls and blanks trimmed in front.
inline bool RunsScript(std::string_view value) {
  std::string clean;
  for (char c : value) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (clean.empty() && static_cast<unsigned char>(c) <= 0x20) continue;
    clean += c;
  }
  clean = Lower(clean);
  for (std::string_view scheme : {"javascript:", "vbscript:", "data:", "livescript:"}) {
    if (clean.starts_with(scheme)) return true;
  }
  return false;
}

// Attributes whose value is an address a browser may load or follow.
inline bool IsAddressAttribute(const GumboElement& e, std::string_view name) {
  constexpr std::array<std::string_view, 12> kNames{
      "href", "src",    "action", "background", "codebase",    "data",
      "cite", "poster", "lowsrc", "dynsrc",     "pluginspage", "xlink:href"};
  if (std::ranges::find(kNames, name) != kNames.end()) return true;
  if (e.tag != GUMBO_TAG_PARAM || name != "value") return false;
  const GumboAttribute* param = gumbo_get_attribute(&e.attributes, "name");
  const std::string of = Lower(param ? param->value : "");
  return of == "movie" || of == "src" || of == "url" || of == "filename" || of == "data";
}

inline void CheckElement(const GumboElement& e) {
  constexpr std::array kScriptTags{
      GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE,  GUMBO_TAG_IFRAME,
      GUMBO_TAG_FRAME,  GUMBO_TAG_APPLET, GUMBO_TAG_META,
      GUMBO_TAG_LINK,   GUMBO_TAG_BASE,   GUMBO_TAG_TEMPLATE};
  if (e.tag_namespace != GUMBO_NAMESPACE_HTML ||
      std::ranges::find(kScriptTags, e.tag) != kScriptTags.end()) {
    Fail("element kept", gumbo_normalized_tagname(e.tag));
  }
  for (unsigned i = 0; i < e.attributes.length; ++i) {
    const auto& a = *static_cast<const GumboAttribute*>(e.attributes.data[i]);
    const std::string_view name = a.name, value = a.value;
    const std::string style = Lower(value);
    // object and embed are kept for the Flash mark-up, loading http(s) only.
    if (name.starts_with("on") || name == "srcdoc" || name == "formaction" ||
        (name == "style" && (style.find("expression(") != std::string::npos ||
                             style.find("url(") != std::string::npos ||
                             style.find('\\') != std::string::npos)) ||
        (IsAddressAttribute(e, name) && RunsScript(value))) {
      Fail("attribute kept", std::string(name) + "=" + std::string(value));
    }
  }
}

// Aborts when `html`, parsed as the body of a page, holds an element or an
// attribute that could run script.
inline void ExpectNoScript(std::string_view html) {
  const std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> doc(
      gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size()),
      [](GumboOutput* out) { gumbo_destroy_output(&kGumboDefaultOptions, out); });
  auto walk = [](auto& self, const GumboNode& node) -> void {
    if (node.type != GUMBO_NODE_ELEMENT && node.type != GUMBO_NODE_TEMPLATE) return;
    CheckElement(node.v.element);
    for (unsigned i = 0; i < node.v.element.children.length; ++i) {
      self(self, *static_cast<const GumboNode*>(node.v.element.children.data[i]));
    }
  };
  walk(walk, *doc->root);
}

}  // namespace tb::fuzz
