// crosscheck: one host program, built for Linux (dlopen/dlsym) and for 32-bit
// Windows (LoadLibraryA/GetProcAddress by decorated name), that loads the
// three libraries side by side and runs the same table of cases through
// them: loads from files that it writes from byte arrays, phrases with echo,
// tail and transposition, every result code, and the trace texts through the
// message hook.
//
// It checks what can be known without running the engine (result codes,
// stream entries and captions of the files it wrote, a few samples worked out
// by hand, the floating-point environment, the export names) and prints
// "N passed, M failed". It also writes a canonical digest of everything the
// calls produced (results, every sample, the exported state, the message
// texts) to the file given with --digest; the digests of the Linux and the
// Windows builds must be identical byte for byte.
//
//   crosscheck [--libdir DIR] [--work DIR] [--digest FILE] [--boxes]
//
// --boxes also runs a traced call with no hook installed, so that the
// platform's own message display is exercised (under Wine a box without a
// display returns at once; on a Windows desktop it waits for OK).
#include <cfenv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#if defined(__SSE2__) || defined(_M_IX86) || defined(_M_X64)
#include <xmmintrin.h>
#define CC_HAVE_MXCSR 1
#endif

#if defined(_WIN32)
#include <fcntl.h>
#include <float.h>
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "voxdefs.h"

namespace {

// ---------------------------------------------------------------------------
// Checks and the digest

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const char* what, ...) {
  if (ok) {
    ++g_passed;
    return;
  }
  ++g_failed;
  std::va_list ap;
  va_start(ap, what);
  std::printf("FAILED: ");
  std::vprintf(what, ap);
  std::printf("\n");
  va_end(ap);
}

std::string g_digest;

void out(const char* fmt, ...) {
  char buf[512];
  std::va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  g_digest += buf;
}

uint64_t fnv(const void* data, size_t bytes, uint64_t h = 0xcbf29ce484222325ull) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
  return h;
}

// A 64-bit value in hex, without relying on the C library's 64-bit formats.
std::string hex64(uint64_t v) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%08x%08x", static_cast<unsigned>(v >> 32), static_cast<unsigned>(v & 0xffffffffu));
  return buf;
}

void outints(const char* name, const int32_t* v, int count) {
  out(" %s=", name);
  for (int i = 0; i < count; ++i) out(i == 0 ? "%d" : ",%d", v[i]);
}

// Floats by their bits: exact, and free of the C libraries' formatting.
void outfloats(const char* name, const float* v, int count) {
  out(" %s=", name);
  for (int i = 0; i < count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &v[i], 4);
    out(i == 0 ? "%08x" : ",%08x", bits);
  }
}

void outsamples(const int16_t* s, int count) {
  for (int i = 0; i < count; i += 16) {
    out("   ");
    for (int j = i; j < i + 16 && j < count; ++j) out(" %d", s[j]);
    out("\n");
  }
}

// ---------------------------------------------------------------------------
// The message hook: every text the libraries show, in order.

std::vector<std::string> g_msgs;
std::string g_lastaddr;  // the address that blockvox's "In else part, %ld" showed

void VOXCALL hook(const char* text, const char* caption) {
  std::string t = text;
  static const char kElse[] = "In else part, ";
  // The text carries a buffer address, which differs by nature between runs
  // and platforms: the digest keeps the text without it.
  if (t.compare(0, sizeof kElse - 1, kElse) == 0) {
    g_lastaddr = t.substr(sizeof kElse - 1);
    t = std::string(kElse) + "<address>";
  }
  g_msgs.push_back("[" + std::string(caption) + "] " + t);
}

void outmsgs() {
  for (const auto& m : g_msgs) out("  msg %s\n", m.c_str());
  g_msgs.clear();
}

// ---------------------------------------------------------------------------
// Files, written from byte arrays

using Bytes = std::vector<unsigned char>;
std::string g_work = ".";

std::string path(const std::string& name) { return g_work + "/" + name; }

std::string writefile(const std::string& name, const Bytes& b) {
  const std::string p = path(name);
  std::FILE* f = std::fopen(p.c_str(), "wb");
  if (f == nullptr) {
    std::printf("cannot write %s\n", p.c_str());
    std::exit(2);
  }
  if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
  return p;
}

void le16(Bytes& b, int v) {
  b.push_back(static_cast<unsigned char>(v & 0xff));
  b.push_back(static_cast<unsigned char>((v >> 8) & 0xff));
}
void be16(Bytes& b, int v) {
  b.push_back(static_cast<unsigned char>((v >> 8) & 0xff));
  b.push_back(static_cast<unsigned char>(v & 0xff));
}

// A background recording: a 44-byte header (never read) and the data bytes;
// sample i is sample(i).
template <class F>
Bytes wav(int databytes, F sample) {
  Bytes b(44, 0);
  std::memcpy(b.data(), "RIFF\0\0\0\0WAVEfmt ", 16);
  for (int i = 0; i * 2 < databytes; ++i) {
    const int v = sample(i);
    b.push_back(static_cast<unsigned char>(v & 0xff));
    if (i * 2 + 1 < databytes) b.push_back(static_cast<unsigned char>((v >> 8) & 0xff));
  }
  return b;
}

Bytes noisewav(int databytes) {
  return wav(databytes, [](int i) { return static_cast<int>((static_cast<uint32_t>(i) * 2654435761u) >> 17) - 16384; });
}

// A bank of numtb stages and the given table sizes; sample k of stage j of
// set s is gen(s, j, k).
template <class F>
Bytes bank(int numtb, std::initializer_list<int> sizes, F gen) {
  Bytes b;
  le16(b, numtb);
  int s = 0;
  for (int size : sizes) {
    le16(b, size);
    for (int j = 0; j < numtb; ++j)
      for (int k = 0; k < size; ++k) le16(b, gen(s, j, k));
    ++s;
  }
  return b;
}

int richsample(int s, int j, int k) {
  if (s == 5 && k == 0) return j % 2 == 0 ? 32767 : -32768;  // the extremes, FF 7F and 00 80
  const uint32_t h = (static_cast<uint32_t>(s) * 7919u + static_cast<uint32_t>(j) * 104729u +
                      static_cast<uint32_t>(k) * 1543u + 17u) * 2654435761u;
  return static_cast<int>(h >> 16) - 32768;
}

// A score file and, beside it, the stream entries and captions it must give.
struct Seg {
  int pitch, steady, glide;
};
struct Score {
  Bytes b;
  std::vector<int32_t> entries;
  std::string captext;
  std::vector<int32_t> cappos;
  std::vector<int32_t> phrases{0};  // stream position where each phrase starts

