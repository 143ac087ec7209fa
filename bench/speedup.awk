# Reads the JSON output of the render benchmarks and prints, per library,
# rate and tap count, the engine's throughput against the reference path's
# (the median of the repetitions when there are any), then the line
#   renderer speedup: no echo X.Xx, 3 taps Y.Yx
# where each figure is the smallest ratio over the libraries and rates.
/"name":/ {
  name = $0
  sub(/.*"name": *"/, "", name)
  sub(/".*/, "", name)
  keep = name !~ /_(mean|stddev|cv)$/
  sub(/_median$/, "", name)
}
/"items_per_second":/ && keep {
  v = $0
  sub(/.*"items_per_second": */, "", v)
  sub(/,.*/, "", v)
  ips[name] = v + 0
}
END {
  n = 0
  for (k in ips) {
    split(k, f, "/")
    if (f[2] != "engine") continue
    ref = f[1] "/reference/" f[3] "/" f[4]
    if (!(ref in ips) || ips[ref] <= 0) continue
    r = ips[k] / ips[ref]
    printf "%-8s %5d Hz %d taps: engine %6.1f Msamples/s, reference %6.1f Msamples/s, %.2fx\n", \
      f[1], f[3], f[4], ips[k] / 1e6, ips[ref] / 1e6, r
    if (!(f[4] in worst) || r < worst[f[4]]) worst[f[4]] = r
    ++n
  }
  if (n == 0 || !(0 in worst) || !(3 in worst)) {
    print "renderer speedup: no results"
    exit 1
  }
  printf "renderer speedup: no echo %.1fx, 3 taps %.1fx\n", worst[0], worst[3]
}
