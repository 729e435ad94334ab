#include "platform/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <utility>

#include "base/c_handle.h"
#include "base/cp932_search.h"

namespace velmarin {
namespace {

using IconvHandle = CHandle<void, iconv_close>;

std::optional<std::string> Convert(const char* to, const char* from, std::string_view input) {
  // An iconv descriptor holds shift state, so each call opens its own: calls from the
  // folder thread and the user-interface thread never share one.
  iconv_t raw = iconv_open(to, from);
  if (raw == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  IconvHandle cd(raw);

  std::string out;
  out.resize(input.size() * 2 + 16);
  char* in_ptr = const_cast<char*>(input.data());
  size_t in_left = input.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  while (in_left > 0) {
    if (iconv(raw, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1)) continue;
    if (errno != E2BIG) return std::nullopt;  // EILSEQ or EINVAL: not convertible whole
    const size_t used = static_cast<size_t>(out_ptr - out.data());
    out.resize(out.size() * 2);
    out_ptr = out.data() + used;
    out_left = out.size() - used;
  }
  if (iconv(raw, nullptr, nullptr, &out_ptr, &out_left) == static_cast<size_t>(-1)) {
    return std::nullopt;
  }
  out.resize(static_cast<size_t>(out_ptr - out.data()));
  return out;
}

}  // namespace

std::string Cp932ToUtf8Replacing(const Cp932Text& text, int* replaced) {
  if (replaced != nullptr) *replaced = 0;
  const std::string_view cp932 = text.view();
  if (std::optional<std::string> whole = Convert("UTF-8", "CP932", cp932)) return *whole;
  std::string out;
  std::size_t pos = 0;
  while (pos < cp932.size()) {
    // The longest run that converts whole goes in one piece; the character after it is
    // tried alone.
    std::size_t end = pos;
    while (end < cp932.size()) {
      const std::size_t length = Cp932CharLength(cp932, end);
      if (!Convert("UTF-8", "CP932", cp932.substr(end, length))) break;
      end += length;
    }
    if (end > pos) out += Convert("UTF-8", "CP932", cp932.substr(pos, end - pos)).value_or("");
    if (end == cp932.size()) break;
    out += '?';
    if (replaced != nullptr) ++*replaced;
    // A lead byte whose next byte cannot end a character stands alone; that byte is tried
    // on its own.
    const std::size_t length = Cp932CharLength(cp932, end);
    const auto trail = length == 2 ? static_cast<unsigned char>(cp932[end + 1]) : 0;
    const bool valid_trail = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC);
    pos = end + (length == 2 && !valid_trail ? 1 : length);
  }
  return out;
}

Cp932Text Utf8ToCp932Replacing(std::string_view utf8) {
  if (std::optional<Cp932Text> whole = Utf8ToCp932(utf8)) return *std::move(whole);
  std::string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    // One character: its lead byte and the continuation bytes behind it.
    std::size_t end = pos + 1;
    while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
    const std::optional<Cp932Text> converted = Utf8ToCp932(utf8.substr(pos, end - pos));
    out += converted ? converted->bytes() : std::string("?");
    pos = end;
  }
  return Cp932Text(std::move(out));
}

std::string Utf8Replacing(std::string_view bytes) {
  if (std::optional<std::string> whole = Convert("UTF-8", "UTF-8", bytes)) return *whole;
  std::string out;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // The character its lead byte announces; iconv judges it (overlong forms, surrogates).
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::optional<std::string> converted =
        Convert("UTF-8", "UTF-8", bytes.substr(pos, length));
    if (converted && !converted->empty()) {
      out += *converted;
      pos += length;
    } else {
      out += "\xEF\xBF\xBD";  // U+FFFD
      ++pos;
    }
  }
  return out;
}

std::optional<std::string> Cp932ToUtf8(const Cp932Text& cp932) {
  return Convert("UTF-8", "CP932", cp932.view());
}

std::optional<Cp932Text> Utf8ToCp932(std::string_view utf8) {
  std::optional<std::string> cp932 = Convert("CP932", "UTF-8", utf8);
  // iconv maps some characters without complaint onto others that code page 932 has ("¥"
  // onto the backslash, "〜" onto "～"); such text would read back as other text, so a
  // folder name would name another folder. Only what converts back unchanged is taken.
  if (!cp932 || Convert("UTF-8", "CP932", *cp932) != utf8) return std::nullopt;
  return Cp932Text(std::move(*cp932));
}

}  // namespace velmarin
