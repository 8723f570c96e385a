// Choosing the texts of a message: layout words and state names from the
// operating system's catalogue (sets 2 and 3) when one is open, P texts from
// the suite's message catalogue. A replacement text is used as a format
// only when every conversion in it reads an argument of the type the
// layout passes in that place; otherwise the built-in text is used, so no
// text can make the printer read an argument that was not passed.
#include <nl_types.h>

#include <string>

#include "msg/msg.h"
#include "sgml/messages/message_tables.h"
#include "sgml/parser_state.h"

namespace {

nl_catd the_catalogue = reinterpret_cast<nl_catd>(-1);

constexpr long kFirstParserMessage = 220120;

// Argument types as the formatted output engine fetches them.
enum ArgType : char { kArgInt = 'i', kArgLong = 'l', kArgString = 's' };

// The argument types a format reads, in order; false when it holds a
// conversion that is not allowed here ("*", %n, %p, floating point ...).
bool format_arguments(const char* format, std::string* types) {
  types->clear();
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '.' ||
           (*p >= '0' && *p <= '9')) {
      ++p;
    }
    int longs = 0;
    while (*p == 'l') {
      ++longs;
      ++p;
    }
    switch (*p) {
      case '%':
        if (longs != 0) return false;
        break;
      case 's':
        if (longs != 0) return false;
        types->push_back(kArgString);
        break;
      case 'c':
        if (longs != 0) return false;
        types->push_back(kArgInt);
        break;
      case 'd': case 'i': case 'u': case 'o': case 'x': case 'X':
        if (longs > 1) return false;
        types->push_back(longs == 1 ? kArgLong : kArgInt);
        break;
      default:
        return false;  // "*", %n, %p, floating point, or a "%" at the end
    }
  }
  return true;
}

// Whether text reads no more than the arguments passed, each of its type.
bool fits(const char* text, const char* passed) {
  std::string types;
  if (text == nullptr || !format_arguments(text, &types)) return false;
  return std::string(passed).compare(0, types.size(), types) == 0 &&
         types.size() <= std::char_traits<char>::length(passed);
}

// Arguments the layout passes to each part text.
const char* const kPartArguments[kPartCount] = {
    "",     // In file included
    "iii",  // kind words: second letter, first letter, number
    "iii", "iii", "iii",
    "ssl",  // file, entity, line
    "sl",   // entity, line
    "ssi",  // state, subject, parameter
    "si",   // state, parameter
    "s",    // state
    "", "", "",
    "i",    // character
    "i",    // character code
    "s",    // file
    "",     // Element structure:
};

const char* from_catalogue(int set, int item) {
  if (the_catalogue == reinterpret_cast<nl_catd>(-1)) return nullptr;
  return catgets(the_catalogue, set, item, nullptr);
}

}  // namespace

void message_catalogue_set(void* catalogue) { the_catalogue = static_cast<nl_catd>(catalogue); }

const char* part_text(int index) {
  if (index < 0 || index >= kPartCount) message_internal_error(__LINE__);
  const char* text = from_catalogue(2, index + 1);
  return text != nullptr && fits(text, kPartArguments[index]) ? text : PartTexts[index];
}

const char* state_name(int index) {
  if (index < 0 || index >= kStateNameCount) message_internal_error(__LINE__);
  // A state name is an argument, never a format.
  const char* text = from_catalogue(3, index + 1);
  return text != nullptr ? text : StateNames[index];
}

const char* p_text(int n) {
  const char* text = GetMsgText(kFirstParserMessage + n);
  if (fits(text, "ss")) return text;
  // The compiled-in text always fits.
  for (size_t i = 0; i < MsgTableCount; ++i) {
    if (MsgTable[i].number == static_cast<unsigned>(kFirstParserMessage + n)) return MsgTable[i].text;
  }
  return "";
}
