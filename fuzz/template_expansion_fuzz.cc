// ExpandTemplate on any template, ID and clock reading: no crash, and the properties that
// hold for every input.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/cp932_search.h"
#include "naming/template_expansion.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void Require(bool condition) {
  if (!condition) std::abort();
}

// A template that is exactly "$iNN" yields the ID fitted to NN bytes, cut never inside a
// two-byte character, as long as the ID holds no placeholder of its own.
void CheckIdAlone(const std::string& id, int width, const velmarin::LocalTime& now) {
  if (id.find('$') != std::string::npos) return;
  const char templ[] = {'$', 'i', static_cast<char>('0' + width / 10),
                        static_cast<char>('0' + width % 10), '\0'};
  const std::string result =
      velmarin::ExpandTemplate(velmarin::Cp932Text(id), velmarin::Cp932Text(templ), now).bytes();
  if (width == 0) {
    Require(result == id);
    return;
  }
  Require(result.size() == static_cast<std::size_t>(width));
  const std::string cut(velmarin::CutCp932(id, static_cast<std::size_t>(width)));
  if (std::all_of(cut.begin(), cut.end(), IsDigit)) {
    Require(std::all_of(result.begin(), result.end(), IsDigit));
    Require(result.ends_with(cut));
  } else {
    Require(result.starts_with(cut));
    Require(std::all_of(result.begin() + static_cast<std::ptrdiff_t>(cut.size()), result.end(),
                        [](char c) { return c == '_'; }));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  velmarin::LocalTime now;
  now.year = provider.ConsumeIntegral<int>();
  now.month = provider.ConsumeIntegral<int>();
  now.day = provider.ConsumeIntegral<int>();
  now.hour = provider.ConsumeIntegral<int>();
  now.minute = provider.ConsumeIntegral<int>();
  now.second = provider.ConsumeIntegral<int>();
  const int width = provider.ConsumeIntegralInRange(0, 99);
  const std::string id = provider.ConsumeRandomLengthString(64);
  const std::string templ = provider.ConsumeRemainingBytesAsString();

  const std::string result =
      velmarin::ExpandTemplate(velmarin::Cp932Text(id), velmarin::Cp932Text(templ), now).bytes();

  // The date passes come last and insert only digits and signs: none of their placeholders
  // can survive.
  for (const char* placeholder : {"$y", "$M", "$d", "$h", "$m", "$s"}) {
    Require(result.find(placeholder) == std::string::npos);
  }
  // Text without placeholders passes unchanged.
  if (templ.find('$') == std::string::npos) Require(result == templ);
  // Without "$i" the ID is never inserted.
  if (templ.find("$i") == std::string::npos) {
    Require(result == velmarin::ExpandTemplate("", velmarin::Cp932Text(templ), now).bytes());
  }
  CheckIdAlone(id, width, now);
  return 0;
}
