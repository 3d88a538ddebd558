"""gwhost on a small test filter (GW_FAULT chooses its behaviour): pixels are
delivered and written back exactly, with padded rows, in 8 and 16 bit and with
a selection mask; and every plug-in fault the host can see is reported with
its exit status instead of passing silently."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration"))
from gwhost_harness import Scenario, gradient, write_netpbm  # noqa: E402

s = Scenario(__doc__)
W, H = 9, 5


def read_samples(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = data.split(maxsplit=4)
    maxval = int(fields[3])
    body = fields[4]
    if maxval > 255:
        return [int.from_bytes(body[i:i + 2], "big") for i in range(0, len(body), 2)]
    return list(body)


def run_fault(fault, *arguments, expect_exit=0):
    if fault:
        os.environ["GW_FAULT"] = fault
    else:
        os.environ.pop("GW_FAULT", None)
    return s.gwhost("apply", s.args.plugin, *arguments, expect_exit=expect_exit, timeout=120)


# Exact delivery and write-back.
for name, planes, maxval in [("g8.pgm", 1, 255), ("c8.ppm", 3, 255), ("g16.pgm", 1, 65535), ("c16.ppm", 3, 65535)]:
    source, out = s.path(name), s.path("inv_" + name)
    samples = gradient(W, H, planes, maxval)
    write_netpbm(source, W, H, planes, maxval, samples)
    run = run_fault("", source, out)
    if maxval == 255:
        want = [255 - v for v in samples]
    else:
        host = [(v * 32768 * 2 + 65535) // (2 * 65535) for v in samples]
        want = [((32768 - v) * 65535 * 2 + 32768) // (2 * 32768) for v in host]
    s.check(os.path.exists(out) and read_samples(out) == want, name + ": inverted exactly", run)
    row_bytes = W * planes * (2 if maxval > 255 else 1) + (14 if maxval > 255 else 13)
    s.check(any(line.endswith("rowbytes %d" % row_bytes) for line in run.records("request")),
            name + ": padded rows of %d bytes" % row_bytes, run)

# The mask reaches the plug-in row by row.
mask_values = [(r * 40 + c * 17) % 256 for r in range(H) for c in range(W)]
write_netpbm(s.path("mask.pgm"), W, H, 1, 255, mask_values)
run = run_fault("mask", s.path("c8.ppm"), s.path("mask_out.ppm"), "--mask", s.path("mask.pgm"))
s.check(read_samples(s.path("mask_out.ppm")) == [m for m in mask_values for _ in range(3)],
        "the delivered mask equals the file's", run)

faults = [
    ("overrun", 2, "past the end of outData"),
    ("padding", 2, "padding of outData row 0"),
    ("handle", 2, "unknown handle"),
    ("crash", 4, "unhandled exception 0xC0000005"),
]
for fault, status, needle in faults:
    out = s.path("fault_%s.ppm" % fault)
    run = run_fault(fault, s.path("c8.ppm"), out, expect_exit=status)
    s.check(any(needle in line for line in run.records("hosterror")), fault + ": reported as " + needle, run)
    s.check(not os.path.exists(out), fault + ": no output written", run)
    if status == 2:
        s.check(run.selectors()[-1:] == [5], fault + ": the host still calls finish", run)

run = run_fault("leak", s.path("c8.ppm"), s.path("leak.ppm"))
s.check("handles live 1" in run.trace, "a handle left behind is counted", run)

run = run_fault("msgbox", s.path("c8.ppm"), s.path("msgbox.ppm"))
s.check("msgbox \"Faulty\" \"Exception caught.\\nCode 042.\"" in run.trace, "the message box is read", run)
s.check("Code 042." in run.stderr, "and reported on standard error", run)

# Services: cursors through the UI hooks suite, displayPixels painted into a
# memory device context, progress.
checksum = 2166136261
for byte in range(0, 240, 20):
    checksum = ((checksum ^ byte) * 16777619) & 0xFFFFFFFF
run = run_fault("services", s.path("c8.ppm"), s.path("services.ppm"))
for line in ["suite acquire \"Photoshop UIHooks Suite for Plug-ins\" 1 result 0",
             "cursor \"Photoshop Cursor Hand\" result 0",
             "cursor \"No Such Cursor\" result %d" % 0x21637572,
             "suite release \"Photoshop UIHooks Suite for Plug-ins\" 1 result 0",
             "displayPixels 0 0 2 2 mode 3 rowbytes 6 colbytes 3 planebytes 1 at 5 7 checksum %08X" % checksum,
             "displayPixels refused missing-argument",
             "progress 50 100"]:
    s.check(line in run.trace, "services: trace holds " + line, run)
run = run_fault("services", s.path("c8.ppm"), s.path("services2.ppm"), "--no-uihooks", "--no-display",
                "--no-progress")
s.check("suite acquire \"Photoshop UIHooks Suite for Plug-ins\" 1 result %d" % 0x53214664 in run.trace,
        "a host without the UI hooks suite answers 'S!Fd'", run)
s.check(not run.records("cursor") and not run.records("displayPixels") and not run.records("progress"),
        "withheld services are not called", run)

run = run_fault("hang", s.path("c8.ppm"), s.path("hang.ppm"), "--timeout", "5", expect_exit=3)
s.check(any("time limit" in line for line in run.records("hosterror")), "a hanging plug-in is ended", run)
s.finish()
