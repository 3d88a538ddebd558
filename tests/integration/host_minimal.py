"""Hosts that withhold optional services still get the filter run with result
0: without the basic suite, without the UI hooks suite, without progressProc,
without descriptorParameters, without displayPixels, with 7 handle procs,
and with all of that missing at once. A cancel still leads to finish."""

from gwhost_harness import Scenario, gradient, write_netpbm

s = Scenario(__doc__)
W, H = 16, 9
source = s.path("rgb.ppm")
write_netpbm(source, W, H, 3, 255, gradient(W, H, 3, 255))

cases = [
    ("no basic suite", ["--no-spbasic"]),
    ("no UI hooks suite", ["--no-uihooks"]),
    ("no progress", ["--no-progress"]),
    ("no descriptors", ["--no-descriptors"]),
    ("no display", ["--no-display"]),
    ("old handle procs", ["--old-handleprocs"]),
    ("no window", ["--no-window"]),
    ("minimal", ["--no-spbasic", "--no-progress", "--no-descriptors", "--no-display", "--no-abort"]),
]
for label, options in cases:
    run = s.gwhost("apply", s.args.plugin, source, s.path("out.ppm"), "--no-dialog", *options)
    s.check(all(code == 0 for _, code in run.results()) and run.selectors()[-1:] == [5],
            label + ": every selector returns 0 and finish is called", run)
    s.check(any(line.startswith("loop end") for line in run.trace), label + ": the loop ends", run)
    if "--no-spbasic" in options:
        s.check(not run.records("suite"), label + ": no suite is asked for", run)
    if "--no-uihooks" in options:
        s.check(any(line.startswith("suite acquire") and not line.endswith("result 0") for line in run.trace),
                label + ": the refused acquisition is survived", run)
    if "--no-progress" in options:
        s.check(not run.records("progress"), label + ": no progress recorded", run)
    if "--no-descriptors" in options:
        s.check(not run.records("descriptor") and not run.records("recordInfo"),
                label + ": no descriptor traffic", run)

run = s.gwhost("apply", s.args.plugin, source, s.path("cancelled.ppm"), "--no-dialog", "--cancel-after", "1")
s.check(run.selectors()[-1:] == [5], "after a cancel in the loop the host still calls finish", run)
s.check(any(line.startswith("cancel after 1") for line in run.trace), "the cancel is recorded", run)
s.finish()