  Score& rest(int d) {
    b.push_back(150);
    b.push_back(static_cast<unsigned char>(d));
    entries.insert(entries.end(), {150, d});
    return *this;
  }
  Score& note(int head, std::initializer_list<Seg> segs) {
    const int n = static_cast<int>(segs.size());
    b.push_back(static_cast<unsigned char>(150 + n));
    be16(b, head);
    entries.insert(entries.end(), {150 + n, head});
    int i = 0;
    for (const Seg& s : segs) {
      be16(b, s.pitch);
      b.push_back(static_cast<unsigned char>(s.steady));
      entries.insert(entries.end(), {s.pitch, s.steady});
      if (++i < n) {
        b.push_back(static_cast<unsigned char>(s.glide));
        entries.push_back(s.glide);
      }
    }
    return *this;
  }
  Score& phrase() {
    b.push_back(149);
    entries.push_back(149);
    phrases.push_back(static_cast<int32_t>(entries.size()));
    return *this;
  }
  Score& end() {
    b.push_back(139);
    return *this;
  }
  // Caption text is stored as byte + 124 in the file and comes back as the
  // text, closed by '~'.
  Score& caption(const char* text) {
    b.push_back(148);
    for (const char* c = text; *c != '\0'; ++c) b.push_back(static_cast<unsigned char>(*c + 124));
    b.push_back(250);
    captext += text;
    captext += '~';
    cappos.push_back(static_cast<int32_t>(entries.size()));
    return *this;
  }
  Score& raw(std::initializer_list<int> bytes) {
    for (int v : bytes) b.push_back(static_cast<unsigned char>(v));
    return *this;
  }
};

// ---------------------------------------------------------------------------
// The libraries: functions by their stdcall names, variables by name

typedef int32_t(VOXCALL* rdscore_fn)(const char*, const char*, const char*, int32_t, char*, int32_t*, void*,
                                     int32_t, int32_t);  // rdbin16, rdtalbin16
typedef int32_t(VOXCALL* wrtbin16_fn)(int32_t, int32_t, int16_t*, int32_t, const int16_t*, int32_t, int32_t,
                                      int32_t, int32_t, int32_t, int32_t, const int16_t*, const float*, int32_t);
typedef int32_t(VOXCALL* rdtbsrbn16_fn)(const char*, const char*, void*, int32_t, int32_t);
typedef int32_t(VOXCALL* dwrblk16bin_fn)(const int16_t*, int16_t*, int32_t, const int16_t*, int32_t, int32_t,
                                         int32_t, int32_t, const int16_t*, int32_t, const float*);
typedef int32_t(VOXCALL* wtalbin16_fn)(int32_t, int32_t, int32_t, int16_t*, int32_t, const int16_t*, int32_t,
                                       int32_t, int32_t, int32_t, int32_t, int32_t);
typedef int32_t(VOXCALL* libmain_fn)(int32_t, int32_t, int32_t, int32_t);
typedef void(VOXCALL* setmsghook_fn)(voxmsghook);

struct Lib {
  const char* name;
  void* handle = nullptr;

  void* sym(const char* plain, int argbytes) const {
#if defined(_WIN32)
    char decorated[64];
    if (argbytes >= 0)
      std::snprintf(decorated, sizeof decorated, "%s@%d", plain, argbytes);
    else
      std::snprintf(decorated, sizeof decorated, "%s", plain);
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), decorated));
#else
    (void)argbytes;
    return dlsym(handle, plain);
#endif
  }
  template <class T>
  T fn(const char* plain, int argbytes) const {
    void* p = sym(plain, argbytes);
    if (p == nullptr) {
      check(false, "%s exports the function %s (%d argument bytes)", name, plain, argbytes);
      std::exit(1);
    }
    T f;
    std::memcpy(&f, &p, sizeof f);
    return f;
  }
  template <class T>
  T* var(const char* plain) const {
    void* p = sym(plain, -1);
    if (p == nullptr) {
      check(false, "%s exports the variable %s", name, plain);
      std::exit(1);
    }
    return static_cast<T*>(p);
  }
};

std::string g_libdir;

Lib openlib(const char* name) {
  Lib l;
  l.name = name;
#if defined(_WIN32)
  std::string file = std::string(name) + "32.dll";
  if (!g_libdir.empty()) file = g_libdir + "/" + file;
  l.handle = reinterpret_cast<void*>(LoadLibraryA(file.c_str()));
#else
  std::string file = "lib" + std::string(name) + ".so";
  if (!g_libdir.empty()) file = g_libdir + "/" + file;
  l.handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (l.handle == nullptr) {
    std::printf("cannot load %s\n", file.c_str());
    std::exit(1);
  }
  return l;
}

// The engine state of one library, reached through its exports.
struct State {
  int16_t (*wtb)[6][80];
  int32_t* numtb;
  int32_t* tblsize;
  int32_t* freqdim;
  int32_t* srlen;
  int32_t* datapos;
  int32_t* tdata = nullptr;  // scorevox, dryvox
  void* freq;                // float[20] (scorevox, dryvox) or int32[20] (blockvox)
  bool intfreq;
  int32_t *dur, *trans, *sampstdur, *sampsttr, *sampsttbl, *sampstdif;
  int16_t* tailbuf = nullptr;  // scorevox (10000), blockvox (12000)
  int tailsize = 0;
  char* msg;

  State(const Lib& l, bool hastdata, bool intf, int tail) : intfreq(intf), tailsize(tail) {
    wtb = l.var<int16_t[6][80]>("wtb");
    numtb = l.var<int32_t>("numtb");
    tblsize = l.var<int32_t>("tblsize");
    freqdim = l.var<int32_t>("freqdim");
    srlen = l.var<int32_t>("srlen");
    datapos = l.var<int32_t>("datapos");
    if (hastdata) tdata = l.var<int32_t>("tdata");
    freq = l.var<void>("freq");
    dur = l.var<int32_t>("dur");
    trans = l.var<int32_t>("trans");
    sampstdur = l.var<int32_t>("sampstdur");
    sampsttr = l.var<int32_t>("sampsttr");
    sampsttbl = l.var<int32_t>("sampsttbl");
    sampstdif = l.var<int32_t>("sampstdif");
    if (tail > 0) tailbuf = l.var<int16_t>("tailbuf");
    msg = l.var<char>("msg");
  }

  void outbank() const {
    out("  numtb=%d", *numtb);
    outints("tblsize", tblsize, 12);
    out(" wtb=%s srlen=%d\n", hex64(fnv(wtb, sizeof(int16_t) * 11 * 6 * 80)).c_str(), *srlen);
  }
  void outnote() const {
    out("  datapos=%d", *datapos);
    if (intfreq)
      outints("freq", static_cast<const int32_t*>(freq), 20);
    else
      outfloats("freq", static_cast<const float*>(freq), 20);
    outints("dur", dur, 20);
    outints("trans", trans, 20);
    outints("sampstdur", sampstdur, 20);
    outints("sampsttr", sampsttr, 20);
    outints("sampsttbl", sampsttbl, 8);
    outints("sampstdif", sampstdif, 8);
    if (tailbuf != nullptr) out(" tailbuf=%s", hex64(fnv(tailbuf, sizeof(int16_t) * static_cast<size_t>(tailsize))).c_str());
    out("\n");
  }
};

