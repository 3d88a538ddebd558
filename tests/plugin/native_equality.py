#!/usr/bin/env python3
"""The plug-in in gwhost against the native tool on the same input.

The same floats go into both engines: the photo is handed to gwhost as 8-bit
samples and as 16-bit samples in the host's range (maxval 32768, passed to the
plug-in as they are), and to the native tool as a float image holding exactly
the values the plug-in reads (s / 255, s / 32768). The native tool's float
result is converted the way the plug-in writes back (8-bit: the integer part
of 255 v; 16-bit: the nearest integer to 32768 v; capped at 1 and 0, blended
with the selection in single precision), and must equal gwhost's output
sample for sample. Recorded parameters played back with the dialog suppressed
must give the native result of those parameters.

Usage: native_equality.py WINE_RUN PREFIX GWHOST PLUGIN NATIVE_TOOL PHOTO WORKDIR
Exits 77 when the Windows program cannot run here or no native tool is given.
"""

import os
import struct
import subprocess
import sys

SKIP = 77


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def read_netpbm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    planes = 3 if magic == b"P6" else 1
    count = width * height * planes
    if maxval > 255:
        samples = list(struct.unpack(">%dH" % count, data[pos:pos + 2 * count]))
    else:
        samples = list(data[pos:pos + count])
    return width, height, planes, maxval, samples


def write_netpbm(path, width, height, planes, maxval, samples):
    head = b"%s\n%d %d\n%d\n" % (b"P6" if planes == 3 else b"P5", width, height, maxval)
    body = struct.pack(">%dH" % len(samples), *samples) if maxval > 255 else bytes(samples)
    open(path, "wb").write(head + body)


def write_pfm(path, width, height, planes, values):
    rows = [values[r * width * planes:(r + 1) * width * planes] for r in range(height)]
    body = b"".join(struct.pack("<%df" % len(row), *row) for row in reversed(rows))
    open(path, "wb").write(b"%s\n%d %d\n-1.0\n" % (b"PF" if planes == 3 else b"Pf", width, height) + body)


def read_pfm(path):
    data = open(path, "rb").read()
    lines = data.split(b"\n", 3)
    planes = 3 if lines[0].strip() == b"PF" else 1
    width, height = map(int, lines[1].split())
    scale = float(lines[2])
    order = "<" if scale < 0 else ">"
    count = width * planes
    body = lines[3]
    rows = [list(struct.unpack(order + "%df" % count, body[r * 4 * count:(r + 1) * 4 * count]))
            for r in range(height)]
    return [v for row in reversed(rows) for v in row]


