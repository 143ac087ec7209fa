# Reads the JSON output of the render benchmarks and prints, per library,
# rate and tap count, what the interleaved "speedup" benchmarks measured (the
# median of the repetitions when there are any): both paths' throughput and
# the engine's speed-up over the reference path. The last line reads
#   renderer speedup: no echo X.Xx, 3 taps Y.Yx
# where each figure is the smallest speed-up over the libraries and rates.
function value(line) {
  sub(/^[^:]*: */, "", line)
  sub(/,.*/, "", line)
  return line + 0
}
/"name":/ {
  name = $0
  sub(/.*"name": *"/, "", name)
  sub(/".*/, "", name)
  keep = name ~ /\/speedup\// && name !~ /_(mean|stddev|cv)$/
  sub(/_median$/, "", name)
}
keep && /"speedup":/ { ratio[name] = value($0) }
keep && /"engine_Msps":/ { eng[name] = value($0) }
keep && /"reference_Msps":/ { ref[name] = value($0) }
END {
  n = 0
  for (k in ratio) {
    split(k, f, "/")
    printf "%-8s %5d Hz %d taps: engine %6.1f Msamples/s, reference %6.1f Msamples/s, %.2fx\n", \
      f[1], f[3], f[4], eng[k], ref[k], ratio[k]
    if (!(f[4] in worst) || ratio[k] < worst[f[4]]) worst[f[4]] = ratio[k]
    ++n
  }
  if (n == 0 || !(0 in worst) || !(3 in worst)) {
    print "renderer speedup: no results"
    exit 1
  }
  printf "renderer speedup: no echo %.1fx, 3 taps %.1fx\n", worst[0], worst[3]
}
