#include "kvo_archive/text_escape.h"

namespace kvo::archive_tool {
namespace {

void append_hex_byte(std::string* out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->push_back(kHex[c >> 4]);
  out->push_back(kHex[c & 0x0f]);
}

// The length of the valid UTF-8 sequence at `p` (at most `left` bytes), or
// 0: no overlong forms, no surrogates, nothing above U+10FFFF.
size_t utf8_length(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  unsigned char low = 0x80, high = 0xbf;
  size_t length;
  if (c < 0x80) return 1;
  if (c >= 0xc2 && c <= 0xdf) {
    length = 2;
  } else if (c >= 0xe0 && c <= 0xef) {
    length = 3;
    if (c == 0xe0) low = 0xa0;
    if (c == 0xed) high = 0x9f;
  } else if (c >= 0xf0 && c <= 0xf4) {
    length = 4;
    if (c == 0xf0) low = 0x90;
    if (c == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (left < length || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xbf) return 0;
  }
  return length;
}

// The low byte of the bidirectional control (U+202A to U+202E, U+2066 to
// U+2069) that the `length` bytes at `p` encode, or 0 for any other
// character: one would reorder the text shown around it.
unsigned char bidi_control(const unsigned char* p, size_t length) {
  if (length != 3 || p[0] != 0xe2) return 0;
  const bool bidi = (p[1] == 0x80 && p[2] >= 0xaa && p[2] <= 0xae) ||
                    (p[1] == 0x81 && p[2] >= 0xa6 && p[2] <= 0xa9);
  return bidi ? static_cast<unsigned char>((p[1] & 0x3f) << 6 | (p[2] & 0x3f))
              : 0;
}

}  // namespace

std::string terminal_text(const std::string& text) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = p[i];
    const size_t length = utf8_length(p + i, text.size() - i);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n' || c == '\t' || c == '\r') {
      out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
    } else if (c < 0x20 || c == 0x7f || length == 0) {
      out += "\\x";
      append_hex_byte(&out, c);
    } else if (c == 0xc2 && p[i + 1] < 0xa0) {  // C1: U+0080 to U+009F.
      out += "\\u00";
      append_hex_byte(&out, p[i + 1]);
    } else if (const unsigned char low = bidi_control(p + i, length)) {
      out += "\\u20";
      append_hex_byte(&out, low);
    } else {
      out.append(text, i, length);
    }
    i += length == 0 ? 1 : length;
  }
  return out;
}

void append_csv_field(std::string* out, const char* text, size_t size) {
  bool quote = size == 0;
  for (size_t i = 0; i < size && !quote; ++i) {
    quote =
        text[i] == ',' || text[i] == '"' || text[i] == '\r' || text[i] == '\n';
  }
  if (!quote) {
    out->append(text, size);
    return;
  }
  out->push_back('"');
  for (size_t i = 0; i < size; ++i) {
    if (text[i] == '"') out->push_back('"');
    out->push_back(text[i]);
  }
  out->push_back('"');
}

void append_json_string(std::string* out, const char* text, size_t size) {
  out->push_back('"');
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; i < size;) {
    // Runs of plain ASCII, the bulk of any text here, go in one piece.
    size_t plain = i;
    while (plain < size && p[plain] >= 0x20 && p[plain] < 0x80 &&
           p[plain] != '"' && p[plain] != '\\') {
      ++plain;
    }
    out->append(text + i, plain - i);
    if (plain == size) break;
    i = plain;
    const unsigned char c = p[i];
    const size_t length = c < 0x80 ? 1 : utf8_length(p + i, size - i);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c < 0x20) {
      *out += "\\u00";
      append_hex_byte(out, c);
    } else if (length == 0) {
      *out += "\\ufffd";
    } else {
      out->append(text + i, length);
    }
    i += length == 0 ? 1 : length;
  }
  out->push_back('"');
}

}  // namespace kvo::archive_tool
