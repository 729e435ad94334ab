#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace velmarin::test {

// Runs `check` as an ordinary user, so permission checks hold even when the tests run as
// root (as CI does): as root, `tree` is handed over to the user "nobody" (its permission
// bits then mean for that user what they mean for an owner) and `check` runs in a child
// process that has dropped to that user; otherwise it runs here, directly. Returns what
// `check` returned, or "child failed: ..." when the child could not drop its privileges or
// did not end normally. `check` must report through its result only: assertions made in
// the child do not reach the test.
std::string RunUnprivileged(const std::filesystem::path& tree,
                            const std::function<std::string()>& check);

}  // namespace velmarin::test
