// The few platform services the engine relies on: diagnostic messages (a
// modal box on Windows, a hook or a line on standard error elsewhere), the
// floating-point environment of every exported call, and byte-wise reading of
// a file (see bytefile.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "engine.h"

namespace vox {

// Formats text the way the engine's trace texts are written: %d and %ld print
// a signed 32-bit value, %u an unsigned one, %% a percent sign. Arguments are
// taken in order (a 64-bit argument prints in full, for an address). The
// output is always terminated; returns its length.
size_t fmtmsg(char* out, size_t cap, const char* fmt, std::initializer_list<int64_t> args);

// Shows one message: through the host's hook when one is installed, else as
// a modal box (Windows) or one line on standard error.
void showmsg(const char* text, const char* caption);

// Formats and shows a trace message with an empty caption. With intomsg the
// text is also kept in the exported msg, shortened to its 31 first characters.
void tracemsg(bool intomsg, const char* fmt, std::initializer_list<int64_t> args);

// While alive, the default floating-point environment is in force: round to
// nearest, no flush-to-zero, no denormals-are-zero. The host's environment
// comes back on destruction. Every exported function that computes holds one.
class FpEnv {
 public:
  FpEnv();
  ~FpEnv();
  FpEnv(const FpEnv&) = delete;
  FpEnv& operator=(const FpEnv&) = delete;

 private:
  unsigned saved_;
  int savedround_;
};

}  // namespace vox
