#!/usr/bin/env python3
"""The user manual against the product: the menu category it names is the one
in the plug-in's properties, it makes no claims the filter contradicts (Speed
saving memory, an action's shown dialog taking the recorded values), and it
holds the picture of the dialog.

usage: check_manual.py MANUAL.pdf PluginProperties.rc"""

import re
import subprocess
import sys


def main():
    manual, properties = sys.argv[1], sys.argv[2]
    text = " ".join(subprocess.run(["pdftotext", manual, "-"], capture_output=True, text=True,
                                   check=True).stdout.split())
    with open(properties, encoding="latin-1") as f:
        rc = f.read()
    category = re.search(r'// catg[^\n]*\n\s*"\\[0-7]{3}([^"]+)"', rc).group(1)
    failures = []
    if "filter menu under " + category not in text:
        failures.append("the manual does not send the user to the menu category %r" % category)
    for claim in ("uses less memory", "dialog starts with the recorded values"):
        if claim in text:
            failures.append("the manual still says %r" % claim)
    images = subprocess.run(["pdfimages", "-list", manual], capture_output=True, text=True, check=True).stdout
    if len(images.strip().splitlines()) < 3:
        failures.append("the manual holds no picture of the dialog")
    for failure in failures:
        print("FAIL: " + failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
