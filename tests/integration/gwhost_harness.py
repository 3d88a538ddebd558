"""Shared helpers of the gwhost scenarios: run gwhost under Wine, read its
trace, write small Netpbm images, collect failures.

Each scenario script is one ctest entry. It receives the paths with
--wine-run, --prefix, --gwhost, --plugin and --workdir, exits 0 when every
check passed, 1 when one failed, and 77 ("skipped") when the Windows program
cannot run on this machine (wine-run.sh exits 77 for x86 programs where 32-bit
code cannot run)."""

import argparse
import os
import re
import shlex
import subprocess
import sys

SKIP = 77


class Scenario:
    def __init__(self, description):
        parser = argparse.ArgumentParser(description=description)
        for name in ("wine-run", "prefix", "gwhost", "plugin", "workdir"):
            parser.add_argument("--" + name, required=True)
        parser.add_argument("--other-plugin", help="the plug-in built for the other architecture, if any")
        self.args = parser.parse_args()
        os.makedirs(self.args.workdir, exist_ok=True)
        self.failures = []
        self.runs = 0

    def path(self, name):
        return os.path.join(self.args.workdir, name)

    def gwhost(self, *arguments, expect_exit=0, timeout=360):
        """Runs gwhost with a fresh trace; returns a Run. A run that cannot
        execute here (exit 77) skips the whole scenario."""
        self.runs += 1
        trace = self.path("trace%02d.txt" % self.runs)
        if os.path.exists(trace):
            os.remove(trace)
        command = [self.args.wine_run, self.args.prefix, self.args.gwhost, *arguments, "--trace", trace]
        if "--timeout" not in arguments:
            # gwhost ends a hanging run itself (exit 3) and says so in its trace.
            command += ["--timeout", str(max(10, timeout - 60))]
        try:
            result = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
        except subprocess.TimeoutExpired as e:
            result = subprocess.CompletedProcess(command, -1, e.stdout or "", e.stderr or "")
            if isinstance(result.stdout, bytes):
                result.stdout = result.stdout.decode(errors="replace")
                result.stderr = result.stderr.decode(errors="replace")
        if result.returncode == SKIP:
            print("skipped: " + result.stderr.strip())
            sys.exit(SKIP)
        lines = []
        if os.path.exists(trace):
            with open(trace, encoding="utf-8", errors="replace") as f:
                lines = [line.rstrip("\r\n") for line in f]
        run = Run(command, result.returncode, result.stdout.replace("\r", ""), result.stderr.replace("\r", ""), lines)
        self.check(run.exit == expect_exit, "exit status %d, expected %d" % (run.exit, expect_exit), run)
        return run

    def check(self, condition, message, run=None):
        if not condition:
            text = message
            if run is not None:
                text += "\n  command: " + " ".join(shlex.quote(a) for a in run.command)
                text += "\n  stdout: " + run.stdout.strip().replace("\n", "\n          ")
                text += "\n  stderr: " + run.stderr.strip().replace("\n", "\n          ")
                text += "\n  trace:  " + "\n          ".join(run.trace)
            self.failures.append(text)
            print("FAIL: " + text)
        return condition

    def finish(self):
        if self.failures:
            print("%d check(s) failed" % len(self.failures))
            sys.exit(1)
        print("all checks passed (%d gwhost runs)" % self.runs)
        sys.exit(0)


class Run:
    def __init__(self, command, exit_status, stdout, stderr, trace):
        self.command = command
        self.exit = exit_status
        self.stdout = stdout
        self.stderr = stderr
        self.trace = trace

    def results(self):
        """(selector, code) of every entry-point call, in order."""
        return [(int(m.group(1)), int(m.group(2)))
                for m in (re.match(r"selector (-?\d+) result (-?\d+)$", line) for line in self.trace) if m]

    def selectors(self):
        return [s for s, _ in self.results()]

    def records(self, word):
        return [line for line in self.trace if line.split(" ", 1)[0] == word]


def write_netpbm(path, width, height, planes, maxval, samples, plain=False):
    """Writes a PGM (planes 1) or PPM (planes 3); samples row by row, interleaved."""
    assert len(samples) == width * height * planes
    magic = {(1, False): b"P5", (3, False): b"P6", (1, True): b"P2", (3, True): b"P3"}[(planes, plain)]
    with open(path, "wb") as f:
        f.write(magic + b"\n%d %d\n%d\n" % (width, height, maxval))
        if plain:
            f.write(" ".join(str(s) for s in samples).encode() + b"\n")
        elif maxval > 255:
            f.write(b"".join(s.to_bytes(2, "big") for s in samples))
        else:
            f.write(bytes(samples))


def gradient(width, height, planes, maxval):
    return [(r * 7 + c * 13 + p * 29) * maxval // (7 * height + 13 * width + 60) for r in range(height)
            for c in range(width) for p in range(planes)]
