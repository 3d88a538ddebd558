#!/usr/bin/env python3
"""Runs the gladewick tool as a user would and checks what it does.

Usage: tool_test.py GLADEWICK WORKDIR CASE
CASE is one of: usage, files, tiny, floats, photo, interrupt, formats, metadata,
batch. Exit 0 on success,
1 on failure, 77 when the case cannot be judged on this machine.
Test images are written by the small PNG and PFM writers below, and results
are read through netpbm's pngtopnm where available, so the tool's own readers
are not the only judge of its files.
"""
import array
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import zlib

PHOTO = os.environ.get("GW_SAMPLE_PHOTO",
                       "/usr/lib/python3/dist-packages/skimage/data/astronaut.png")

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def run(*args, timeout=600):
    proc = subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=timeout)
    return proc.returncode, proc.stdout, proc.stderr


# ---- test image files ---------------------------------------------------------

def write_png(path, width, height, channels, bits, samples):
    """samples: integers, top row first, channels interleaved."""
    colour = {1: 0, 2: 4, 3: 2, 4: 6}[channels]
    raw = bytearray()
    per_row = width * channels
    for r in range(height):
        raw.append(0)
        row = samples[r * per_row:(r + 1) * per_row]
        if bits == 8:
            raw.extend(bytes(row))
        else:
            raw.extend(struct.pack(">%dH" % per_row, *row))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bits, colour, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw))))
        f.write(chunk(b"IEND", b""))


def write_pfm(path, width, height, channels, samples, little=True):
    """samples: floats, top row first; stored bottom row first."""
    per_row = width * channels
    order = "<" if little else ">"
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n%s\n" % (b"PF" if channels == 3 else b"Pf", width, height,
                                      b"-1.0" if little else b"1.0"))
        for r in range(height - 1, -1, -1):
            f.write(struct.pack(order + "%df" % per_row, *samples[r * per_row:(r + 1) * per_row]))


def read_pfm(path):
    with open(path, "rb") as f:
        data = f.read()
    parts = data.split(maxsplit=4)
    channels = 3 if parts[0] == b"PF" else 1
    width, height, scale = int(parts[1]), int(parts[2]), float(parts[3])
    body = data[len(data) - width * height * channels * 4:]
    values = struct.unpack(("<" if scale < 0 else ">") + "%df" % (width * height * channels), body)
    per_row = width * channels
    rows = [values[r * per_row:(r + 1) * per_row] for r in range(height)]
    return width, height, channels, [v for row in reversed(rows) for v in row]


def read_png(path):
    """Through netpbm when present; returns width, height, channels, bits, samples / maxval."""
    bits = open(path, "rb").read()[24]
    pnm = subprocess.run(["pngtopnm", path], capture_output=True, check=True).stdout
    magic, width, height, maxval, body = pnm.split(maxsplit=4)
    channels = 3 if magic == b"P6" else 1
    width, height, maxval = int(width), int(height), int(maxval)
    count = width * height * channels
    body = body[len(body) - count * (1 if maxval < 256 else 2):]
    values = body if maxval < 256 else struct.unpack(">%dH" % count, body)
    return width, height, channels, bits, [v / maxval for v in values]


def value_channel(samples, channels):
    if channels == 1:
        return list(samples)
    return [max(samples[i:i + 3]) for i in range(0, len(samples), 3)]


