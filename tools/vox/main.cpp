// vox: the command-line host of the engine libraries and its authoring tools.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

#include "audio.h"
#include "banktext.h"
#include "fileio.h"
#include "render.h"
#include "scoretext.h"

using namespace voxtool;

namespace {

// "3/2" to a transposition ratio of two signed 16-bit terms.
void ratio(const std::string& s, int16_t& num, int16_t& den) {
  const auto slash = s.find('/');
  long n = 0, d = 1;
  try {
    size_t used = 0;
    n = std::stol(s.substr(0, slash), &used);
    if (used != (slash == std::string::npos ? s.size() : slash)) throw std::invalid_argument(s);
    if (slash != std::string::npos) {
      d = std::stol(s.substr(slash + 1), &used);
      if (used != s.size() - slash - 1) throw std::invalid_argument(s);
    }
  } catch (const std::exception&) {
    throw Error("--transpose: '" + s + "' is not a ratio such as 3/2");
  }
  if (n < -32768 || n > 32767 || d < -32768 || d > 32767)
    throw Error("--transpose: both terms of '" + s + "' must lie in -32768..32767");
  if (d == 0) throw Error("--transpose: the denominator of '" + s + "' is 0");
  num = static_cast<int16_t>(n);
  den = static_cast<int16_t>(d);
}

// "100:0.5" pairs to echo taps; the running delays must stay inside the tail.
std::vector<Tap> taps(const std::vector<std::string>& pairs, int tailsize) {
  std::vector<Tap> out;
  long total = 0;
  for (const auto& p : pairs) {
    const auto colon = p.find(':');
    Tap t;
    try {
      if (colon == std::string::npos) throw std::invalid_argument(p);
      size_t used = 0;
      const long d = std::stol(p.substr(0, colon), &used);
      if (used != colon) throw std::invalid_argument(p);
      const std::string g = p.substr(colon + 1);
      t.gain = std::stof(g, &used);
      if (used != g.size()) throw std::invalid_argument(p);
      if (d < 0 || d > tailsize)
        throw Error("--echo: delay " + std::to_string(d) + " is outside 0.." + std::to_string(tailsize));
      t.delay = static_cast<int16_t>(d);
      total += d;
    } catch (const Error&) {
      throw;
    } catch (const std::exception&) {
      throw Error("--echo: '" + p + "' is not a delay:gain pair such as 2205:0.4");
    }
    out.push_back(t);
  }
  // The last tap lies at the first delay plus all but the last delay.
  if (!out.empty() && total + out.front().delay - out.back().delay > tailsize)
    throw Error("--echo: the taps reach back " + std::to_string(total + out.front().delay - out.back().delay) +
                " samples, over the " + std::to_string(tailsize) + "-sample tail");
  return out;
}

void playoptions(CLI::App* c, PlayOptions& o, std::vector<std::string>& echo, std::string& transpose, bool transposable) {
  c->add_option("-o,--output", o.output, "WAV file to write (16-bit mono)")->required();
  c->add_option("-b,--bank", o.bank, "wavetable bank file (from vox bank build)")->required()->check(CLI::ExistingFile);
  c->add_option("-g,--background", o.background, "background recording (from vox background import)")
      ->required()
      ->check(CLI::ExistingFile);
  c->add_option("-r,--rate", o.rate, "sample rate in samples per second")->capture_default_str()->check(CLI::Range(100, 192000));
  c->add_option("-e,--envelope", o.envelope, "envelope type 0 to 4")->capture_default_str()->check(CLI::Range(0, 4));
  c->add_option("-w,--weight", o.weight, "weight of the background in the mix; the tone weighs 10")
      ->capture_default_str()
      ->check(CLI::Range(0, 10000));
  c->add_option("--echo", echo, "echo taps as delay:gain pairs, the engine's echodel and echogain entries: delays in samples, "
                 "tap 0 at the first delay, tap t at the first delay plus delays 0..t-1 (2205:0.4,2205:0.2)")->delimiter(',');
  if (transposable)
    c->add_option("-t,--transpose", transpose, "transposition as a ratio num/den of 16-bit terms (3/2)");
  c->add_option("-l,--layout", o.layout, "bank layout 0 to 4 (layout 2 reads 5 sets, the others 11)")
      ->capture_default_str()
      ->check(CLI::Range(0, 4));
  c->add_option("--trace", o.trace, "trace position: nonzero prints the engine's trace texts")->capture_default_str();
  c->add_option("--lib", o.lib, "path of the engine library (default: beside vox)");
}

int run(int argc, char** argv) {
  CLI::App app{"vox: renders scores through the wavetable engine libraries and builds their input files"};
  app.require_subcommand(1);

  ScoreOptions so;
  std::vector<std::string> echo;
  std::string transpose;
  auto* render = app.add_subcommand("render", "play a score file through scorevox (or dryvox) into a WAV file");
  render->add_option("score", so.score, "score file (from vox score compile)")->required()->check(CLI::ExistingFile);
  playoptions(render, so, echo, transpose, true);
  render->add_flag("--dry", so.dry, "play through dryvox: pitches in hertz, no echo");
  render->add_option("--offset", so.offset, "byte offset of the score in its file")->capture_default_str()->check(CLI::NonNegativeNumber);
  render->add_option("-c,--captions", so.captions, "write the captions with their times (.vtt WebVTT, .srt SubRip)");
  render->add_option("--caption-format", so.captionformat, "caption file format, when the name does not say")
      ->check(CLI::IsMember({"vtt", "srt"}));

  BlockOptions bo;
  std::vector<std::string> becho;
  std::string unused;
  auto* blocks = app.add_subcommand("render-blocks", "play a text file of score blocks through blockvox, one call per line");
  blocks->add_option("blocks", bo.blocks, "text file of blocks, one per line")->required()->check(CLI::ExistingFile);
  playoptions(blocks, bo, becho, unused, false);

  auto* score = app.add_subcommand("score", "the text form of score files");
  score->require_subcommand(1);
  std::string in, out;
  int64_t offset = 0;
  auto* scompile = score->add_subcommand("compile", "text to a binary score file");
  scompile->add_option("text", in, "score text")->required()->check(CLI::ExistingFile);
  scompile->add_option("-o,--output", out, "score file to write")->required();
  auto* sshow = score->add_subcommand("show", "a binary score file as text");
  sshow->add_option("file", in, "score file")->required()->check(CLI::ExistingFile);
  sshow->add_option("--offset", offset, "byte offset of the score in its file")->check(CLI::NonNegativeNumber);
  sshow->add_option("-o,--output", out, "text file to write (default: standard output)");

  auto* bank = app.add_subcommand("bank", "the text form of wavetable banks");
  bank->require_subcommand(1);
  int layout = 0;
  auto* bbuild = bank->add_subcommand("build", "text (sample lists, harmonic recipes) to a bank file");
  bbuild->add_option("text", in, "bank text")->required()->check(CLI::ExistingFile);
  bbuild->add_option("-o,--output", out, "bank file to write")->required();
  auto* bshow = bank->add_subcommand("show", "a bank file as text");
  bshow->add_option("file", in, "bank file")->required()->check(CLI::ExistingFile);
  bshow->add_option("-l,--layout", layout, "bank layout 0 to 4 (layout 2 holds 5 sets, the others 11)")
      ->capture_default_str()
      ->check(CLI::Range(0, 4));
  bshow->add_option("-o,--output", out, "text file to write (default: standard output)");

  auto* bg = app.add_subcommand("background", "background recordings");
  bg->require_subcommand(1);
  int rate = 0;
  auto* bimport = bg->add_subcommand(
      "import", "any audio file to the 16-bit mono WAV with a 44-byte header that the loaders read");
  bimport->add_option("audio", in, "audio file (WAV, FLAC, Ogg, AIFF, ...)")->required()->check(CLI::ExistingFile);
  bimport->add_option("-o,--output", out, "WAV file to write")->required();
  bimport->add_option("-r,--rate", rate, "resample to this rate (default: keep the file's rate)")
      ->check(CLI::Range(1, 384000));

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  try {
    if (render->parsed()) {
      so.echo = taps(echo, 10000);
      if (so.dry && !so.echo.empty()) throw Error("--echo: dryvox has no echo");
      if (!transpose.empty()) ratio(transpose, so.transnum, so.transden);
      std::cout << renderscore(so).text() << "wrote " << so.output << (so.captions.empty() ? "" : " and " + so.captions)
                << "\n";
    } else if (blocks->parsed()) {
      bo.echo = taps(becho, 12000);
      std::cout << renderblocks(bo).text() << "wrote " << bo.output << "\n";
    } else if (scompile->parsed()) {
      writefile(out, compilescore(readtext(in), in));
    } else if (sshow->parsed()) {
      const std::string text = showscore(readfile(in), offset, in);
      if (out.empty())
        std::cout << text;
      else
        writefile(out, text);
    } else if (bbuild->parsed()) {
      writefile(out, encodebank(parsebank(readtext(in), in)));
    } else if (bshow->parsed()) {
      const std::string text = showbank(decodebank(readfile(in), layoutsets(layout), in));
      if (out.empty())
        std::cout << text;
      else
        writefile(out, text);
    } else if (bimport->parsed()) {
      ImportInfo info;
      const auto samples = importaudio(in, rate, &info);
      if (samples.size() < 500)
        throw Error(in + ": " + std::to_string(samples.size()) +
                    " samples; the loaders need at least 500 (1000 data bytes)");
      writefile(out, canonicalwav(samples, info.outrate));
      std::cout << in << ": " << info.inframes << " frames, " << info.channels << " channel"
                << (info.channels == 1 ? "" : "s") << " at " << info.inrate << " Hz -> " << samples.size()
                << " samples at " << info.outrate << " Hz in " << out << "\n";
    }
  } catch (const Error& e) {
    std::cerr << "vox: " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "vox: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
