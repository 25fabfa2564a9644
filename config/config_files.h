// Files a configuration names: the configuration itself, certificates, and
// secrets (passwords, tokens) that must stay private to the program's user.
#pragma once

#include <string>

namespace kelvo_config {

// What keeps `path` from being read as a file ("is a directory", "is a named
// pipe (FIFO)": a FIFO would block the reader for ever); "" for a regular
// file one can open for reading.
[[nodiscard]] std::string NotAReadableFile(const std::string& path);

// A secret from the first line of `path` (a trailing CR dropped). Refuses a
// file that is not regular, is empty, has an empty first line, or that other
// users can read; then `fault` says why (after the path: "PATH can be read by
// other users: ...") and `secret` is empty. `what` names the secret in
// messages ("password", "token"); `owner` the user who should own the file.
struct SecretFile {
  std::string secret;
  std::string fault;
};
[[nodiscard]] SecretFile ReadSecretFile(const std::string& path, const std::string& what,
                                        const std::string& owner);

// The whole of a regular file, or `fault` (as NotAReadableFile) and none.
struct TextFile {
  std::string text;
  std::string fault;
};
[[nodiscard]] TextFile ReadTextFile(const std::string& path);

}  // namespace kelvo_config
