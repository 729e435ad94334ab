#include "image/still_format.h"

#include <algorithm>
#include <cctype>

namespace velmarin {
namespace {

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<long>(suffix.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

}  // namespace

StillFormat StillFormatOf(std::string_view name) {
  if (EndsWithIgnoringCase(name, ".jpg") || EndsWithIgnoringCase(name, ".jpeg")) {
    return StillFormat::kJpeg;
  }
  if (EndsWithIgnoringCase(name, ".bmp")) return StillFormat::kBmp;
  if (EndsWithIgnoringCase(name, ".png")) return StillFormat::kPng;
  return StillFormat::kNone;
}

}  // namespace velmarin
