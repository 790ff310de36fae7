#include "component/dispatch.h"

#include <array>

#include "host/ascii.h"

namespace tb {
namespace {

using Args = std::vector<Value>;

// The by-reference argument `i`, read as text; it receives `text` back.
std::string ArgText(const Args& args, std::size_t i) {
  return i < args.size() ? args[i].Text() : std::string();
}
void SetArg(Args& args, std::size_t i, Value v) {
  if (args.size() <= i) args.resize(i + 1);
  args[i] = std::move(v);
}

// Text properties and variant properties.
#define TB_TEXT_PROPERTY(Name, id)                                                    \
  Member {                                                                            \
#Name, id, MemberKind::kProperty, nullptr,                                        \
        [](const Guestbook&                                                           \
               g) { return Value(g.Name()); }, [](Guestbook & g,                      \
                                                  Value v) { g.Set##Name(v.Text()); } \
  }
#define TB_VARIANT_PROPERTY(Name, id)                                              \
  Member {                                                                         \
#Name, id, MemberKind::kProperty, nullptr,                                     \
        [](const Guestbook&                                                        \
               g) { return g.Name(); }, [](Guestbook & g,                          \
                                           Value v) { g.Set##Name(std::move(v)); } \
  }

const std::array kMembers = {
    TB_TEXT_PROPERTY(StopThisWord, 0x68030009),
    TB_TEXT_PROPERTY(DelThisWord, 0x68030008),
    TB_VARIANT_PROPERTY(MaxNum, 0x68030007),
    TB_VARIANT_PROPERTY(LybMaxUser, 0x68030006),
    TB_VARIANT_PROPERTY(LybUrl, 0x68030005),
    TB_VARIANT_PROPERTY(LybMsgLen, 0x68030004),
    TB_VARIANT_PROPERTY(AdminEmail, 0x68030003),
    TB_VARIANT_PROPERTY(IsOpen, 0x68030002),
    TB_VARIANT_PROPERTY(PageTitle, 0x68030001),
    TB_TEXT_PROPERTY(DSNtemp, 0x68030000),
    // Bound and released by the host itself, not callable through the table.
    Member{"OnStartPage", 0x6003000a, MemberKind::kMethod},
    Member{"OnEndPage", 0x6003000b, MemberKind::kMethod},
    MethodMember<&Guestbook::test>("test", 0x6003000c),
    Member{"Guolvfeifa", 0x60030010, MemberKind::kFunction,
           [](Guestbook& g, Args& args) {
             if (args.empty()) args.resize(1);
             return g.Guolvfeifa(args[0]);
           }},
    MethodMember<&Guestbook::gBookAd>("gBookAd", 0x60030024),
    MethodMember<&Guestbook::gBookTimeout>("gBookTimeout", 0x60030025),
    Member{"MyDelThisWord", 0x6003002b, MemberKind::kFunction,
           [](Guestbook& g, Args& args) {
             std::string text = ArgText(args, 0);
             Value result(g.MyDelThisWord(text));
             SetArg(args, 0, Value(text));
             return result;
           }},
    Member{"MyStopThisWord", 0x6003002c, MemberKind::kFunction,
           [](Guestbook& g, Args& args) {
             std::string text = ArgText(args, 0);
             Value result(g.MyStopThisWord(text));
             SetArg(args, 0, Value(text));
             return result;
           }},
};

#undef TB_TEXT_PROPERTY
#undef TB_VARIANT_PROPERTY

}  // namespace

std::span<const Member> CoreMembers() { return kMembers; }

}  // namespace tb
