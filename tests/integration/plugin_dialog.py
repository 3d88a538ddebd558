#!/usr/bin/env python3
"""The filter dialog and the about box, driven through gwhost's --scenario the
way a person uses them: fitting zoom, zoom steps and labels, panning, sliders,
typing, Before/After, Defaults, Help, Cancel and OK, and the about box texts
and position. Screenshots of the dialog and the about box are kept in the
work folder (dialog-*.bmp, about.bmp)."""

import math
import os
import re
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gwhost_harness import Scenario, write_netpbm  # noqa: E402

RUN_TIMEOUT = 900


def photo(width, height):
    """A backlit scene: bright top right, deep shadows bottom left, with texture."""
    pixels = []
    for y in range(height):
        for x in range(width):
            light = 0.08 + 0.92 * max(0.0, min(1.0, 1.3 - 1.5 * y / height + 0.4 * (x / width - 0.5)))
            r = 0.55 + 0.25 * math.sin(x / 9.0) * math.cos(y / 13.0)
            g = 0.50 + 0.20 * math.sin((x + y) / 21.0)
            b = 0.45 + 0.20 * math.cos(x / 17.0)
            pixels.extend(int(255 * max(0.0, min(1.0, c * light))) for c in (r, g, b))
    return pixels


def float32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def placed_at(record):
    """(row, column) where a displayPixels record drew."""
    words = record.split()
    i = words.index("at")
    return int(words[i + 1]), int(words[i + 2])


def steps_between(trace, start, end=None):
    """Trace records after the scenario step `start` up to the next scenario step
    (or `end`)."""
    out, inside = [], False
    for line in trace:
        if line == "scenario " + start:
            inside = True
            continue
        if inside and line.startswith("scenario ") and (end is None or line == "scenario " + end):
            break
        if inside:
            out.append(line)
    return out


def reported(trace, prefix):
    return [line[len(prefix):] for line in trace if line.startswith(prefix)]


def nth(items, i):
    return items[i] if len(items) > i else None


def paints(records):
    return [line for line in records if line.startswith("displayPixels ") and not line.endswith("refused")]


def checksum(record):
    return record.rsplit(" ", 1)[1]


def shown_before(trace, step):
    """The checksum of the last paint before the scenario step `step`: what the
    preview showed then. Paints happen whenever the window system asks (another
    window uncovering the dialog, say), so a step that must change nothing is
    checked by what its paints show, not by how many there are."""
    i = trace.index("scenario " + step) if "scenario " + step in trace else len(trace)
    earlier = paints(trace[:i])
    return checksum(earlier[-1]) if earlier else None


def shows_only(records, expected):
    return all(checksum(p) == expected for p in paints(records))


def run_scenario(sc, name, steps, *arguments, image):
    script = sc.path(name + ".txt")
    with open(script, "w") as f:
        f.write("\n".join(steps) + "\n")
    return sc.gwhost("apply", sc.args.plugin, image, sc.path(name + "-out.ppm"), *arguments,
                     "--scenario", script, "--timeout", "800", timeout=RUN_TIMEOUT)


