"""Bad input to the host gives a clear error, exit status 1 and no plug-in
call: missing and malformed images, truncated data, an image wider than the
16-bit rectangles can address, an unusable module, unknown options."""

from gwhost_harness import Scenario, write_netpbm

s = Scenario(__doc__)
plugin = s.args.plugin


def refused(label, arguments, needle):
    run = s.gwhost(*arguments, expect_exit=1)
    s.check(not run.results(), label + ": no selector is called", run)
    s.check(needle in run.stderr, label + ": the message mentions %r" % needle, run)


refused("missing image", ["apply", plugin, s.path("nothing.ppm"), s.path("o.ppm")], "cannot open")
with open(s.path("text.ppm"), "wb") as f:
    f.write(b"hello world\n")
refused("not an image", ["apply", plugin, s.path("text.ppm"), s.path("o.ppm")], "not a PGM or PPM")
with open(s.path("short.ppm"), "wb") as f:
    f.write(b"P6\n10 10\n255\n" + bytes(50))
refused("truncated", ["apply", plugin, s.path("short.ppm"), s.path("o.ppm")], "truncated")
with open(s.path("huge.ppm"), "wb") as f:
    f.write(b"P6\n100000 100000\n255\n" + bytes(30))
refused("huge header, little data", ["apply", plugin, s.path("huge.ppm"), s.path("o.ppm")], "truncated")
write_netpbm(s.path("wide.pgm"), 40000, 1, 1, 255, [7] * 40000)
refused("wider than 32767", ["apply", plugin, s.path("wide.pgm"), s.path("o.pgm")], "32767")
# The largest side the 16-bit rectangles address is accepted.
write_netpbm(s.path("widest.pgm"), 32767, 2, 1, 255, [i % 251 for i in range(32767 * 2)])
run = s.gwhost("apply", plugin, s.path("widest.pgm"), s.path("widest_out.pgm"), "--no-dialog")
s.check(all(code == 0 for _, code in run.results()) and run.selectors()[-1:] == [5],
        "a 32767-pixel-wide image runs through every selector", run)
s.check("request in 0 0 2 32767 planes 0 0 rowbytes 32780" in run.trace, "the whole width is requested", run)
refused("a module that is no plug-in", ["info", s.path("text.ppm")], "cannot load")
refused("unknown option", ["apply", plugin, s.path("wide.pgm"), s.path("o.pgm"), "--frobnicate"], "unknown option")
s.finish()