// Buffers of the host.
constexpr int kSrBytes = 16384;
unsigned char g_srdata[kSrBytes];
char g_captext[256];
int32_t g_cappos[32];

void resethostbuffers() {
  std::memset(g_srdata, 0xA5, sizeof g_srdata);
  std::memset(g_captext, 0x55, sizeof g_captext);
  for (auto& c : g_cappos) c = -7;
}

const int16_t* srsamples() { return reinterpret_cast<const int16_t*>(g_srdata); }

// Output buffer, prefilled with a pattern so that what a call leaves alone
// shows in the digest.
struct OutBuf {
  std::vector<int16_t> s;
  explicit OutBuf(int samples) : s(static_cast<size_t>(samples > 0 ? samples : 1)) {
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(0x1234 + 7 * i);
  }
  int16_t* data() { return s.data(); }
  int bytes() const { return static_cast<int>(s.size()) * 2; }
};

void outrender(const char* lib, const std::string& what, int32_t r, const OutBuf& b, const State& st) {
  out("render %s %s: r=%d buf=%s\n", lib, what.c_str(), r, hex64(fnv(b.s.data(), b.s.size() * 2)).c_str());
  if (r > 0) outsamples(b.s.data(), r < static_cast<int>(b.s.size()) ? r : static_cast<int>(b.s.size()));
  st.outnote();
  outmsgs();
}

// ---------------------------------------------------------------------------
// The floating-point environment of the host does not reach the engine.

#if CC_HAVE_MXCSR
// Runs call() under a host environment that rounds toward minus infinity,
// flushes to zero and treats denormals as zero, checks that the call gives it
// back unchanged, then returns to the default environment.
template <class F>
int32_t underhostenv(const char* name, F call) {
#if defined(_WIN32)
  _controlfp(_RC_DOWN, _MCW_RC);
#else
  std::fesetround(FE_DOWNWARD);
#endif
  _mm_setcsr((_mm_getcsr() & ~0x6000u) | 0x2000u | 0x8000u | 0x0040u);
  volatile float one = 1.0f, three = 3.0f;
  volatile float down = one / three;
  check(down < 0.33333334f, "%s: the host's rounding mode is in force in the host (%a)", name, static_cast<double>(down));
  const unsigned before = _mm_getcsr();
#if defined(_WIN32)
  const unsigned x87before = _controlfp(0, 0);
#endif
  const int32_t r = call();
  const unsigned after = _mm_getcsr();
  check(after == before, "%s: the host's MXCSR comes back (%08x, was %08x)", name, after, before);
#if defined(_WIN32)
  const unsigned x87after = _controlfp(0, 0);
  check(x87after == x87before, "%s: the host's control word comes back (%08x, was %08x)", name, x87after, x87before);
  _controlfp(_RC_NEAR, _MCW_RC);
#else
  check(std::fegetround() == FE_DOWNWARD, "%s: the host's rounding mode comes back", name);
  std::fesetround(FE_TONEAREST);
#endif
  _mm_setcsr(0x1F80);
  return r;
}
#endif

// ---------------------------------------------------------------------------
// Loader cases shared by the libraries

// Files that every loader table uses.
struct Files {
  std::string wav, shortwav, wav1044, emptywav, bank, bank2, emptybank, bank1, bank7, bank81, nofile;
};

Files makefiles() {
  Files f;
  f.wav = writefile("cc_bg.wav", noisewav(4001));  // an odd last byte, copied but not counted
  f.shortwav = writefile("cc_bg1043.wav", noisewav(999));
  f.wav1044 = writefile("cc_bg1044.wav", noisewav(1000));
  f.emptywav = writefile("cc_bg0.wav", {});
  f.bank = writefile("cc_bank.bin", bank(6, {4, 8, 16, 1, 33, 80, 7, 12, 64, 2, 80}, richsample));
  f.bank2 = writefile("cc_bank2.bin", bank(3, {5, 6, 7, 8, 9}, [](int s, int j, int k) { return 1000 * s + 100 * j + k; }));
  f.emptybank = writefile("cc_bank_empty.bin", {});
  f.bank1 = writefile("cc_bank1.bin", bank(1, {4}, richsample));
  f.bank7 = writefile("cc_bank7.bin", bank(7, {4}, richsample));
  f.bank81 = writefile("cc_bank81.bin", bank(2, {4, 8, 16, 81, 5}, richsample));
  f.nofile = path("cc_no_such_file.bin");
  std::remove(f.nofile.c_str());
  return f;
}

// The main score; pitch words are in hertz times unit (10 for tenths).
Score mainscore(int unit) {
  Score s;
  s.raw({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});  // skipped with scoreoffset 10
  s.caption("Hi").rest(3).note(905, {{440 * unit, 5, 2}, {660 * unit, 4, 0}}).note(305, {{220 * unit, 3, 0}}).rest(2).phrase();
  s.caption("Two")
      .note(5, {{330 * unit, 2, 1}, {495 * unit, 0, 3}, {247 * unit, 2, 0}, {262 * unit, 3, 0}})
      .note(1203, {{880 * unit, 3, 0}})
      .note(1208, {{97 * unit, 4, 0}})
      .phrase();
  // Twenty segments on the 80-sample set: steady, glide, zero glides.
  s.b.push_back(170);
  be16(s.b, 410);
  s.entries.insert(s.entries.end(), {170, 410});
  for (int i = 0; i < 20; ++i) {
    const int p = (200 + 37 * i) * unit;
    be16(s.b, p);
    s.b.push_back(static_cast<unsigned char>(1 + i % 3));
    s.entries.insert(s.entries.end(), {p, 1 + i % 3});
    if (i < 19) {
      s.b.push_back(static_cast<unsigned char>(i % 4));
      s.entries.push_back(i % 4);
    }
  }
  s.phrase();
  s.note(7, {{523 * unit, 30, 0}}).rest(5).phrase();
  s.end();
  return s;
}

// The stream limit: entries up to 2960 are filled with rests (two entries
// each), then the given note.
Bytes limitscore(int startpos, int segs) {
  Bytes b;
  for (int n = 0; n < startpos; n += 2) b.insert(b.end(), {150, 1});
  b.push_back(static_cast<unsigned char>(150 + segs));
  be16(b, 900);
  for (int i = 0; i < segs; ++i) {
    be16(b, 100);
    b.push_back(1);
    if (i < segs - 1) b.push_back(1);
  }
  b.push_back(139);
  return b;
}

