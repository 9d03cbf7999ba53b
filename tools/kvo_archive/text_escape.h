// How kvo-archive writes bytes that come from archives, which come off
// vehicles and are trusted in nothing: on a terminal as visible escapes,
// in CSV and JSON exactly and validly.
#ifndef KVO_TOOLS_KVO_ARCHIVE_TEXT_ESCAPE_H_
#define KVO_TOOLS_KVO_ARCHIVE_TEXT_ESCAPE_H_

#include <cstddef>
#include <string>

namespace kvo::archive_tool {

// `text` with every control character (C0, DEL, C1, the bidirectional
// ones that reorder what a terminal shows), every byte that is no part of
// valid UTF-8, and the backslash written as a C escape: \n, \t, \r, \\,
// \x1b, \u009b, \u202e. What is left is printable, in order, and one line.
std::string terminal_text(const std::string& text);

// A CSV field (RFC 4180): quoted when it holds a comma, a quote, CR or LF,
// or is empty (a bare empty field stands for null); the bytes exact.
void append_csv_field(std::string* out, const char* text, size_t size);

// A JSON string (RFC 8259): quote, backslash and C0 controls escaped. A
// byte that is no part of valid UTF-8, which no JSON text may hold, becomes
// U+FFFD; valid UTF-8 stays as it is.
void append_json_string(std::string* out, const char* text, size_t size);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_TEXT_ESCAPE_H_
