#include "platform.h"

#include <cfenv>
#include <cstdio>
#include <cstring>

#if defined(__SSE__) || defined(_M_X64) || defined(_M_IX86)
#include <xmmintrin.h>
#define VOX_HAVE_MXCSR 1
#endif

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {
voxmsghook g_hook = nullptr;
}

extern "C" VOXAPI void VOXCALL setmsghook(voxmsghook hook) { g_hook = hook; }

extern "C" VOXAPI int32_t VOXCALL LibMain(int32_t, int32_t, int32_t, int32_t) { return 1; }

#if defined(_WIN32)
// The library's entry callback: accepts every notification and does nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

namespace vox {

size_t fmtmsg(char* out, size_t cap, const char* fmt, std::initializer_list<int64_t> args) {
  if (cap == 0) return 0;
  size_t n = 0;
  auto put = [&](char c) {
    if (n + 1 < cap) out[n++] = c;
  };
  const int64_t* arg = args.begin();
  for (const char* p = fmt; *p != '\0'; ++p) {
    if (*p != '%') {
      put(*p);
      continue;
    }
    ++p;
    if (*p == '%') {
      put('%');
      continue;
    }
    bool islong = false;
    if (*p == 'l') {
      islong = true;
      ++p;
    }
    if (*p != 'd' && *p != 'u') {  // not a conversion the engine uses: print as is
      put('%');
      if (islong) put('l');
      if (*p == '\0') break;
      put(*p);
      continue;
    }
    int64_t v = arg != args.end() ? *arg++ : 0;
    // 32-bit arguments print as the 32-bit conversion would; a wider value
    // (an address) prints in full.
    bool wide = v > INT32_MAX || v < INT32_MIN;
    if (!wide) v = *p == 'u' ? int64_t{static_cast<uint32_t>(static_cast<int32_t>(v))} : v;
    char digits[24];
    int nd = 0;
    uint64_t mag = v < 0 ? uint64_t(0) - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    do {
      digits[nd++] = static_cast<char>('0' + mag % 10);
      mag /= 10;
    } while (mag != 0);
    if (v < 0) put('-');
    while (nd > 0) put(digits[--nd]);
  }
  out[n] = '\0';
  return n;
}

void showmsg(const char* text, const char* caption) {
  if (g_hook != nullptr) {
    g_hook(text, caption);
    return;
  }
#if defined(_WIN32)
  MessageBoxA(GetActiveWindow(), text, caption, MB_OK);
#else
  bool titled = false;
  for (const char* c = caption; *c != '\0'; ++c) titled = titled || *c != ' ';
  if (titled)
    std::fprintf(stderr, "%s: %s\n", caption, text);
  else
    std::fprintf(stderr, "%s\n", text);
#endif
}

void tracemsg(bool intomsg, const char* fmt, std::initializer_list<int64_t> args) {
  char text[128];
  const size_t len = fmtmsg(text, sizeof text, fmt, args);
  if (intomsg) {
    // The first 31 characters, the rest of msg zero.
    const size_t n = len < sizeof msg - 1 ? len : sizeof msg - 1;
    std::memcpy(msg, text, n);
    std::memset(msg + n, 0, sizeof msg - n);
  }
  showmsg(text, "");
}

FpEnv::FpEnv() : saved_(0), savedround_(std::fegetround()) {
#if VOX_HAVE_MXCSR
  saved_ = _mm_getcsr();
  _mm_setcsr(0x1F80);  // all exceptions masked, round to nearest, no FTZ/DAZ
#endif
  if (savedround_ != FE_TONEAREST) std::fesetround(FE_TONEAREST);
}

FpEnv::~FpEnv() {
  if (savedround_ != FE_TONEAREST) std::fesetround(savedround_);
#if VOX_HAVE_MXCSR
  _mm_setcsr(saved_);
#endif
}

}  // namespace vox