struct LoadCase {
  const char* name;
  std::string score, bank, wav;
  int32_t offset, layout, tracepos;
  int32_t want;  // the documented result
};

// ---------------------------------------------------------------------------
// scorevox and dryvox: score file, tdata, transposition

struct ScoreLib {
  const char* name;
  bool tenths;        // scorevox: pitches in tenths of a hertz
  bool echo;          // scorevox
  Lib lib;
  State st;
  rdscore_fn load;
  wrtbin16_fn wrt = nullptr;    // scorevox
  wtalbin16_fn wtal = nullptr;  // dryvox

  ScoreLib(const char* n, bool t, bool e)
      : name(n), tenths(t), echo(e), lib(openlib(n)), st(lib, true, false, e ? 10000 : 0),
        load(lib.fn<rdscore_fn>(e ? "rdbin16" : "rdtalbin16", 36)) {
    if (e)
      wrt = lib.fn<wrtbin16_fn>("wrtbin16", 56);
    else
      wtal = lib.fn<wtalbin16_fn>("wtalbin16", 48);
  }

  struct Call {
    int32_t restart = 0, startpos = 0, srreset = 0, samples = 20000, samprate = 8000, envtype = 0, srweight = 3;
    int32_t transnum = 0, transden = 0, numecho = 0;
    const int16_t* echodel = nullptr;
    const float* echogain = nullptr;
    int32_t tracepos = 0;
    bool nullbuf = false;
    int32_t bytes = -1;  // the buffer size in bytes when not samples * 2
  };

  int32_t render(const Call& c, OutBuf& b, const int16_t* sr) const {
    int16_t* buf = c.nullbuf ? nullptr : b.data();
    const int32_t bytes = c.bytes >= 0 ? c.bytes : c.samples * 2 < b.bytes() ? c.samples * 2 : b.bytes();
    if (wrt != nullptr)
      return wrt(c.restart, c.startpos, buf, bytes, sr, c.samprate, c.envtype, c.srweight, c.transnum, c.transden,
                 c.numecho, c.echodel, c.echogain, c.tracepos);
    return wtal(c.restart, c.srreset, c.startpos, buf, bytes, sr, c.samprate, c.envtype, c.srweight, c.transnum,
                c.transden, 12345);
  }
  int32_t run(const std::string& what, const Call& c, int samples = 20000) {
    OutBuf b(samples);
    const int32_t r = render(c, b, srsamples());
    outrender(name, what, r, b, st);
    return r;
  }

  int32_t doload(const char* what, const std::string& score, const std::string& bankp, const std::string& wavp,
                 int32_t offset, int32_t layout, int32_t tracepos) {
    resethostbuffers();
    const int32_t r = load(score.c_str(), bankp.c_str(), wavp.c_str(), offset, g_captext, g_cappos, g_srdata, layout,
                           tracepos);
    out("load %s %s: r=%d msg=\"%s\" srdata=%s\n", name, what, r, st.msg, hex64(fnv(g_srdata, sizeof g_srdata)).c_str());
    st.outbank();
    out("  captext=");
    for (int i = 0; i < 24; ++i) out("%02x", static_cast<unsigned char>(g_captext[i]));
    outints("cappos", g_cappos, 4);
    out("\n");
    out("  tdata=%s", hex64(fnv(st.tdata, 4 * 3000)).c_str());
    if (r >= 0) outints("head", st.tdata, r < 199 ? r + 1 : 200);
    out("\n");
    outmsgs();
    return r;
  }

  // Puts the background back to its first sample: a call with no background
  // (srlen 0) starts it from 0 and meets the end of the score at once.
  void rewindbg() {
    const int32_t keep = *st.srlen;
    const int32_t keepos = *st.datapos;
    *st.srlen = 0;
    st.tdata[2999] = 139;
    OutBuf b(4);
    Call c;
    c.restart = 1;
    c.startpos = 2999;
    render(c, b, nullptr);
    *st.srlen = keep;
    *st.datapos = keepos;
  }
};

