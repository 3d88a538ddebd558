"""The selection mask: with a selection the plug-in asks for the mask of the
filter rectangle together with the source; without one maskRect is never set.
A mask of the wrong size is refused by the host before the plug-in runs."""

from gwhost_harness import Scenario, gradient, write_netpbm

s = Scenario(__doc__)
W, H = 20, 11
source = s.path("rgb.ppm")
write_netpbm(source, W, H, 3, 255, gradient(W, H, 3, 255))
mask = s.path("mask.pgm")
write_netpbm(mask, W, H, 1, 255, [255 if c < W // 2 else (128 if r % 2 else 0) for r in range(H) for c in range(W)])

run = s.gwhost("apply", s.args.plugin, source, s.path("masked.ppm"), "--no-dialog", "--mask", mask)
s.check(all(code == 0 for _, code in run.results()), "with a selection every selector returns 0", run)
masks = run.records("request")
s.check(any(line.startswith("request mask 0 0 %d %d " % (H, W)) for line in masks),
        "the mask of the filter rectangle is requested", run)
first_in = next((i for i, line in enumerate(run.trace) if line.startswith("request in ")), -1)
first_mask = next((i for i, line in enumerate(run.trace) if line.startswith("request mask ")), -1)
first_continue = next((i for i, line in enumerate(run.trace) if line.startswith("selector 4 ")), -1)
s.check(0 <= first_mask < first_continue and 0 <= first_in < first_continue,
        "mask and source are delivered with the first continue call", run)

run = s.gwhost("apply", s.args.plugin, source, s.path("plain.ppm"), "--no-dialog")
s.check(not any(line.startswith("request mask") for line in run.trace), "without a selection no mask is delivered", run)
s.check(not run.records("maskRect"), "without a selection maskRect is never set", run)

small = s.path("small.pgm")
write_netpbm(small, W - 1, H, 1, 255, [255] * ((W - 1) * H))
run = s.gwhost("apply", s.args.plugin, source, s.path("bad.ppm"), "--mask", small, expect_exit=1)
s.check(not run.results(), "a mask of the wrong size stops the host before any selector", run)
s.check("mask" in run.stderr, "the refusal names the mask", run)
s.finish()