def write_back(v, source, mask, deep):
    """One sample as the plug-in writes it: mask 0 keeps the source, a partial
    mask blends in single precision, then the cap and the conversion."""
    if mask == 0:
        return source
    if mask < 255:
        a = f32(mask / 255.0)
        s = f32(source / (32768.0 if deep else 255.0))
        v = f32(f32(v * a) + f32(f32(1.0 - a) * s))
    if not v < 1.0:
        v = 1.0
    if v < 0.0:
        v = 0.0
    if deep:
        return int((32768.0 * v + 0.5) // 1)
    return int(f32(255.0 * v))


def main():
    if len(sys.argv) != 8:
        sys.exit(__doc__)
    wine_run, prefix, gwhost, plugin, native, photo, work = sys.argv[1:]
    if not native or not os.path.exists(native):
        print("skipped: no native gladewick given (GW_NATIVE_GLADEWICK)")
        sys.exit(SKIP)
    if not os.path.exists(photo):
        print("skipped: no photo at " + photo)
        sys.exit(SKIP)
    os.makedirs(work, exist_ok=True)
    p = lambda name: os.path.join(work, name)

    # A crop of the photo with dark and bright parts, 8-bit RGB and grey.
    subprocess.run(["convert", photo, "-crop", "160x120+220+120", "+repage", "-depth", "8", p("rgb8.ppm")], check=True)
    subprocess.run(["convert", p("rgb8.ppm"), "-colorspace", "Gray", "-depth", "8", p("grey8.pgm")], check=True)
    width, height, _, _, rgb = read_netpbm(p("rgb8.ppm"))
    _, _, _, _, grey = read_netpbm(p("grey8.pgm"))
    # 16-bit in the host's range, with detail below the 8-bit steps; 8-bit
    # white becomes the host's white, 32768.
    rgb16 = [32768 if s == 255 else s * 128 + (i * 37) % 128 for i, s in enumerate(rgb)]
    grey16 = [32768 if s == 255 else s * 128 + (i * 53) % 128 for i, s in enumerate(grey)]
    write_netpbm(p("rgb16.ppm"), width, height, 3, 32768, rgb16)
    write_netpbm(p("grey16.pgm"), width, height, 1, 32768, grey16)
    # A selection with unselected, half and fully selected bands.
    mask = [(0, 128, 255)[(c * 3) // width] for r in range(height) for c in range(width)]
    write_netpbm(p("mask.pgm"), width, height, 1, 255, mask)

    failures = []
    cases = [
        ("rgb8", "rgb8.ppm", 3, False, rgb, None, []),
        ("grey8", "grey8.pgm", 1, False, grey, None, []),
        ("rgb16", "rgb16.ppm", 3, True, rgb16, None, []),
        ("grey16", "grey16.pgm", 1, True, grey16, None, []),
        ("rgb8-mask", "rgb8.ppm", 3, False, rgb, mask, []),
        ("grey16-mask", "grey16.pgm", 1, True, grey16, mask, []),
        ("rgb8-playback", "rgb8.ppm", 3, False, rgb, None,
         ["--amount", "80", "--fill-light", "50", "--speed", "--no-autoscale"]),
    ]
    native_results = {}
    for name, image, planes, deep, samples, sel, options in cases:
        scale = 32768.0 if deep else 255.0
        write_pfm(p(name + ".in.pfm"), width, height, planes, [f32(s / scale) for s in samples])
        subprocess.run([native, "-q", *options, p(name + ".in.pfm"), "-o", p(name + ".native.pfm")], check=True)
        values = read_pfm(p(name + ".native.pfm"))
        native_results[name] = values

        host_options = ["--no-dialog", "--timeout", "300"] + options
        if sel is not None:
            host_options += ["--mask", p("mask.pgm")]
        result = subprocess.run([wine_run, prefix, gwhost, "apply", plugin, p(image), p(name + ".out"), *host_options],
                                capture_output=True, text=True)
        if result.returncode == SKIP:
            print("skipped: " + result.stderr.strip())
            sys.exit(SKIP)
        if result.returncode != 0:
            failures.append("%s: gwhost exit %d\n%s" % (name, result.returncode, result.stderr))
            continue
        _, _, _, _, out = read_netpbm(p(name + ".out"))
        expected = [write_back(v, s, 255 if sel is None else sel[i // planes], deep)
                    for i, (v, s) in enumerate(zip(values, samples))]
        differing = [i for i in range(len(out)) if out[i] != expected[i]]
        if differing:
            i = differing[0]
            failures.append("%s: %d of %d samples differ; first at %d: plug-in %d, native %d (float %r)"
                            % (name, len(differing), len(out), i, out[i], expected[i], values[i]))
        else:
            print("%s: %d samples identical" % (name, len(out)), flush=True)
        if deep and sel is None:
            whites = [i for i, v in enumerate(values) if v >= 1.0]
            print("%s: %d samples at or above 1 written as %s" % (name, len(whites), sorted({out[i] for i in whites})))

    if native_results["rgb8-playback"] == native_results["rgb8"]:
        failures.append("the played-back parameters give the default result; the check proves nothing")

    for failure in failures:
        print("FAIL " + failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