def main():
    sc = Scenario(__doc__)
    big_w, big_h = 800, 500
    big = sc.path("photo.ppm")
    write_netpbm(big, big_w, big_h, 3, 255, photo(big_w, big_h))
    small = sc.path("small.ppm")
    write_netpbm(small, 100, 80, 3, 255, photo(100, 80))
    shot = lambda name: sc.path("dialog-" + name + ".bmp")  # noqa: E731

    # --- The dialog on an image larger than the preview ---------------------
    steps = [
        "wait-dialog", "rect preview-area", "text zoom-label", "enabled zoom-out", "enabled zoom-in",
        "checked after", "checked quality", "checked autoscale", "text amount", "position fill-light-slider",
        "capture " + shot("after"),
        # Before/After with the fade; a second click on the shown side does nothing.
        "click before", "sync", "mark before-twice", "click before", "sync", "capture " + shot("before"),
        "click animate", "mark after-immediate", "click after", "sync", "checked animate",
        # Zoom steps up to the limit; "+" is refused there. The zoomed preview is
        # painted before the small moves, so that only their own paints follow the mark.
    ] + ["click zoom-in"] * 7 + ["text zoom-label", "sync", "mark zoom4", "mouse down 150 150",
                                 "mouse move 153 150", "mouse move 156 150", "mouse up 156 150", "sync", "mark zoom4-end"] + \
        ["click zoom-in"] * 5 + [
        "text zoom-label", "enabled zoom-in", "click zoom-in",
        # Pan at 900 %, then leave the preview with the button held.
        "drag 200 200 120 140 4", "sync", "capture " + shot("zoomed-panned"),
        "mouse down 150 150", "mouse move 140 140", "mark leave", "mouse move 5 5", "sync", "mark left",
        "mouse up 5 5", "sync",
        # Back to the fitting zoom: nothing to pan there.
    ] + ["click zoom-out"] * 12 + [
        "text zoom-label", "enabled zoom-out", "click zoom-out", "sync", "mark fit-drag",
        "drag 150 150 100 120 3", "sync", "mark fit-drag-end",
        # Sliders: the edit follows the thumb; the preview follows the release.
        "slider amount-slider 80 track", "sync", "text amount", "mark release",
        "slider amount-slider 80", "sync", "mark released",
        # Typing.
        "type amount 101", "text amount", "position amount-slider", "sync",
        "clear amount", "sync", "mark cleared", "text amount", "position amount-slider",
        "type fill-light 55", "position fill-light-slider",
        # Defaults from Speed.
        "click speed", "sync", "click defaults", "sync", "mark defaults-done",
        "checked quality", "checked speed", "position amount-slider", "position fill-light-slider",
        "text amount", "text fill-light",
        "click help", "sync",
        "click cancel",
    ]
    run = run_scenario(sc, "dialog", steps, image=big)
    t = run.trace
    sc.check("scenario end" in t and not reported(t, "scenario error "), "the scenario ran to its end", run)
    sc.check("result 4 -128" in run.stdout, "Cancel ends the filter as cancelled (-128)", run)
    sc.check(not any(line.startswith("request out") for line in t), "Cancel writes nothing back", run)
    sc.check(not os.path.exists(sc.path("dialog-out.ppm")), "no output image after Cancel", run)

    if not sc.check(reported(t, "rect 1014 ") and paints(t), "the dialog showed its preview", run):
        sc.finish()
    rect = [int(v) for v in nth(reported(t, "rect 1014 "), 0).split()]
    width, height = rect[2] - rect[0] + 1, rect[3] - rect[1] + 1
    fit = float32(min(width / big_w, height / big_h, 1.0))
    labels = reported(t, "text 1020 ")
    sc.check(nth(labels, 0) == '"%3d%%"' % int(fit * 100), "the fitting zoom label: %s for fit %.4f" % (nth(labels, 0), fit),
             run)
    zw, zh = int(float32(big_w * fit)), int(float32(big_h * fit))
    first = paints(t)[0].split()
    shown_w, shown_h = int(first[4]) + 1, int(first[3]) + 1
    sc.check(shown_w == min(width, zw) and shown_h == min(height, zh),
             "the first preview has the fitted size (%dx%d)" % (shown_w, shown_h), run)
    sc.check(placed_at(paints(t)[0]) == (rect[1] + height // 2 - min(height // 2, zh // 2),
                                         rect[0] + width // 2 - min(width // 2, zw // 2)),
             "the preview is centred in the maximum area", run)
    sc.check(nth(reported(t, "enabled 1018 "), 0) == "0" and nth(reported(t, "enabled 1019 "), 0) == "1",
             "at the fitting zoom '-' is disabled and '+' enabled", run)
    sc.check(nth(reported(t, "checked 1040 "), 0) == "1" and nth(reported(t, "checked 1059 "), 0) == "1" and
             nth(reported(t, "checked 1042 "), 0) == "1", "After, Quality and AutoScale start checked", run)
    sc.check(nth(reported(t, "text 1001 "), 0) == '"60"' and nth(reported(t, "position 1006 "), 0) == "37",
             "the controls start with the parameters (60, 37)", run)

    fade = paints(steps_between(t, "click before"))
    sc.check(len(fade) >= 3, "Before fades over several frames (%d paints)" % len(fade), run)
    sc.check(shows_only(steps_between(t, "mark before-twice", "mark after-immediate"),
                        shown_before(t, "mark before-twice")), "a second click on Before does nothing", run)
    immediate = {checksum(p) for p in paints(steps_between(t, "click after"))} - {shown_before(t, "click after")}
    sc.check(len(immediate) == 1, "with Animate off After shows at once (%d pictures)" % len(immediate), run)
    sc.check(nth(reported(t, "checked 1041 "), 0) == "0", "Animate was unchecked", run)

    sc.check(nth(labels, 1) == '"400%"', "seven steps up from the fitting zoom reach 400%% (%s)" % nth(labels, 1), run)
    # Once the button is down the preview shows the unprocessed pixels, so the
    # paints of the moves show one picture; after the release the recomputed
    # view is the one from before the drag.
    dragged = paints(steps_between(t, "mouse move 153 150", "mouse up 156 150"))
    sc.check(dragged and shows_only(dragged, checksum(dragged[0])) and
             shown_before(t, "mark zoom4-end") == shown_before(t, "mark zoom4"),
             "moves of 3 pixels at 400% pan nothing (each step truncated)", run)
    sc.check(nth(labels, 2) == '"900%"' and nth(reported(t, "enabled 1019 "), 1) == "0",
             "the largest zoom reads 900% and disables '+'", run)
    sc.check(any(line.startswith("refused 1019") for line in t), "a disabled '+' cannot be clicked", run)
    sc.check(any(line == 'cursor "Photoshop Cursor Grab" result 0' for line in t),
             "dragging an enlarged preview shows the grab cursor", run)
    left = steps_between(t, "mark leave", "mark left")
    sc.check(any(line == 'cursor "Photoshop Cursor Arrow" result 0' for line in left) and paints(left),
             "leaving the preview ends the drag and recomputes", run)
    sc.check(shows_only(steps_between(t, "mouse up 5 5"), shown_before(t, "mouse up 5 5")),
             "a release outside the preview does nothing", run)

    sc.check(nth(labels, 3) == nth(labels, 0) and nth(reported(t, "enabled 1018 "), 1) == "0",
             "zooming out stops at the fitting zoom and disables '-'", run)
    before_drag = paints(t[:t.index("scenario mark fit-drag")]) if "scenario mark fit-drag" in t else []
    after_drag = paints(steps_between(t, "drag 150 150 100 120 3", "mark fit-drag-end"))
    sc.check(after_drag and before_drag and checksum(after_drag[-1]) == checksum(before_drag[-1]),
             "a drag at the fitting zoom pans nothing", run)
    sc.check(not any(line == 'cursor "Photoshop Cursor Grab" result 0'
                     for line in steps_between(t, "drag 150 150 100 120 3")),
             "at the fitting zoom the cursor stays the hand", run)

    sc.check(nth(reported(t, "text 1001 "), 1) == '"80"', "the edit follows the slider's thumb", run)
    sc.check(shows_only(steps_between(t, "slider amount-slider 80 track", "mark release"),
                        shown_before(t, "slider amount-slider 80 track")),
             "no new preview while the thumb is dragged", run)
    sc.check(paints(steps_between(t, "slider amount-slider 80", "mark released")),
             "releasing the thumb makes a new preview", run)

    boxes = [line for line in t if line.startswith("msgbox ")]
    sc.check('msgbox "Error" "Amount must be between 0 and 100"' in boxes,
             "typing 101 shows the Amount range message", run)
    sc.check(nth(reported(t, "text 1001 "), 2) == '"10"' and nth(reported(t, "position 1002 "), 0) == "10",
             "the refused value is replaced by the slider's (10)", run)
    sc.check(nth(reported(t, "text 1001 "), 3) == '""' and nth(reported(t, "position 1002 "), 1) == "10" and
             shows_only(steps_between(t, "clear amount", "mark cleared"), shown_before(t, "clear amount")),
             "clearing the edit leaves the slider and makes no preview", run)
    sc.check(nth(reported(t, "position 1006 "), 1) == "55", "typing into Fill Light moves its slider", run)
    sc.check(nth(reported(t, "checked 1059 "), 1) == "1" and nth(reported(t, "checked 1047 "), 0) == "0" and
             nth(reported(t, "position 1002 "), 2) == "60" and nth(reported(t, "position 1006 "), 2) == "37" and
             nth(reported(t, "text 1001 "), 4) == '"60"' and nth(reported(t, "text 1008 "), 0) == '"37"',
             "Defaults from Speed selects Quality, 60 and 37", run)
    sc.check('msgbox "Error" "Unable to locate help file"' in boxes,
             "Help without a recorded installation says the help file is not found", run)

    # --- A small image, OK with the dialog's values ---------------------------
    steps = [
        "wait-dialog", "rect preview-area", "text zoom-label", "enabled zoom-out", "enabled zoom-in",
        "slider amount-slider 80", "slider fill-light-slider 20", "click speed", "click autoscale", "sync",
        "capture " + shot("small"), "click ok",
    ]
    run = run_scenario(sc, "small", steps, image=small)
    t = run.trace
    sc.check("scenario end" in t and "result 4 0" in run.stdout, "OK applies the filter", run)
    if not sc.check(reported(t, "rect 1014 ") and paints(t), "the dialog showed its preview", run):
        sc.finish()
    rect = [int(v) for v in nth(reported(t, "rect 1014 "), 0).split()]
    width, height = rect[2] - rect[0] + 1, rect[3] - rect[1] + 1
    first = paints(t)[0].split()
    sc.check(reported(t, "text 1020 ") == ['"100%"'] and reported(t, "enabled 1018 ") == ["0"] and
             reported(t, "enabled 1019 ") == ["1"], "a small image fits at 100%, '-' off, '+' on", run)
    sc.check(first[1:5] == ["0", "0", "79", "99"] and
             placed_at(paints(t)[0]) == (rect[1] + height // 2 - 40, rect[0] + width // 2 - 50),
             "the small image is shown at its own size, centred (%s)" % " ".join(first), run)
    for key, value in (("'Amnt' long", "80"), ("'Fl  ' long", "20"), ("'Md  ' bool", "1"), ("'Scln' bool", "0")):
        sc.check("descriptor out %s %s" % (key, value) in t, "OK records %s %s" % (key, value), run)

    same = sc.gwhost("apply", sc.args.plugin, small, sc.path("small-direct.ppm"), "--no-dialog", "--amount", "80",
                     "--fill-light", "20", "--speed", "--no-autoscale", timeout=RUN_TIMEOUT)
    sc.check("result 4 0" in same.stdout, "the dialog not shown closes at once as if OK were pressed", same)
    if os.path.exists(sc.path("small-out.ppm")) and os.path.exists(sc.path("small-direct.ppm")):
        with open(sc.path("small-out.ppm"), "rb") as a, open(sc.path("small-direct.ppm"), "rb") as b:
            sc.check(a.read() == b.read(), "OK applies exactly the dialog's values", same)
    else:
        sc.check(False, "both small results exist", same)

    # --- The about box ------------------------------------------------------------
    script = sc.path("about.txt")
    with open(script, "w") as f:
        f.write("\n".join(['wait-dialog "About Gladewick Pro"', "text product", "text version", "text build",
                           "window", "capture " + sc.path("about.bmp"), "click ok"]) + "\n")
    run = sc.gwhost("about", sc.args.plugin, "--scenario", script, timeout=RUN_TIMEOUT)
    t = run.trace
    sc.check(reported(t, "text 1064 ") == ['"Gladewick Pro"'] and reported(t, "text 1048 ") == ['"Version 2.1.8"']
             and reported(t, "text 1049 ") == ['"Build 234 R"'], "the about box texts", run)
    window = reported(t, "window ")
    if sc.check(len(window) == 1, "the about box was found", run):
        m = re.match(r"(-?\d+) (-?\d+) (-?\d+) (-?\d+) screen (\d+) (\d+) captionbutton (\d+)", window[0])
        left, top, right, bottom, screen_w, screen_h, button = (int(v) for v in m.groups())
        w, h = right - left, bottom - top
        sc.check(left == max(screen_w - w, 0) // 2 - button and top == max(screen_h - h, 0) // 3,
                 "the about box sits centred (less a caption button) a third of the way down", run)
    sc.finish()


if __name__ == "__main__":
    main()
