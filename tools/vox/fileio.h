// File helpers of the vox tool: whole-file reads, and writes that never leave
// a half-written file behind (a temporary file beside the target, renamed
// over it once complete).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace voxtool {

// An error a person can act on: the message names the file and what is wrong.
struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Bytes = std::vector<unsigned char>;

Bytes readfile(const std::string& path);
std::string readtext(const std::string& path);
// Writes the whole content to a temporary file in the target's directory and
// renames it over the target; on any failure the temporary file is removed
// and the target is left as it was.
void writefile(const std::string& path, const void* data, size_t size);
inline void writefile(const std::string& path, const Bytes& b) { writefile(path, b.data(), b.size()); }
inline void writefile(const std::string& path, const std::string& s) { writefile(path, s.data(), s.size()); }

// The file's last path component, for messages.
std::string basename(const std::string& path);

}  // namespace voxtool