void scorelib_cases(ScoreLib& L, const Files& f) {
  const int unit = L.tenths ? 10 : 1;
  const char* n = L.name;
  const bool sv = L.echo;

  // --- Worked by hand: a four-sample table {0, 1000, 2000, 3000} in every
  // stage of set 0, read at half a table sample per sample (12.5 Hz at 100
  // samples per second in tenths; 25 Hz at 200 per second in hertz), for
  // eight samples at level 9 with no background weight: the phase runs 0.5,
  // 1.0, ... 4.0, so the samples are 500, 1000, ..., 3000, then 1500 halfway
  // back to the table's start, then 0 at the wrap. Then a rest of three
  // samples at background weight 10, which halves the background samples
  // 8, 9, 10 (4i - 1001 = -969, -965, -961, halved toward zero).
  {
    resethostbuffers();
    const std::string tb = writefile("cc_tiny_bank.bin", bank(6, {4, 1, 1, 1, 1}, [](int s, int, int k) {
      return s == 0 ? 1000 * k : 0;
    }));
    const std::string tw = writefile("cc_tiny.wav", wav(1000, [](int i) { return 4 * i - 1001; }));
    Score s;
    s.note(900, {{sv ? 125 : 25, sv ? 8 : 4, 0}}).phrase().rest(3).phrase().end();
    const std::string ts = writefile(std::string("cc_tiny_") + n + ".bin", s.b);
    const int32_t r = L.load(ts.c_str(), tb.c_str(), tw.c_str(), 0, g_captext, g_cappos, g_srdata, 2, 0);
    check(r == static_cast<int32_t>(s.entries.size()), "%s tiny load: result %d, want %d entries", n, r,
          static_cast<int>(s.entries.size()));
    check(*L.st.srlen == 500, "%s tiny load: srlen %d, want 500", n, *L.st.srlen);
    ScoreLib::Call c;
    c.restart = 1;
    c.samprate = sv ? 100 : 200;
    c.srweight = 0;
    c.srreset = 1;
    OutBuf b(20);
    int32_t r1 = L.render(c, b, srsamples());
    const int16_t want[8] = {500, 1000, 1500, 2000, 2500, 3000, 1500, 0};
    check(r1 == 8, "%s tiny note: result %d, want 8", n, r1);
    for (int i = 0; i < 8; ++i) check(b.s[static_cast<size_t>(i)] == want[i], "%s tiny note sample %d: %d, want %d", n, i, b.s[static_cast<size_t>(i)], want[i]);
    c.restart = 0;
    c.srreset = 0;
    c.srweight = 10;
    c.samprate = 100;
    OutBuf b2(20);
    const int32_t r2 = L.render(c, b2, srsamples());
    const int16_t wantrest[3] = {-484, -482, -480};
    check(r2 == 3, "%s tiny rest: result %d, want 3", n, r2);
    for (int i = 0; i < 3; ++i) check(b2.s[static_cast<size_t>(i)] == wantrest[i], "%s tiny rest sample %d: %d, want %d", n, i, b2.s[static_cast<size_t>(i)], wantrest[i]);
    check(L.render(c, b2, srsamples()) == -1, "%s tiny: end of score", n);
    g_msgs.clear();
  }

  // --- Loader: every result code.
  const Score good = mainscore(unit);
  const std::string sc = writefile(std::string("cc_score_") + n + ".bin", good.b);
  auto scorefile = [&](const char* tag, const Bytes& b) { return writefile(std::string("cc_") + tag + "_" + n + ".bin", b); };
  const int32_t inval = sv ? 0 : 1;  // scorevox: (e - 150) x 100 and -15100; dryvox: -60
  const std::vector<LoadCase> cases = {
      {"no-score", f.nofile, f.bank, f.wav, 0, 0, 0, -10},
      {"no-bank", sc, f.nofile, f.wav, 0, 0, 0, -20},
      {"no-background", sc, f.bank, f.nofile, 0, 0, 0, -30},
      {"background-1043", sc, f.bank, f.shortwav, 0, 0, 1, -35},
      {"background-empty", sc, f.bank, f.emptywav, 0, 0, 0, -35},
      {"stages-1", sc, f.bank1, f.wav, 0, 0, 0, -40},
      {"bank-empty", sc, f.emptybank, f.wav, 0, 0, 0, -40},
      {"stages-7", sc, f.bank7, f.wav, 0, 0, 0, -45},
      {"layout-5", sc, f.bank, f.wav, 0, 5, 0, -48},
      {"layout--1", sc, f.bank, f.wav, 0, -1, 0, -48},
      {"table-81", sc, f.bank81, f.wav, 0, 2, 0, -50},
      {"event-147", scorefile("e147", {150, 3, 147, 139}), f.bank, f.wav, 0, 0, 0, inval ? -60 : -300},
      {"event-171", scorefile("e171", {171, 139}), f.bank, f.wav, 0, 0, 0, inval ? -60 : 2100},
      {"no-end", scorefile("noend", {150, 3, 149}), f.bank, f.wav, 0, 0, 0, inval ? -60 : -15100},
      {"open-caption", scorefile("opencap", {148, 196, 229}), f.bank, f.wav, 0, 0, 0, inval ? -60 : -15100},
      {"limit-20", scorefile("limit20", limitscore(2950, 20)), f.bank, f.wav, 0, 0, 0, -65},
      {"limit-1", scorefile("limit1", limitscore(2958, 1)), f.bank, f.wav, 0, 0, 0, 2962},
      {"ends-in-note", scorefile("endsinnote", {150, 3, 152, 3, 0x85, 0x11}), f.bank, f.wav, 0, 0, 0, 9},
      {"layout-2", sc, f.bank2, f.wav1044, 10, 2, 2, static_cast<int32_t>(good.entries.size())},
      {"main", sc, f.bank, f.wav, 10, 0, 3, static_cast<int32_t>(good.entries.size())},
  };
  for (const LoadCase& c : cases) {
    const int32_t r = L.doload(c.name, c.score, c.bank, c.wav, c.offset, c.layout, c.tracepos);
    check(r == c.want, "%s load %s: result %d, want %d", n, c.name, r, c.want);
  }
  // A bank layout table changed by the host is checked before the bank is read.
  L.st.freqdim[1] = 12;
  check(L.doload("freqdim-12", sc, f.bank, f.wav, 10, 1, 0) == -48, "%s load with freqdim[1] = 12: -48", n);
  L.st.freqdim[1] = 11;

  // The main load again, and what the file says it holds.
  const int32_t r = L.doload("main-again", sc, f.bank, f.wav, 10, 0, 0);
  check(r == static_cast<int32_t>(good.entries.size()), "%s main load: result %d", n, r);
  check(*L.st.srlen == 2000, "%s main load: srlen %d, want 2000", n, *L.st.srlen);
  check(std::memcmp(L.st.tdata, good.entries.data(), good.entries.size() * 4) == 0 && L.st.tdata[r] == 139,
        "%s main load: tdata holds the score's entries and 139", n);
  check(std::memcmp(g_captext, good.captext.data(), good.captext.size()) == 0, "%s main load: caption texts", n);
  check(g_cappos[0] == good.cappos[0] && g_cappos[1] == good.cappos[1], "%s main load: caption positions %d %d",
        n, g_cappos[0], g_cappos[1]);
  check(L.st.wtb[5][0][0] == 32767 && L.st.wtb[5][1][0] == -32768, "%s main load: FF 7F and 00 80 load as extremes", n);
  const int32_t phrase1 = 0;

  // --- Renderer: phrases, tails, transposition, every result code.
  L.rewindbg();
  const int16_t del3[3] = {40, 25, 300};
  const float gain3[3] = {0.5f, 0.25f, 0.125f};
  const int16_t delneg[2] = {-5, 50};
  const float gainneg[2] = {0.3f, 0.6f};
  ScoreLib::Call c;
  c.restart = 1;
  c.startpos = phrase1;
  c.numecho = 3, c.echodel = del3, c.echogain = gain3, c.tracepos = 1;
  L.run("phrase1-echo", c);
  c.restart = 0;
  c.tracepos = 0;
  L.run("phrase2-tail", c);
  c.envtype = 3, c.transnum = 3, c.transden = 2, c.numecho = 2, c.echodel = delneg, c.echogain = gainneg;
  c.tracepos = 7;
  L.run("phrase3-env3-trans", c);
  c.samples = 500, c.envtype = 4, c.tracepos = 0;
  check(L.run("phrase4-full", c) == 500, "%s: a full buffer returns its capacity", n);
  c.samples = 20000;
  const int32_t afterfull = L.run("after-full", c);
  check(afterfull == 5 * 80, "%s: after a full buffer the call goes on with the next event (rest of 5 cs): %d", n, afterfull);
  check(L.run("end", c) == -1, "%s: end of score", n);
  const int32_t endpos = *L.st.datapos;
  check(L.run("end-again", c) == -1 && *L.st.datapos == endpos, "%s: end of score again, datapos stays", n);
  // Restart with the low 16 bits only; transposition terms likewise.
  c.restart = 0x10000;
  check(L.run("restart-high-bits", c) == -1, "%s: a restart word with zero low bits does not restart", n);
  c.restart = 0x20001, c.startpos = 0, c.envtype = 1, c.srweight = 0, c.transnum = 0x10003, c.transden = 0x1fffe;
  c.numecho = 0;
  c.srreset = 0x10001;  // dryvox: the background from its first sample (low 16 bits)
  L.run("restart-env1-negative-trans-srreset", c);
  c.srreset = 0;
  c.restart = 0, c.envtype = 2, c.srweight = -3, c.transnum = 2, c.transden = 2, c.numecho = 2, c.echodel = nullptr;
  c.tracepos = 1;
  L.run("env2-no-echodel", c);
  c.echodel = del3, c.envtype = 4, c.samprate = 44100, c.srweight = 20, c.transnum = 0x10001, c.transden = 0x10000;
  c.tracepos = 0;
  L.run("env4-44100", c, 20000);
  c.restart = 1, c.startpos = good.phrases[3], c.samprate = 22050, c.envtype = 0;
  L.run("phrase4-22050", c, 20000);
  c.restart = 0;
  // Parameters that cannot be rendered change nothing.
  const int32_t before = *L.st.datapos;
  struct Bad {
    const char* what;
    int32_t samprate, envtype, srweight;
    bool nullbuf;
  };
  for (const Bad& bad : {Bad{"samprate-0", 0, 0, 0, false}, Bad{"envtype-5", 8000, 5, 0, false},
                         Bad{"envtype--1", 8000, -1, 0, false}, Bad{"srweight--10", 8000, 0, -10, false},
                         Bad{"null-buffer", 8000, 0, 0, true}}) {
    ScoreLib::Call b = c;
    b.restart = 1, b.startpos = 0, b.samprate = bad.samprate, b.envtype = bad.envtype, b.srweight = bad.srweight;
    b.nullbuf = bad.nullbuf;
    const int32_t rb = L.run(std::string("bad-") + bad.what, b);
    check(rb == -2 && *L.st.datapos == before, "%s %s: -2 and nothing changes (%d)", n, bad.what, rb);
  }
  for (int32_t bytes : {0, 1, 2, 3}) {
    ScoreLib::Call b = c;
    b.restart = 1, b.startpos = 0, b.bytes = bytes;
    OutBuf ob(4);
    const int32_t rb = L.render(b, ob, srsamples());
    outrender(n, "bufbytes-" + std::to_string(bytes), rb, ob, L.st);
  }

  // Streams that the host writes into tdata itself.
  struct Stream {
    const char* what;
    std::vector<int32_t> words;  // written into tdata from index start
    int32_t start;
    int32_t want, wantpos;
  };
  const std::vector<Stream> streams = {
      {"unrecognised-and-148", {200, 5, 148, 7, 150, 10, 149, 139}, 0, 800, 7},
      {"set-11", {151, 1011, 4400, 5, 149, 139}, 0, -110, 2},
      {"set-99", {150, 1, 151, 99, 4400, 5, 149, 139}, 0, -990, 4},
      {"negative-head", {151, -5, 4400, 5, 149, 139}, 0, -100, 2},
      {"head-1205", {151, 1205, 4400, 2, 149, 139}, 0, 160, 5},
      {"past-stream-end", {151, 900}, 2998, -1, 2998},
      {"datapos-outside", {}, 5000, -1, 5000},
  };
  for (const Stream& s : streams) {
    for (size_t i = 0; i < s.words.size(); ++i) L.st.tdata[static_cast<size_t>(s.start) + i] = s.words[i];
    ScoreLib::Call b;
    b.restart = 1, b.startpos = s.start, b.samprate = 8000, b.numecho = c.numecho, b.echodel = del3, b.echogain = gain3;
    if (s.start == 5000) {
      b.restart = 0;
      *L.st.datapos = 5000;
    }
    const int32_t rs = L.run(std::string("stream-") + s.what, b);
    check(rs == s.want && *L.st.datapos == s.wantpos, "%s stream %s: result %d datapos %d, want %d %d", n, s.what, rs,
          *L.st.datapos, s.want, s.wantpos);
  }
  // A set that the bank did not fill, and a stage count outside 2..6.
  const std::vector<int32_t> note9 = {151, 909, 4400, 5, 149, 139};
  std::copy(note9.begin(), note9.end(), L.st.tdata);
  ScoreLib::Call b;
  b.restart = 1;
  const int32_t keep9 = L.st.tblsize[9];
  L.st.tblsize[9] = 0;
  check(L.run("stream-tblsize-0", b) == -100, "%s: a set of table size 0 is unplayable", n);
  L.st.tblsize[9] = keep9;
  const int32_t keepnum = *L.st.numtb;
  *L.st.numtb = 7;
  check(L.run("stream-numtb-7", b) == -100, "%s: 7 stages are unplayable", n);
  *L.st.numtb = keepnum;
  L.run("stream-set-9", b);
}

