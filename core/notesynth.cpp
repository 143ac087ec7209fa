#include "notesynth.h"

namespace vox {

namespace {
// Stage breakpoints of envelope types 0..2, centiseconds from the note start.
constexpr int32_t kEnvTables[3][kStages] = {
    {0, 15, 50, 70, 120, 200},
    {0, 25, 70, 120, 180, 270},
    {0, 15, 50, 100, 180, 280},
};
}  // namespace

void setsttbl(int32_t envtype, int32_t samprate) {
  if (envtype >= 3) {
    sampsttbl[0] = 0;  // the rest follow each note's length
    return;
  }
  const int32_t persec = samprate / 100;
  const int32_t count = numtb < kStages ? numtb : kStages;
  for (int32_t i = 0; i < count; ++i) sampsttbl[i] = mul32(persec, kEnvTables[envtype][i]);
}

}  // namespace vox
