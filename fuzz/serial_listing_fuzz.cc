// The serial search's reading of a folder's names: any pattern and any listed names. A name
// counts for a serial only when it is that serial's file name, and no number is missed.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "naming/serial_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int width = input.ConsumeIntegralInRange(0, 12);
  std::vector<std::string> pieces = {"/t/" + input.ConsumeRandomLengthString(16)};
  const int placeholders = input.ConsumeIntegralInRange(1, 3);
  for (int i = 0; i < placeholders; ++i) {
    std::string piece = input.ConsumeRandomLengthString(16);
    for (char& c : piece) {
      if (c == '/') c = '_';  // a separator would put the serial in a folder name
    }
    pieces.push_back(std::move(piece));
  }
  const velmarin::SerialPaths paths(pieces, width);
  if (!paths.InFileNameOnly()) std::abort();
  // A name of the pattern is always read back as its own number.
  const int own = input.ConsumeIntegralInRange(1, velmarin::kSerialLimit);
  bool found_own = false;
  paths.SerialsOf(paths.FileName(own), [&](int serial) { found_own |= serial == own; });
  if (!found_own) std::abort();
  while (input.remaining_bytes() > 0) {
    const std::string name = input.ConsumeRandomLengthString(40);
    paths.SerialsOf(name, [&](int serial) {
      if (paths.FileName(serial) != name) std::abort();
    });
  }
  return 0;
}