// ---------------------------------------------------------------------------
// blockvox: score blocks, no score file

void blockvox_cases(const Files& f) {
  Lib lib = openlib("blockvox");
  State st(lib, false, true, 12000);
  auto load = lib.fn<rdtbsrbn16_fn>("rdtbsrbn16", 20);
  auto wrt = lib.fn<dwrblk16bin_fn>("dwrblk16bin", 44);

  // Worked by hand: the four-sample table at half a sample per sample (25 Hz
  // at 200 per second), as for the other libraries; blockvox clears the rest
  // of the buffer.
  {
    resethostbuffers();
    const std::string tb = writefile("cc_tiny_bank.bin", bank(6, {4, 1, 1, 1, 1}, [](int s, int, int k) {
      return s == 0 ? 1000 * k : 0;
    }));
    const std::string tw = writefile("cc_tiny.wav", wav(1000, [](int i) { return 4 * i - 1001; }));
    check(load(tb.c_str(), tw.c_str(), g_srdata, 2, 0) == 0, "blockvox tiny load");
    const int16_t blk[] = {151, 900, 25, 4, 149};
    OutBuf b(12);
    const int32_t r = wrt(blk, b.data(), b.bytes(), srsamples(), 200, 0, 0, 0, nullptr, 0, nullptr);
    const int16_t want[12] = {500, 1000, 1500, 2000, 2500, 3000, 1500, 0, 0, 0, 0, 0};
    check(r == 8, "blockvox tiny note: result %d, want 8", r);
    for (int i = 0; i < 12; ++i) check(b.s[static_cast<size_t>(i)] == want[i], "blockvox tiny sample %d: %d, want %d", i, b.s[static_cast<size_t>(i)], want[i]);
    const int16_t blk2[] = {150, 3, 149};
    const int32_t r2 = wrt(blk2, b.data(), 6, srsamples(), 100, 0, 10, 0, nullptr, 0, nullptr);
    check(r2 == 3 && b.s[0] == -484 && b.s[1] == -482 && b.s[2] == -480, "blockvox tiny rest: %d %d %d %d", r2, b.s[0],
          b.s[1], b.s[2]);
  }

  auto doload = [&](const char* what, const std::string& bankp, const std::string& wavp, int32_t layout,
                    int32_t tracepos) {
    resethostbuffers();
    std::strcpy(st.msg, "untouched");
    const int32_t r = load(bankp.c_str(), wavp.c_str(), g_srdata, layout, tracepos);
    out("load blockvox %s: r=%d msg=\"%s\" srdata=%s\n", what, r, st.msg, hex64(fnv(g_srdata, sizeof g_srdata)).c_str());
    st.outbank();
    outmsgs();
    return r;
  };
  const std::vector<LoadCase> cases = {
      {"no-bank", "", f.nofile, f.wav, 0, 0, 1, -20},
      {"no-background", "", f.bank, f.nofile, 0, 0, 1, -30},
      {"background-1043", "", f.bank, f.shortwav, 0, 0, 1, -40},
      {"background-empty", "", f.bank, f.emptywav, 0, 0, 0, -40},
      {"stages-1", "", f.bank1, f.wav, 0, 0, 0, -50},
      {"bank-empty", "", f.emptybank, f.wav, 0, 0, 0, -50},
      {"stages-7", "", f.bank7, f.wav, 0, 0, 0, -55},
      {"table-81", "", f.bank81, f.wav, 0, 2, 1, -57},
      {"layout-5", "", f.bank, f.wav, 0, 5, 0, -58},
      {"layout-2", "", f.bank2, f.wav1044, 0, 2, 2, 0},
      {"main", "", f.bank, f.wav, 0, 0, 3, 0},
  };
  for (const LoadCase& c : cases) {
    const int32_t r = doload(c.name, c.bank, c.wav, c.layout, c.tracepos);
    check(r == c.want, "blockvox load %s: result %d, want %d", c.name, r, c.want);
  }
  check(std::strcmp(st.msg, "untouched") == 0, "blockvox leaves msg alone");

  // Rewind the background (no background: it starts from 0).
  {
    const int32_t keep = *st.srlen;
    *st.srlen = 0;
    const int16_t end[] = {139};
    OutBuf b(4);
    wrt(end, b.data(), b.bytes(), nullptr, 8000, 0, 0, 0, nullptr, 0, nullptr);
    *st.srlen = keep;
  }

  const int16_t del3[3] = {40, 25, 300};
  const float gain3[3] = {0.5f, 0.25f, 0.125f};
  const int16_t delneg[2] = {-5, 50};
  const float gainneg[2] = {0.3f, 0.6f};
  std::vector<int16_t> twenty = {148, 170, 410};
  for (int i = 0; i < 20; ++i) {
    twenty.push_back(static_cast<int16_t>(200 + 37 * i));
    twenty.push_back(static_cast<int16_t>(1 + i % 3));
    if (i < 19) twenty.push_back(static_cast<int16_t>(i % 4));
  }
  twenty.push_back(149);
  struct Call {
    const char* what;
    std::vector<int16_t> blk;
    int32_t samples, samprate, envtype, srweight, numecho;
    const int16_t* echodel;
    const float* echogain;
    int32_t tracepos;
    int32_t want;  // documented result, or 1 for "samples of the phrase"
  };
  const std::vector<int16_t> phrase = {148, 150, 3, 152, 905, 440, 5, 2, 660, 4, 151, 305, 220, 3, 150, 1, 149};
  const std::vector<Call> calls = {
      {"phrase-echo-trace", phrase, 20000, 8000, 0, 3, 3, del3, gain3, 1, 1},
      {"phrase-tail", phrase, 20000, 8000, 0, 3, 3, del3, gain3, 0, 1},
      {"note-first-trace", {151, 905, 440, 5, 149}, 20000, 8000, 0, 3, 1, del3, gain3, 1, 1},
      {"phrase-no-echo-trace", phrase, 20000, 8000, 1, 3, 0, del3, gain3, 1, 1},
      {"phrase-negative-trace", phrase, 20000, 8000, 2, 0, 2, delneg, gainneg, -1, 1},
      {"twenty-env3", twenty, 20000, 8000, 3, 5, 3, del3, gain3, 0, 1},
      {"twenty-full", twenty, 700, 22050, 4, 5, 3, del3, gain3, 0, 700},
      {"twenty-44100", twenty, 20000, 44100, 4, -3, 2, delneg, gainneg, 0, 1},
      {"trace-5", phrase, 20000, 8000, 0, 3, 0, nullptr, nullptr, 5, -30},
      {"set-11", {151, 1011, 440, 5, 149}, 200, 8000, 0, 0, 0, nullptr, nullptr, 0, -110},
      {"negative-head", {151, -5, 440, 5, 149}, 200, 8000, 0, 0, 0, nullptr, nullptr, 0, -100},
      {"head-1205", {151, 1205, 440, 1, 149}, 200, 8000, 0, 0, 0, nullptr, nullptr, 0, 80},
      {"negative-pitch", {151, 907, -440, 2, 149}, 400, 8000, 0, 2, 0, nullptr, nullptr, 0, 160},
      {"unrecognised", {200, 1, 148, 150, 1, 149}, 200, 8000, 0, 4, 0, nullptr, nullptr, 0, 80},
      {"end-of-score", {139}, 200, 8000, 0, 4, 0, nullptr, nullptr, 0, -1},
      {"bad-samprate", phrase, 200, 0, 0, 4, 0, nullptr, nullptr, 0, -2},
      {"bad-envtype", phrase, 200, 8000, 5, 4, 0, nullptr, nullptr, 0, -2},
      {"bad-srweight", phrase, 200, 8000, 0, -10, 0, nullptr, nullptr, 0, -2},
      {"bad-null-block", {}, 200, 8000, 0, 0, 0, nullptr, nullptr, 0, -2},
      {"bufbytes-1", phrase, 0, 8000, 0, 0, 0, nullptr, nullptr, 0, 0},
  };
  for (const Call& c : calls) {
    OutBuf b(c.samples > 0 ? c.samples : 2);
    const int32_t bytes = c.samples > 0 ? c.samples * 2 : 1;
    const int32_t r = wrt(c.blk.empty() ? nullptr : c.blk.data(), b.data(), bytes, srsamples(), c.samprate, c.envtype,
                          c.srweight, c.numecho, c.echodel, c.tracepos, c.echogain);
    if (std::strcmp(c.what, "phrase-no-echo-trace") == 0) {
      char addr[32];
      std::snprintf(addr, sizeof addr, "%lld", static_cast<long long>(reinterpret_cast<intptr_t>(b.data())));
      check(g_lastaddr == addr, "blockvox \"In else part\" shows the buffer's address %s (%s)", addr, g_lastaddr.c_str());
    }
    outrender("blockvox", c.what, r, b, st);
    check(c.want == 1 ? r > 0 : r == c.want, "blockvox %s: result %d, want %d", c.what, r, c.want);
  }

#if CC_HAVE_MXCSR
  // The same block with the default and with the host's changed environment,
  // each from the background's start and an empty tail.
  auto block = [&](OutBuf& b) {
    const int32_t keep = *st.srlen;
    *st.srlen = 0;
    const int16_t end[] = {139};
    wrt(end, b.data(), 2, nullptr, 8000, 0, 0, 0, nullptr, 0, nullptr);
    *st.srlen = keep;
    std::memset(st.tailbuf, 0, 2 * 12000);
    const float gains[3] = {0.3f, 0.7f, 0.1f};
    return wrt(twenty.data(), b.data(), b.bytes(), srsamples(), 11025, 3, 7, 3, del3, 0, gains);
  };
  OutBuf a(8000), b(8000);
  const int32_t ra = block(a);
  const int32_t rb = underhostenv("blockvox", [&] { return block(b); });
  check(ra > 0 && ra == rb && a.s == b.s, "blockvox: same result and samples under the host's changed environment");
  out("fpenv blockvox: r=%d buf=%s same=%d\n", ra, hex64(fnv(a.s.data(), a.s.size() * 2)).c_str(), a.s == b.s ? 1 : 0);
#endif
}

