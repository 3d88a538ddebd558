#!/usr/bin/env python3
"""Invocations as an editor makes them with the plug-in kept loaded, and
failures that must end the filter: a second image of the same size gets its
own result; a suppressed dialog is never shown; a preview failure with the
dialog suppressed ends the filter with its code, and one from a dialog button
is reported and closes the dialog instead of escaping the dialog procedure."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gwhost_harness import Scenario, write_netpbm  # noqa: E402

WIDTH, HEIGHT = 120, 80


def photo_a():
    return [min(255, (40 + 150 * c // WIDTH) * (1 + (r // 9) % 2) // 2 + p * 17) for r in range(HEIGHT)
            for c in range(WIDTH) for p in range(3)]


def photo_b(a):
    """A darker, mirrored A: another range of the same size and colour."""
    out = []
    for r in range(HEIGHT):
        for c in range(WIDTH):
            i = (r * WIDTH + WIDTH - 1 - c) * 3
            out.extend(v * 2 // 5 for v in a[i:i + 3])
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


def with_failure(setting):
    os.environ["GW_PLUGIN_INJECT_FAILURE"] = setting


def main():
    sc = Scenario(__doc__)
    a = photo_a()
    write_netpbm(sc.path("a.ppm"), WIDTH, HEIGHT, 3, 255, a)
    write_netpbm(sc.path("b.ppm"), WIDTH, HEIGHT, 3, 255, photo_b(a))
    for name in ("a-out.ppm", "b-after-a.ppm", "b-fresh.ppm", "failed.ppm"):
        if os.path.exists(sc.path(name)):
            os.remove(sc.path(name))

    # One load, two images; and the second image in a fresh load.
    both = sc.gwhost("apply", sc.args.plugin, sc.path("a.ppm"), sc.path("a-out.ppm"), "--no-dialog",
                     "--then", sc.path("b.ppm"), sc.path("b-after-a.ppm"))
    fresh = sc.gwhost("apply", sc.args.plugin, sc.path("b.ppm"), sc.path("b-fresh.ppm"), "--no-dialog")
    sc.check(both.results().count((5, 0)) == 2, "both invocations finish with 0", both)
    if os.path.exists(sc.path("b-after-a.ppm")) and os.path.exists(sc.path("b-fresh.ppm")):
        sc.check(read(sc.path("b-after-a.ppm")) == read(sc.path("b-fresh.ppm")),
                 "the second image in one load equals the same image in a fresh load")
    else:
        sc.check(False, "both results of image B are written", both)

    # A suppressed dialog is never made visible: not in a played-back action,
    # not when the host gives no window.
    for extra in ([], ["--no-window"]):
        run = sc.gwhost("apply", sc.args.plugin, sc.path("a.ppm"), sc.path("quiet.ppm"), "--no-dialog", *extra)
        sc.check(run.records("shown") == [], "no window is shown with the dialog suppressed %s" % extra, run)
        sc.check(run.records("output") != [], "the suppressed run writes its result %s" % extra, run)

    # A failed preview at the start of a suppressed dialog ends the filter
    # with the failure's code; the image is not written.
    with_failure("ProcessPreviewBuffer=memory")
    run = sc.gwhost("apply", sc.args.plugin, sc.path("a.ppm"), sc.path("failed.ppm"), "--no-dialog")
    with_failure("")
    sc.check(any("Code 012." in m for m in run.records("msgbox")), "the code-012 box is shown", run)
    sc.check((4, -108) in run.results(), "the continue selector answers -108", run)
    sc.check(not os.path.exists(sc.path("failed.ppm")), "a failed start writes no result", run)

    # A failure of a preview call made by a dialog button is reported with its
    # code and closes the dialog; the host lives on.
    script = sc.path("before.txt")
    with open(script, "w") as f:
        f.write("wait-dialog\nclick before\nsync\nclick cancel\n")
    for kind in ("memory", "other"):
        with_failure("FillPreviewBuffer=" + kind)
        run = sc.gwhost("apply", sc.args.plugin, sc.path("a.ppm"), sc.path("failed.ppm"), "--dialog",
                        "--scenario", script)
        with_failure("")
        sc.check(any("Code 012." in m for m in run.records("msgbox")), "Before: the code-012 box (%s)" % kind, run)
        sc.check((4, -128) in run.results(), "Before: the dialog closed as cancelled (%s)" % kind, run)
    sc.finish()


if __name__ == "__main__":
    main()
