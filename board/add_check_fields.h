// File: add_check_fields.h — the treatments of a posted message's fields that
// are more than a trim or a check: the form key test, the location, the
// font and avatar values that end up in unquoted HTML attributes, the stored
// format, the length limit, the sort keys and the stored row.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/value.h"

namespace tb::board::post {

// True when key2 reads as a number equal to the issued key (so leading
// zeros and surrounding blanks do not matter). A session without a numeric
// key matches nothing.
// Example: FormKeyMatches(" 0123456789", Value("123456789")) == true.
bool FormKeyMatches(std::string_view key2, const Value& issued);

// The poster's location: country, province and county for 中国, country and
// county elsewhere; every "0" removed.
// Example: Location("美国", "广东", "广州") == "美国广州"; Location("", "", "100") ==
// "1".
std::string Location(std::string_view country, std::string_view province,
                     std::string_view county);

// The typeface with everything but letters (any script), digits, "_" and "-"
// dropped; "宋体" when nothing is left.
// Example: SafeFont("Arial\" onmouseover=x") == "Arialonmouseoverx".
std::string SafeFont(std::string_view font);

// One digit from 1 to 7, else "3". Example: SafeFontSize("8") == "3".
std::string SafeFontSize(std::string_view size);

// "#" and six hexadecimal digits, or letters A to Z only, else "#000000".
// Example: SafeFontColor("#00ff00") == "#00ff00"; SafeFontColor("red;") == "#000000".
std::string SafeFontColor(std::string_view color);

// The avatar number as posted when it is all digits, else "0".
// Example: SafeAvatar("12") == "12"; SafeAvatar("") == "0"; SafeAvatar("1 x") == "0".
std::string SafeAvatar(std::string_view avatar);

// The format a message is stored in. The owner's own post keeps the posted
// format; a visitor may post HTML ("1") only to a guestbook whose mode is
// "1", and UBB ("2") only to one whose mode is not "0"; anything else is
// stored as plain text "0".
// Example: StoredFormat("1", "2", false) == "0"; StoredFormat("1", "0", true) == "1".
std::string StoredFormat(std::string_view posted, std::string_view book_mode,
                         bool by_owner);

// How many characters of a message are kept: `LybMsgLen` as a whole number
// (rounded half to even); empty counts as 0. A negative or non-numeric
// setting is a fault of the page and raises std::invalid_argument.
// Example: MessageLimit(Value("10")) == 10; MessageLimit(Value()) == 0.
std::size_t MessageLimit(const Value& lyb_msg_len);

// Sort key of a new thread: above every older thread of the guestbook.
// Example: NewThreadSortKey(0) == 19999.
std::int64_t NewThreadSortKey(std::int64_t counter);

// Sort key of a reply: 100 below its parent's, or 19999 when the parent's is
// empty. Example: ReplySortKey(Value(19999)) == 19899.
std::int64_t ReplySortKey(const Value& parent_sort_key);

// One message as stored, every value as text (numbers in plain decimal,
// which the numeric columns store as numbers).
struct MessageRow {
  std::string name, message, guestname, regtime, ip, touxiang, email, subject, homepage,
      replymail, oicq, html, font, fontsize, fontcolor, newinfo, whoinfo, infoseekno,
      priviteword, hailfrom, infono;
};

// The insert of a message row, its values bound in MessageRow's order.
inline constexpr std::string_view kInsertMessageSql =
    "insert into liuyan (name,message,guestname,regtime,ip,touxiang,email,subject,"
    "homepage,replymail,oicq,html,font,fontsize,fontcolor,newinfo,whoinfo,infoseekno,"
    "priviteword,hailfrom,infono) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// A message row's values for kInsertMessageSql.
std::vector<Value> MessageValues(const MessageRow& row);

}  // namespace tb::board::post