// ---------------------------------------------------------------------------
// Samples, pitches and results under the host's changed environment.

#if CC_HAVE_MXCSR
void fpenv_cases(ScoreLib& L, const Files& f) {
  const Score good = mainscore(L.tenths ? 10 : 1);
  const std::string sc = path(std::string("cc_score_") + L.name + ".bin");
  L.load(sc.c_str(), f.bank.c_str(), f.wav.c_str(), 10, g_captext, g_cappos, g_srdata, 0, 0);
  const int16_t del3[3] = {40, 25, 300};
  const float gain3[3] = {0.3f, 0.7f, 0.1f};
  auto phrase = [&](OutBuf& b, bool changed) {
    L.rewindbg();
    if (L.st.tailbuf != nullptr) std::memset(L.st.tailbuf, 0, 2 * 10000);
    ScoreLib::Call c;
    c.restart = 1, c.startpos = static_cast<int32_t>(good.cappos[1]), c.envtype = 3, c.transnum = 7, c.transden = 3;
    c.numecho = L.echo ? 3 : 0, c.echodel = del3, c.echogain = gain3, c.samprate = 11025, c.srweight = 7;
    if (!changed) return L.render(c, b, srsamples());
    return underhostenv(L.name, [&] { return L.render(c, b, srsamples()); });
  };
  OutBuf a(20000), b(20000);
  const int32_t ra = phrase(a, false);
  std::vector<float> freqa(static_cast<const float*>(L.st.freq), static_cast<const float*>(L.st.freq) + 20);
  const int32_t rb = phrase(b, true);
  check(ra > 0 && ra == rb, "%s: same result under the host's changed environment (%d, %d)", L.name, ra, rb);
  check(a.s == b.s, "%s: same samples under the host's changed environment", L.name);
  check(std::memcmp(freqa.data(), L.st.freq, 80) == 0, "%s: same transposed pitches under the changed environment", L.name);
  out("fpenv %s: r=%d buf=%s same=%d\n", L.name, ra, hex64(fnv(a.s.data(), a.s.size() * 2)).c_str(), a.s == b.s ? 1 : 0);
  g_msgs.clear();
}
#endif

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::string digestpath;
  bool boxes = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--libdir" && i + 1 < argc)
      g_libdir = argv[++i];
    else if (a == "--work" && i + 1 < argc)
      g_work = argv[++i];
    else if (a == "--digest" && i + 1 < argc)
      digestpath = argv[++i];
    else if (a == "--boxes")
      boxes = true;
    else {
      std::printf("usage: crosscheck [--libdir DIR] [--work DIR] [--digest FILE] [--boxes]\n");
      return 2;
    }
  }

  const Files files = makefiles();
  ScoreLib scorevox("scorevox", true, true);
  ScoreLib dryvox("dryvox", false, false);

  // The three libraries side by side, each with its own engine, its own hook
  // and its own exports.
  Lib libs[3] = {scorevox.lib, openlib("blockvox"), dryvox.lib};
  for (const Lib& l : libs) {
    l.fn<setmsghook_fn>("setmsghook", 4)(hook);
    check(l.fn<libmain_fn>("LibMain", 16)(1, 2, 3, 4) == 1, "%s LibMain returns 1", l.name);
    for (const char* hidden : {"srcnt", "DllMain", "tracemsg"})
      check(l.sym(hidden, -1) == nullptr, "%s does not export %s", l.name, hidden);
    const int32_t* fd = l.var<int32_t>("freqdim");
    check(fd[0] == 11 && fd[1] == 11 && fd[2] == 5 && fd[3] == 11 && fd[4] == 11, "%s freqdim starts as 11,11,5,11,11", l.name);
    check(*l.var<int32_t>("datapos") == 0, "%s datapos starts at 0", l.name);
  }
  check(scorevox.lib.sym("tdata", -1) != nullptr && libs[1].sym("tdata", -1) == nullptr &&
            dryvox.lib.sym("tailbuf", -1) == nullptr,
        "tdata only in scorevox and dryvox, tailbuf not in dryvox");
  *scorevox.st.numtb = 4;
  check(*libs[1].var<int32_t>("numtb") == 0 && *dryvox.st.numtb == 0, "the libraries share no state");
  *scorevox.st.numtb = 0;

  scorelib_cases(scorevox, files);
  scorelib_cases(dryvox, files);
  blockvox_cases(files);
#if CC_HAVE_MXCSR
  fpenv_cases(scorevox, files);
  fpenv_cases(dryvox, files);
#endif

  if (boxes) {
    // The platform's own display of the trace texts, with no hook: the call
    // goes on after each text and computes the same.
    scorevox.lib.fn<setmsghook_fn>("setmsghook", 4)(nullptr);
    const std::string sc = path("cc_score_scorevox.bin");
    const int32_t r = scorevox.load(sc.c_str(), files.bank.c_str(), files.wav.c_str(), 10, g_captext, g_cappos,
                                    g_srdata, 0, 3);
    check(r == static_cast<int32_t>(mainscore(10).entries.size()) && g_msgs.empty(),
          "scorevox traced load with the platform's message display: %d", r);
    scorevox.lib.fn<setmsghook_fn>("setmsghook", 4)(hook);
  }

  if (!digestpath.empty()) {
    std::FILE* d = std::fopen(digestpath.c_str(), "wb");
    if (d == nullptr || std::fwrite(g_digest.data(), 1, g_digest.size(), d) != g_digest.size()) {
      std::printf("cannot write %s\n", digestpath.c_str());
      return 2;
    }
    std::fclose(d);
  }
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
