"""Result codes of every selector for each image mode, the continue states and
the requests the plug-in makes, and the 16-bit round trip through the host.

Grey 8-bit, RGB 8-bit, grey 16-bit and 48-bit RGB run through parameters,
prepare, start, continue until every rectangle is empty, and finish, all with
result 0. CMYK, Lab, indexed and bitmap are refused at start with -30101, and
a host then does not call continue or finish."""

import os

from gwhost_harness import Scenario, gradient, write_netpbm

s = Scenario(__doc__)
W, H = 37, 23

images = {
    "grey8.pgm": (1, 255, "planes 0 0"),
    "rgb8.ppm": (3, 255, "planes 0 2"),
    "grey16.pgm": (1, 65535, "planes 0 0"),
    "rgb48.ppm": (3, 65535, "planes 0 2"),
}
for name, (planes, maxval, plane_text) in images.items():
    source = s.path(name)
    write_netpbm(source, W, H, planes, maxval, gradient(W, H, planes, maxval))
    out = s.path("out_" + name)
    if os.path.exists(out):
        os.remove(out)
    run = s.gwhost("apply", s.args.plugin, source, out, "--no-dialog")
    results = run.results()
    s.check(all(code == 0 for _, code in results), name + ": every selector returns 0", run)
    s.check(run.selectors()[:3] == [1, 2, 3] and run.selectors()[-1] == 5 and 4 in run.selectors(),
            name + ": parameters, prepare, start, continue..., finish", run)
    requests = run.records("request")
    want_in = "request in 0 0 %d %d %s" % (H, W, plane_text)
    want_out = "request out 0 0 %d %d %s" % (H, W, plane_text)
    s.check(any(r.startswith(want_in) for r in requests), name + ": source of the whole filter rectangle", run)
    s.check(any(r.startswith(want_out) for r in requests), name + ": destination requested after the run", run)
    # The destination is asked for only after the source (GUI state, then waiting, then WRITING).
    index_in = next((i for i, line in enumerate(run.trace) if line.startswith(want_in)), -1)
    index_out = next((i for i, line in enumerate(run.trace) if line.startswith(want_out)), -1)
    s.check(0 <= index_in < index_out, name + ": source before destination", run)
    s.check(not run.records("request mask"), name + ": without a selection no mask is requested", run)
    s.check(any(line.startswith("loop end after ") for line in run.trace),
            name + ": the plug-in empties its rectangles and the loop ends", run)
    for line in run.records("progress"):
        done, total = map(int, line.split()[1:])
        s.check(total == 100 and 0 <= done <= 100, name + ": progress as a percentage: " + line, run)
    s.check(not run.records("hosterror") and not run.records("handles"), name + ": no protocol errors", run)
    s.check(os.path.exists(out), name + ": the result is written", run)
    s.check(run.trace[-1:] == ["module unloaded"], name + ": the module's detach code returns", run)
    if os.path.exists(out):
        with open(source, "rb") as a, open(out, "rb") as b:
            header_in = a.read(2)
            header_out = b.read(2)
        s.check(header_in == header_out, name + ": the result keeps the input's format", run)

rgb = s.path("rgb8.ppm")
for mode, label in [(4, "CMYK"), (9, "Lab"), (2, "indexed"), (0, "bitmap"), (7, "multichannel")]:
    run = s.gwhost("apply", s.args.plugin, rgb, s.path("refused.ppm"), "--no-dialog", "--mode", str(mode))
    s.check(run.results() == [(1, 0), (2, 0), (3, -30101)],
            "%s: start refuses the mode with -30101 and no continue or finish follows" % label, run)
    s.check(not run.records("request"), "%s: no pixels requested" % label, run)
    s.check("result 3 -30101" in run.stdout.splitlines(), "%s: the result is printed" % label, run)

# Refused modes must not be refused by a later continue either: continue
# before start does nothing and returns the parameter-reading result.
run = s.gwhost("apply", s.args.plugin, rgb, s.path("early.ppm"), "--no-dialog", "--selectors", "4,4")
s.check(run.results() == [(4, 0), (4, 0)], "continue before start returns 0", run)
s.check(not run.records("request"), "continue before start requests nothing", run)

# Continue before start, then the usual start, loop and finish.
run = s.gwhost("apply", s.args.plugin, rgb, s.path("late.ppm"), "--no-dialog", "--selectors", "4,1,2,3,loop,5")
s.check(run.results()[0] == (4, 0) and all(code == 0 for _, code in run.results()),
        "an early continue does not disturb the following run", run)
s.finish()
