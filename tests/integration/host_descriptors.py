"""Scripting playback and recording through the descriptor procedures: played
values are used only when the dialog is suppressed, taken without clamping,
missing keys keep their values, and after finish the host holds a descriptor
of all four keys with record information 0."""

from gwhost_harness import Scenario, gradient, write_netpbm

s = Scenario(__doc__)
source = s.path("grey.pgm")
write_netpbm(source, 12, 8, 1, 255, gradient(12, 8, 1, 255))


def recorded(run):
    return [line[len("descriptor out "):] for line in run.records("descriptor") if line.startswith("descriptor out ")]


run = s.gwhost("apply", s.args.plugin, source, s.path("a.pgm"), "--no-dialog",
               "--amount", "80", "--fill-light", "50", "--speed", "--no-autoscale")
s.check(recorded(run) == ["'Amnt' long 80", "'Fl  ' long 50", "'Md  ' bool 1", "'Scln' bool 0"],
        "suppressed dialog: the played values are used and recorded in order", run)
s.check("recordInfo 0" in run.trace, "record information 0 after finish", run)
s.check(not run.records("handles"), "every handle disposed", run)

run = s.gwhost("apply", s.args.plugin, source, s.path("b.pgm"), "--dialog", "--amount", "80", "--speed")
s.check(recorded(run) == ["'Amnt' long 60", "'Fl  ' long 37", "'Md  ' bool 0", "'Scln' bool 1"],
        "displayed dialog: the descriptor is not read; the defaults are recorded", run)

run = s.gwhost("apply", s.args.plugin, source, s.path("c.pgm"), "--no-dialog", "--amount", "150",
               "--fill-light", "5")
s.check(recorded(run)[:2] == ["'Amnt' long 150", "'Fl  ' long 5"], "played values are not clamped", run)
s.check(recorded(run)[2:] == ["'Md  ' bool 0", "'Scln' bool 1"], "keys not played keep their values", run)
s.check("descriptor missing 'Scln'" in run.trace, "the host sees which expected keys were absent", run)

run = s.gwhost("apply", s.args.plugin, source, s.path("d.pgm"), "--no-dialog")
s.check(len(recorded(run)) == 4, "without a played descriptor the plug-in still records one", run)
s.finish()
