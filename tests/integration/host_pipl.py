"""gwhost info on the real plug-in: the ten PiPL properties with their values,
in order, the entry point of this architecture, and the scripting dictionary.
The plug-in of the other architecture (given with --other-plugin, where it was
built) is read as data by the same host and checked the same way."""

import os
import re

from gwhost_harness import Scenario

s = Scenario(__doc__)


def check_module(path, own):
    run = s.gwhost("info", path)
    out = run.stdout.splitlines()
    props = [line for line in out if line.startswith("property ")]
    host64 = bool(run.trace) and "host x64" in run.trace[0]
    module64 = host64 if own else not host64
    entry_key = "'8664'" if module64 else "'wx86'"
    label = "%s module: " % ("x64" if module64 else "x86")
    s.check(own or out[:1] == ["module mapped as data: built for another architecture than this %s host"
                               % ("x64" if host64 else "x86")], label + "read as data", run)
    s.check("pipl prefix 1 version 0 properties 10 trailing 0" in out,
            label + "PiPL header: prefix 1, version 0, ten properties, nothing after them", run)
    expected = [
        "property 1 'kind' length 4 '8BFM'",
        "property 2 'name' length 20 \"Gladewick Pro...\"",
        "property 3 'catg' length 24 \"Corvane Technologies\"",
        "property 4 'vers' length 4 4.0 (0x00040000)",
        "property 5 %s length 12 \"PluginMain\"" % entry_key,
        "property 6 'mode' length 4 0x50 0x00 0x00 0x00 = GrayScaleMode RGBMode",
        None,  # hstm, checked below
        "property 8 'enbl' length 72 \"in (PSHOP_ImageMode, RGBMode, RGB48Mode, GrayScaleMode, Gray16Mode)\"",
        "property 9 'ms32' length 8 rows 2000000 columns 2000000",
        "property 10 'fici' length 28 " + " ".join(
            "case%d in 4 out 4 flags 0x%02X 0x00" % (i + 1, flag)
            for i, flag in enumerate([0x01, 0x09, 0x09, 0x01, 0x09, 0x01, 0x09])),
    ]
    s.check(len(props) == 10, label + "ten properties listed, found %d" % len(props), run)
    for want, got in zip(expected, props):
        if want is not None:
            s.check(got == want, label + "expected %r, got %r" % (want, got))
    if len(props) >= 7:
        s.check(re.fullmatch(r"property 7 'hstm' length 56 version 0 class 'qvtz' event 'qvtz' aete 16000 scope "
                             r"\"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\"", props[6]) is not None,
                label + "hstm: version 0, class and event 'qvtz', AETE 16000, a GUID scope; got %r" % props[6])
    state = "exported" if own else "not callable by this host"
    s.check("entry %s \"PluginMain\" %s" % (entry_key, state) in out, label + "entry point " + state, run)
    s.check(any(line.startswith("resource PIPL 16000 language 1033 ") for line in out),
            label + "PIPL 16000, language 1033", run)
    s.check(any(line.startswith("resource AETE 16000 language 1033 ") for line in out),
            label + "AETE 16000, language 1033", run)
    for want in [
        "aete prefix 1 version 1.0 language 0 script 0 suites 1 trailing 0",
        "suite \"Corvane Technologies\" \"Gladewick\" id 'qvtz' level 1 version 1 events 1 classes 0 "
        "comparisons 0 enumerations 0",
        "event \"Gladewick Pro\" \"Gladewick plugin\" class 'qvtz' id 'qvtz' reply 'null' \"\" 0x0000 "
        "direct '#ImR' \"\" 0xB000 parameters 3",
        "parameter \"Amnt\" key 'Amnt' type 'long' \"Illumination amount\" flags 0x0000",
        "parameter \"FM\" key 'Md  ' type 'bool' \"FastMode\" flags 0x0000",
        "parameter \"Fl\" key 'Fl  ' type 'long' \"Fill Light\" flags 0x0000",
    ]:
        s.check(want in out, label + "AETE line missing: %r" % want, run)
    return out


own = check_module(s.args.plugin, True)
if s.args.other_plugin and os.path.exists(s.args.other_plugin):
    other = check_module(s.args.other_plugin, False)
    scope = [line for line in own if line.startswith("property 7 ")]
    s.check(scope == [line for line in other if line.startswith("property 7 ")],
            "both builds carry the same terminology scope GUID")
else:
    print("no plug-in of the other architecture to read (%s)" % s.args.other_plugin)
s.finish()