def synthetic_photo(width, height):
    """Smooth light falling off to one side, a dark shadowed block, a bright
    window and fine texture: the kind of scene the tool is for."""
    samples = []
    for r in range(height):
        for c in range(width):
            light = 0.15 + 0.8 * c / (width - 1)
            if height // 3 < r < 2 * height // 3 and c < width // 2:
                light *= 0.25
            texture = 0.85 + 0.15 * (((r // 3) + (c // 3)) % 2)
            v = min(1.0, light * texture)
            samples.extend((round(255 * v), round(200 * v), round(160 * v)))
    return samples


def judge_lift(v_before, v_after, label):
    """The pixels ranked by their value: the dark tones (20 to 40 % of the way
    up; below that a photo is mostly true black) must gain clearly, and much
    more than the brightest 5 %, which must not lose."""
    ranked = sorted(range(len(v_before)), key=lambda i: v_before[i])
    count = len(ranked)
    dark = ranked[count // 5:2 * count // 5]
    bright = ranked[count - count // 20:]
    mean = lambda idx, v: sum(v[i] for i in idx) / len(idx)
    dark_gain = mean(dark, v_after) - mean(dark, v_before)
    bright_gain = mean(bright, v_after) - mean(bright, v_before)
    print("%sdark tones %.3f -> %.3f, highlights %.3f -> %.3f"
          % (label, mean(dark, v_before), mean(dark, v_after), mean(bright, v_before),
             mean(bright, v_after)))
    check(dark_gain > 0.05, "%sthe shadows are lifted (by %.3f)" % (label, dark_gain))
    check(dark_gain > 2 * bright_gain, "%sthe shadows gain more than the highlights" % label)
    check(bright_gain > -0.02, "%sthe highlights are kept (%.3f)" % (label, bright_gain))


# ---- cases --------------------------------------------------------------------

def have(*programs):
    return all(shutil.which(p) for p in programs)


def magick(*args):
    subprocess.run(["convert", *args], check=True, capture_output=True)


def write_tiff_header_only(path, width, height):
    """A little-endian RGB TIFF that declares width x height and holds one byte."""
    entries = [(256, 4, width), (257, 4, height), (258, 3, 8), (259, 3, 1), (262, 3, 2),
               (273, 4, 8), (277, 3, 3), (278, 4, height), (279, 4, 1)]
    ifd_offset = 9 + 1
    data = b"II*\0" + struct.pack("<I", ifd_offset) + b"\0\0"
    data += struct.pack("<H", len(entries))
    for tag, kind, value in entries:
        data += struct.pack("<HHI", tag, kind, 1) + (struct.pack("<HH", value, 0) if kind == 3
                                                     else struct.pack("<I", value))
    data += struct.pack("<I", 0)
    with open(path, "wb") as f:
        f.write(data)


def bad_photo_files():
    """JPEG and TIFF files the tool must refuse, with a word its message must hold."""
    if not have("convert"):
        return []
    small = os.path.join(WORK, "small.png")
    write_png(small, 64, 48, 3, 8, synthetic_photo(64, 48))
    bad = []
    path = os.path.join(WORK, "cut.jpg")
    magick(small, "-quality", "90", path)
    with open(path, "r+b") as f:
        f.truncate(os.path.getsize(path) // 2)
    bad.append((path, "truncated"))
    path = os.path.join(WORK, "cmyk.jpg")
    magick(small, "-colorspace", "CMYK", path)
    bad.append((path, "CMYK"))
    path = os.path.join(WORK, "bilevel.tif")
    magick(small, "-type", "Bilevel", "-depth", "1", "-compress", "none", path)
    bad.append((path, "1-bit"))
    path = os.path.join(WORK, "five.tif")
    magick(small, "-colorspace", "CMYK", "-alpha", "on", path)
    bad.append((path, "5 samples"))
    path = os.path.join(WORK, "cut.tif")
    magick(small, "-compress", "zip", path)
    with open(path, "rb") as f:
        data = f.read()
    # libtiff writes the directory after the strips: keep the header and the
    # directory, lose the image data's second half.
    ifd = struct.unpack("<I", data[4:8])[0]
    data = data[:8] + data[8:ifd][:(ifd - 8) // 2] + b"\0" * ((ifd - 8) - (ifd - 8) // 2) + data[ifd:]
    with open(path, "wb") as f:
        f.write(data)
    bad.append((path, "TIFF"))
    path = os.path.join(WORK, "huge.tif")
    write_tiff_header_only(path, 2000000, 2000000)
    bad.append((path, "too large"))
    return bad


def case_usage():
    rc, out, _ = run("--help")
    check(rc == 0 and "Usage: gladewick" in out, "--help prints the usage")
    rc, _, err = run()
    check(rc == 2 and err.startswith("gladewick: "), "no arguments: exit 2 with a message")
    write_png(os.path.join(WORK, "in.png"), 2, 2, 1, 8, [0, 80, 160, 255])
    source = os.path.join(WORK, "in.png")
    target = os.path.join(WORK, "out.png")
    for args, word in [(["--amount", "101"], "--amount"), (["--amount", "x"], "--amount"),
                       (["--fill-light", "-5"], "--fill-light"), (["--radius", "-1"], "--radius"),
                       (["--thermal", "-1"], "--thermal"), (["--epsilon", "0"], "--epsilon"),
                       (["--bounds", "1,0"], "--bounds"), (["--bounds", "garbage"], "--bounds"),
                       (["--out-range", "0.9,0.1"], "--out-range"), (["--frobnicate"], "--frobnicate"),
                       (["--depth", "7"], "--depth")]:
        rc, _, err = run(source, "-o", target, *args)
        check(rc == 2 and word in err, "%s is refused with exit 2 and named (%d: %s)"
              % (" ".join(args), rc, err.strip()))
    rc, _, err = run(source, "-o", os.path.join(WORK, "out.bmp"))
    check(rc == 2 and ".jpg" in err, "an unknown output extension is refused")
    rc, _, err = run(source)
    check(rc == 2 and "-o" in err, "a missing output is refused")
    check(not os.path.exists(target), "nothing is written after a usage error")


def case_files():
    target = os.path.join(WORK, "out.png")
    with open(target, "wb") as f:
        f.write(b"keep me")
    bad = []
    bad.append((os.path.join(WORK, "missing.png"), "cannot open"))
    path = os.path.join(WORK, "text.png")
    with open(path, "w") as f:
        f.write("not an image\n")
    bad.append((path, "unsupported file format"))
    path = os.path.join(WORK, "huge.pfm")
    with open(path, "wb") as f:
        f.write(b"PF\n2000000 2000000\n-1.0\n" + b"\0" * 64)
    bad.append((path, "too large"))
    path = os.path.join(WORK, "cut.pfm")
    write_pfm(path, 4, 4, 1, [0.5] * 16)
    with open(path, "r+b") as f:
        f.truncate(os.path.getsize(path) - 4)
    bad.append((path, "truncated"))
    bad.extend(bad_photo_files())
    path = os.path.join(WORK, "nan.pfm")
    write_pfm(path, 2, 1, 1, [0.5, float("nan")])
    bad.append((path, "finite"))
    for source, word in bad:
        rc, _, err = run(source, "-o", target, "-q")
        check(rc == 1 and word in err and source in err,
              "%s is refused with exit 1, naming the file (%d: %s)"
              % (os.path.basename(source), rc, err.strip()))
    check(open(target, "rb").read() == b"keep me", "a failed run leaves the old output alone")
    good = os.path.join(WORK, "good.png")
    write_png(good, 2, 2, 1, 8, [0, 80, 160, 255])
    rc, _, err = run(good, "-o", os.path.join(WORK, "no", "out.png"))
    check(rc == 1 and "cannot create" in err, "an unwritable output is an error (%s)" % err.strip())
    leftovers = [n for n in os.listdir(WORK) if ".partial" in n]
    check(not leftovers, "no partial files are left behind: %s" % leftovers)


def case_tiny():
    for width, height, channels in [(1, 1, 1), (1, 1, 3), (1, 7, 3), (9, 1, 1), (2, 2, 3)]:
        count = width * height * channels
        source = os.path.join(WORK, "tiny.png")
        write_png(source, width, height, channels, 8, [(37 * i) % 256 for i in range(count)])
        for name in ("tiny-out.png", "tiny-out.pfm"):
            target = os.path.join(WORK, name)
            rc, _, err = run(source, "-o", target, "-q")
            check(rc == 0, "%dx%dx%d to %s runs (%s)" % (width, height, channels, name, err.strip()))
            if rc != 0:
                continue
            if name.endswith(".pfm"):
                w, h, c, samples = read_pfm(target)
            else:
                w, h, c, _, samples = read_png(target)
            check((w, h, c) == (width, height, channels),
                  "%s keeps the size %dx%dx%d" % (name, width, height, channels))
            check(all(0.0 <= v <= 1.0 for v in samples), "%s stays within [0, 1]" % name)
    # A constant image has no range to stretch: it comes back as it went in.
    source = os.path.join(WORK, "flat.pfm")
    write_pfm(source, 3, 2, 3, [0.25] * 18)
    rc, _, _ = run(source, "-o", os.path.join(WORK, "flat-out.pfm"))
    check(rc == 0 and read_pfm(os.path.join(WORK, "flat-out.pfm"))[3] == [0.25] * 18,
          "a constant image is returned unchanged")


def case_floats():
    # Float input may hold a red whose hue lies a hair below 0; it must come
    # back red, not turned magenta by a hue that wrapped round to a full turn.
    source = os.path.join(WORK, "red.pfm")
    pixels = [(1.0, 0.0, 1e-7), (0.6, 0.0, 1e-8), (0.05, 0.05, 0.05), (0.9, 0.9, 0.9),
              (0.3, 0.2, 0.1), (1.0, 0.0, 0.0)]
    write_pfm(source, 3, 2, 3, [v for p in pixels for v in p])
    target = os.path.join(WORK, "red-out.pfm")
    rc, _, err = run(source, "-o", target)
    check(rc == 0, "float input runs (%s)" % err.strip())
    if rc == 0:
        out = read_pfm(target)[3]
        for k in (0, 1, 5):
            r, g, b = out[3 * k:3 * k + 3]
            check(r > 0.3 and b < 0.2 * r and g < 0.2 * r,
                  "red pixel %d stays red: %.3f %.3f %.3f" % (k, r, g, b))
    # Bounds given on the command line stretch [LO, HI] onto [0, 1]: a float
    # image scaled by 1000 with --bounds 0,1000 gives what the unscaled one gives
    # with --bounds 0,1 up to rounding.
    scaled = os.path.join(WORK, "scaled.pfm")
    plain = os.path.join(WORK, "plain.pfm")
    values = [(r * 7 + c * 3) % 11 / 10.0 for r in range(6) for c in range(5)]
    write_pfm(plain, 5, 6, 1, values)
    write_pfm(scaled, 5, 6, 1, [1000.0 * v for v in values], little=False)
    rc1, _, _ = run(plain, "-o", os.path.join(WORK, "p-out.pfm"), "--bounds", "0,1")
    rc2, _, _ = run(scaled, "-o", os.path.join(WORK, "s-out.pfm"), "--bounds", "0,1000")
    check(rc1 == 0 and rc2 == 0, "runs with fixed bounds")
    if rc1 == 0 and rc2 == 0:
        a = read_pfm(os.path.join(WORK, "p-out.pfm"))[3]
        b = read_pfm(os.path.join(WORK, "s-out.pfm"))[3]
        check(max(abs(x - y) for x, y in zip(a, b)) < 1e-3,
              "fixed bounds normalise big-endian float input like [0, 1] input")


def case_photo():
    source = PHOTO
    if not os.path.exists(source):
        print("no sample photo; using a synthetic one")
        source = os.path.join(WORK, "synthetic.png")
        write_png(source, 320, 240, 3, 8, synthetic_photo(320, 240))
    out_png = os.path.join(WORK, "photo-out.png")
    out_pfm = os.path.join(WORK, "photo-out.pfm")
    rc, _, err = run(source, "-o", out_png, "-q")
    check(rc == 0, "the photo is processed (%s)" % err.strip())
    rc2, _, _ = run(source, "-o", out_pfm, "-q")
    if rc != 0 or rc2 != 0:
        return
    width, height, channels, bits, before = read_png(source)
    w, h, c, out_bits, after = read_png(out_png)
    check((w, h, c, out_bits) == (width, height, channels, bits), "the output keeps size and depth")
    _, _, _, floats = read_pfm(out_pfm)
    check(all(round(255 * min(max(v, 0.0), 1.0)) / 255 == a for v, a in zip(floats, after)),
          "the PNG holds the PFM's samples rounded to 8 bits")

    v_before = value_channel(before, channels)
    v_after = value_channel(after, channels)
    judge_lift(v_before, v_after, "")

    rc, _, _ = run(source, "-o", os.path.join(WORK, "again.png"), "-q")
    check(rc == 0 and open(os.path.join(WORK, "again.png"), "rb").read()
          == open(out_png, "rb").read(), "a second run gives the same bytes")

    # 16-bit grey input gives 16-bit output and the same picture.
    grey = [round(65535 * v) for v in v_before]
    source16 = os.path.join(WORK, "grey16.png")
    write_png(source16, width, height, 1, 16, grey)
    out16 = os.path.join(WORK, "grey16-out.png")
    rc, _, err = run(source16, "-o", out16, "--speed", "-q")
    check(rc == 0, "16-bit grey in fast mode runs (%s)" % err.strip())
    if rc == 0:
        _, _, c16, bits16, after16 = read_png(out16)
        check((c16, bits16) == (1, 16), "16-bit grey comes back as 16-bit grey")
        judge_lift(v_before, after16, "fast mode, 16-bit grey: ")


def same_bytes(a, b):
    return os.path.exists(a) and os.path.exists(b) and open(a, "rb").read() == open(b, "rb").read()


def png_alpha(path):
    return subprocess.run(["pngtopnm", "-alpha", path], capture_output=True, check=True).stdout


def case_formats():
    """Every format and depth gives the result of the same decoded samples in a
    PNG; alpha comes back exactly and leaves the colour as without it."""
    if not have("convert", "pngtopnm"):
        sys.exit(77)
    w, h = 96, 64
    rgb = os.path.join(WORK, "rgb.png")
    write_png(rgb, w, h, 3, 8, synthetic_photo(w, h))

    def result(path, *extra):
        out = path + ".pfm"
        rc, _, err = run(path, "-o", out, "-q", *extra)
        check(rc == 0, "%s is processed (%s)" % (os.path.basename(path), err.strip()))
        return out

    def compare(label, source, reference):
        check(same_bytes(result(source), result(reference)),
              "%s gives the result of its samples as a PNG" % label)

    # JPEG, baseline and progressive (full-resolution chroma, so that the
    # reference decoder's upsampling does not come into it).
    for name, extra in [("base.jpg", []), ("prog.jpg", ["-interlace", "JPEG"]),
                        ("grey.jpg", ["-colorspace", "Gray"])]:
        path = os.path.join(WORK, name)
        magick(rgb, "-quality", "90", "-sampling-factor", "1x1", *extra, path)
        ref = path + ".ref.png"
        magick(path, ref)
        compare(name, path, ref)

    # TIFF: depths, compressions, strips and tiles.
    for name, extra in [("8.tif", ["-depth", "8", "-compress", "none"]),
                        ("lzw.tif", ["-depth", "8", "-compress", "lzw"]),
                        ("zip16.tif", ["-depth", "16", "-compress", "zip"]),
                        ("rle.tif", ["-depth", "8", "-compress", "rle"]),
                        ("tiles16.tif", ["-depth", "16", "-define", "tiff:tile-geometry=32x32"]),
                        ("grey16.tif", ["-depth", "16", "-colorspace", "Gray"])]:
        path = os.path.join(WORK, name)
        magick(rgb, *extra, path)
        ref = path + ".ref.png"
        magick(path, ref)
        compare(name, path, ref)

    # PNG: palette, low-depth grey.
    for name, extra in [("pal.png", ["-type", "Palette", "PNG8:"]),
                        ("g1.png", ["-colorspace", "Gray", "-depth", "1", "-type", "Bilevel"]),
                        ("g2.png", ["-colorspace", "Gray", "-depth", "2"]),
                        ("g4.png", ["-colorspace", "Gray", "-depth", "4"])]:
        path = os.path.join(WORK, name)
        target = extra[-1] + path if extra[-1].endswith(":") else path
        magick(rgb, *[e for e in extra if not e.endswith(":")], target)
        ref = path + ".ref.png"
        magick(path, "-define", "png:bit-depth=8", "-type", "TrueColor" if "pal" in name else "Grayscale", ref)
        compare(name, path, ref)

    # Written files read back as they were written: the tool's float TIFF, 16-bit
    # TIFF and PNG round trips give the result of the samples they hold.
    pfm = os.path.join(WORK, "float.pfm")
    write_pfm(pfm, w, h, 3, [v / 255 for v in synthetic_photo(w, h)])
    for depth, ext in [("32", "tif"), ("16", "tif"), ("16", "png"), ("8", "tif")]:
        mid = os.path.join(WORK, "mid%s.%s" % (depth, ext))
        rc, _, err = run(pfm, "-o", mid, "--depth", depth, "-q")
        check(rc == 0, "float input into a %s-bit %s (%s)" % (depth, ext, err.strip()))
        if depth == "32":
            again = os.path.join(WORK, "again.pfm")
            run(pfm, "-o", again, "-q")
            check(same_bytes(result(mid), result(again)), "a float TIFF holds the floats exactly")
    for depth, ext, word in [("16", "jpg", "8 bits"), ("8", "pfm", "32-bit"), ("32", "png", "8 or 16")]:
        out = os.path.join(WORK, "no." + ext)
        rc, _, err = run(pfm, "-o", out, "--depth", depth, "-q")
        check(rc == 1 and word in err and not os.path.exists(out),
              "--depth %s into .%s is refused (%d: %s)" % (depth, ext, rc, err.strip()))

    # Alpha: kept exactly, 8 and 16 bits, PNG grey and colour and TIFF; the
    # colour comes out as it does without alpha.
    plain = synthetic_photo(w, h)
    for bits in (8, 16):
        top = 255 if bits == 8 else 65535
        colour = [v * top // 255 for v in plain]
        alpha = [(7 * i) % (top + 1) for i in range(w * h)]
        rgba = [x for i in range(w * h) for x in (*colour[3 * i:3 * i + 3], alpha[i])]
        for channels, samples, opaque_samples in [(4, rgba, colour),
                                                  (2, [x for i in range(w * h) for x in (colour[3 * i], alpha[i])],
                                                   colour[0::3])]:
            src = os.path.join(WORK, "a%d-%d.png" % (bits, channels))
            opaque = os.path.join(WORK, "o%d-%d.png" % (bits, channels))
            write_png(src, w, h, channels, bits, samples)
            write_png(opaque, w, h, channels - 1, bits, opaque_samples)
            for ext in ("png", "tif"):
                out = src + ".out." + ext
                rc, _, err = run(src, "-o", out, "-q")
                check(rc == 0, "%s into %s (%s)" % (os.path.basename(src), ext, err.strip()))
                back = out
                if ext == "tif":
                    back = out + ".png"
                    rc, _, err = run(out, "-o", back, "-q", "--amount", "0", "--no-autoscale")
                    check(rc == 0, "the tool reads its TIFF with alpha (%s)" % err.strip())
                check(rc == 0 and png_alpha(back) == png_alpha(src),
                      "alpha is kept exactly (%d-bit, %d channels, via %s)" % (bits, channels, ext))
            out = src + ".out.png"
            ref = opaque + ".out.png"
            run(opaque, "-o", ref, "-q")
            check(subprocess.run(["pngtopnm", out], capture_output=True).stdout
                  == subprocess.run(["pngtopnm", ref], capture_output=True).stdout,
                  "the colour is lifted as without alpha (%d-bit, %d channels)" % (bits, channels))
    rc, _, err = run(os.path.join(WORK, "a8-4.png"), "-o", os.path.join(WORK, "a.jpg"), "-q")
    check(rc == 1 and "alpha" in err, "alpha into a JPEG is refused (%s)" % err.strip())


def exif_fields(path, *tags):
    out = subprocess.run(["exiftool", "-s", "-s", "-s", *["-" + t for t in tags], path],
                         capture_output=True, text=True).stdout
    return out.splitlines()


def case_metadata():
    if not have("convert", "exiftool"):
        sys.exit(77)
    icc = "/usr/share/color/icc/ghostscript/a98.icc"
    if not os.path.exists(icc):
        sys.exit(77)
    small = os.path.join(WORK, "small.png")
    write_png(small, 96, 64, 3, 8, synthetic_photo(96, 64))
    thumb = os.path.join(WORK, "thumb.jpg")
    magick(small, "-resize", "32x", thumb)
    tags = ["-ICC_Profile<=" + icc, "-Model=Testcam X100", "-DateTimeOriginal=2026:05:01 10:20:30",
            "-XMP-dc:Title=Harbour at dusk", "-IPTC:Keywords=harbour"]
    sources = {}
    for ext in ("jpg", "tif", "png"):
        path = os.path.join(WORK, "tagged." + ext)
        magick(small, "-strip", path)
        extra = ["-ThumbnailImage<=" + thumb] if ext == "jpg" else []
        subprocess.run(["exiftool", "-q", "-overwrite_original", *tags, *extra, path], check=True)
        sources[ext] = path
    subprocess.run(["exiftool", "-q", "-overwrite_original", "-PNG:Comment=shot at low tide",
                    sources["png"]], check=True)
    fields = ["ProfileDescription", "Model", "DateTimeOriginal", "Title"]
    for src_ext, src in sources.items():
        want = exif_fields(src, *fields)
        profile = subprocess.run(["exiftool", "-b", "-ICC_Profile", src], capture_output=True).stdout
        check(profile == open(icc, "rb").read(), "the %s source holds the profile" % src_ext)
        for ext in ("jpg", "tif", "png"):
            out = os.path.join(WORK, "from-%s.%s" % (src_ext, ext))
            rc, _, err = run(src, "-o", out, "-q")
            check(rc == 0, "%s into %s (%s)" % (src_ext, ext, err.strip()))
            got = exif_fields(out, *fields)
            check(got == want, "%s into %s keeps %s (got %s)" % (src_ext, ext, want, got))
            check(subprocess.run(["exiftool", "-b", "-ICC_Profile", out], capture_output=True).stdout
                  == profile, "%s into %s keeps the profile byte for byte" % (src_ext, ext))
            if ext != "png":
                check(exif_fields(out, "Keywords") == ["harbour"], "%s into %s keeps IPTC" % (src_ext, ext))
            check(not exif_fields(out, "ThumbnailImage"), "%s into %s drops the thumbnail" % (src_ext, ext))
    check(exif_fields(os.path.join(WORK, "from-png.png"), "Comment") == ["shot at low tide"],
          "PNG text chunks are kept")
    check(exif_fields(os.path.join(WORK, "from-tif.jpg"), "BitsPerSample", "StripOffsets") == ["8"],
          "a TIFF's own layout tags do not follow it into a JPEG")


def case_batch():
    # Two threads make two lanes of photos side by side, one engine thread each, on any machine.
    os.environ["GW_THREADS"] = "2"
    names = ["a.png", "b.png", "c.png"]
    for i, name in enumerate(names):
        write_png(os.path.join(WORK, name), 24, 16, 3, 8, synthetic_photo(24, 16))
    with open(os.path.join(WORK, "b.png"), "wb") as f:
        f.write(b"\\x89PNG\\r\\n\\x1a\\nbroken")
    inputs = [os.path.join(WORK, n) for n in names]
    folder = os.path.join(WORK, "out", "deep")
    rc, _, err = run(*inputs, "-o", folder, "--format", "tif", "-q")
    check(rc == 1 and "b.png" in err, "a bad file in the middle fails the batch, named (%s)" % err.strip())
    made = sorted(os.listdir(folder))
    check(made == ["a.tif", "c.tif"], "the others are written into the new folder: %s" % made)
    # --no-clobber leaves what exists alone and still does the rest.
    os.remove(os.path.join(folder, "c.tif"))
    with open(os.path.join(folder, "a.tif"), "wb") as f:
        f.write(b"mine")
    good = [inputs[0], inputs[2]]
    rc, _, err = run(*good, "-o", folder, "--format", "tif", "--no-clobber", "-q")
    check(rc == 0 and open(os.path.join(folder, "a.tif"), "rb").read() == b"mine"
          and os.path.exists(os.path.join(folder, "c.tif")), "--no-clobber keeps a.tif (%s)" % err.strip())
    # Inputs are never outputs of a batch; a single run into a folder names its file.
    before = open(inputs[0], "rb").read()
    rc, _, err = run(*good, "-o", WORK, "-q")
    check(rc == 1 and "overwrite an input" in err and open(inputs[0], "rb").read() == before,
          "a batch does not overwrite its inputs (%s)" % err.strip())
    rc, _, err = run(inputs[0], "-o", folder, "-q")
    check(rc == 0 and os.path.exists(os.path.join(folder, "a.png")), "one input into a folder")
    rc, _, err = run(*good, "-o", inputs[2], "-q")
    check(rc == 2, "several inputs into a file is a usage error (%s)" % err.strip())
    # Photos of one size share an engine in a batch; each result must have the bits of its own
    # run (different scenes estimate different output ranges), also around a photo of another size,
    # whichever lane takes it.
    base = synthetic_photo(64, 48)
    scenes = {"p1.png": (64, 48, base),
              "p2.png": (64, 48, [min(255, round(v * 0.55 + 40)) for v in base]),
              "q.png": (48, 64, synthetic_photo(48, 64)),
              "p3.png": (64, 48, [255 - v for v in base])}
    for name, (w, h, samples) in scenes.items():
        write_png(os.path.join(WORK, name), w, h, 3, 8, samples)
    shared = os.path.join(WORK, "shared")
    rc, _, err = run(*[os.path.join(WORK, n) for n in scenes], "-o", shared, "--format", "pfm", "-q")
    check(rc == 0, "a batch of same-size photos runs (%s)" % err.strip())
    for name in scenes:
        alone = os.path.join(WORK, "alone-" + name[:-4] + ".pfm")
        rc, _, err = run(os.path.join(WORK, name), "-o", alone, "-q")
        check(rc == 0 and same_bytes(alone, os.path.join(shared, name[:-4] + ".pfm")),
              "%s in a batch gives the bits of its own run (%s)" % (name, err.strip()))
    leftovers = [n for d, _, fs in os.walk(WORK) for n in fs if ".partial" in n]
    check(not leftovers, "no partial files are left behind: %s" % leftovers)


def case_interrupt():
    # Large and paged, so the run is still going when the signal comes, however fast the engine.
    width, height = 6000, 4000
    source = os.path.join(WORK, "big.pfm")
    row = array.array("f", [0.1 + 0.8 * c / width for c in range(width)])
    with open(source, "wb") as f:
        f.write(b"Pf\n%d %d\n%s\n" % (width, height, b"-1.0" if sys.byteorder == "little" else b"1.0"))
        for _ in range(height):
            row.tofile(f)
    target = os.path.join(WORK, "big-out.pfm")
    proc = subprocess.Popen([TOOL, source, "-o", target, "--memory", "paged"], stderr=subprocess.PIPE, text=True)
    time.sleep(1.0)
    if proc.poll() is not None:
        print("the run ended before it could be interrupted")
        sys.exit(77)
    proc.send_signal(signal.SIGINT)
    _, err = proc.communicate(timeout=120)
    check(proc.returncode == 130 and "interrupted" in err,
          "an interrupt stops the run (%d: %s)" % (proc.returncode, err.strip()))
    check(not os.path.exists(target), "an interrupted run writes nothing")


if __name__ == "__main__":
    TOOL, WORK, CASE = sys.argv[1], sys.argv[2], sys.argv[3]
    WORK = os.path.join(WORK, CASE)
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    globals()["case_" + CASE]()
    if failures:
        sys.exit(1)
    shutil.rmtree(WORK, ignore_errors=True)
    print("ok")
