#!/usr/bin/env python3
"""Reads the resources of a built Plugferry.exe (x86 or x64) back from the file
and checks the dialogs, the icon and the string that the program relies on.

Usage: check_resources.py Plugferry.exe     (exit 0 when everything matches)
"""
import struct
import sys

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON = 3, 5, 6, 14


def resources(data):
    """{(type, id): bytes} of the first language of every resource."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    count = struct.unpack_from('<H', data, pe + 6)[0]
    optional = struct.unpack_from('<H', data, pe + 20)[0]
    sections = pe + 24 + optional
    for i in range(count):
        name, vsize, va, rsize, raw = struct.unpack_from('<8sIIII', data, sections + 40 * i)
        if name.rstrip(b'\0') == b'.rsrc':
            break
    else:
        raise SystemExit('no resource section')

    def directory(offset):
        named, ids = struct.unpack_from('<HH', data, raw + offset + 12)
        for k in range(named + ids):
            yield struct.unpack_from('<II', data, raw + offset + 16 + 8 * k)

    found = {}
    for rtype, to in directory(0):
        for rid, io in directory(to & 0x7FFFFFFF):
            _lang, lo = next(directory(io & 0x7FFFFFFF))
            rva, size = struct.unpack_from('<II', data, raw + lo)
            start = raw + rva - va
            found[(rtype, rid)] = data[start:start + size]
    return found


def wide(data, pos):
    end = pos
    while data[end:end + 2] != b'\0\0':
        end += 2
    return data[pos:end].decode('utf-16-le'), end + 2


def name_or_id(data, pos):
    if data[pos:pos + 2] == b'\xff\xff':
        return struct.unpack_from('<H', data, pos + 2)[0], pos + 4
    return wide(data, pos)


def dialog(data):
    """(header dict, [item dicts]) of an extended dialog template."""
    ver, sig, _help, exstyle, style, items, x, y, cx, cy = struct.unpack_from('<HHIIIHhhhh', data, 0)
    assert (ver, sig) == (1, 0xFFFF), 'not an extended template'
    pos = 26
    _menu, pos = name_or_id(data, pos)
    _cls, pos = name_or_id(data, pos)
    title, pos = wide(data, pos)
    points, _weight, _italic, _charset = struct.unpack_from('<HHBB', data, pos)
    font, pos = wide(data, pos + 6)
    head = dict(exstyle=exstyle, style=style, rect=(x, y, cx, cy), title=title, font=(font, points))
    controls = []
    for _ in range(items):
        pos = (pos + 3) & ~3
        _help, iex, istyle, ix, iy, icx, icy, cid = struct.unpack_from('<IIIhhhhI', data, pos)
        cls, pos = name_or_id(data, pos + 24)
        text, pos = name_or_id(data, pos)
        extra = struct.unpack_from('<H', data, pos)[0]
        pos += 2 + extra
        controls.append(dict(id=cid if cid < 0x80000000 else -1, cls=cls, text=text, style=istyle,
                             rect=(ix, iy, icx, icy)))
    return head, controls


def string(table, sid):
    block = table[(RT_STRING, sid // 16 + 1)]
    pos = 0
    for _ in range(sid % 16):
        pos += 2 + 2 * struct.unpack_from('<H', block, pos)[0]
    length = struct.unpack_from('<H', block, pos)[0]
    return block[pos + 2:pos + 2 + 2 * length].decode('utf-16-le')


BUTTON, STATIC, LISTBOX = 0x80, 0x82, 0x83


def check(path):
    table = resources(open(path, 'rb').read())
    failures = []

    def expect(what, got, want):
        if got != want:
            failures.append(f'{what}: {got!r}, expected {want!r}')

    head, controls = dialog(table[(RT_DIALOG, 102)])
    expect('dialog 102 style', hex(head['style']), hex(0x90C800C8))
    expect('dialog 102 extended style', hex(head['exstyle']), hex(0x00040000))
    expect('dialog 102 size', head['rect'][2:], (465, 154))
    expect('dialog 102 caption', head['title'], 'Copy Plugin')
    expect('dialog 102 font', head['font'], ('MS Shell Dlg', 8))
    by_id = {c['id']: c for c in controls}
    want = {
        1: (BUTTON, 'OK', (408, 18, 50, 16)),
        2: (BUTTON, 'Cancel', (408, 36, 50, 16)),
        1000: (LISTBOX, '', (7, 84, 391, 62)),
        1005: (STATIC, None, (8, 57, 390, 27)),
        1004: (STATIC, 'The Gladewick Plugin is installed at the following location:', (7, 6, 212, 8)),
        1002: (BUTTON, 'Add...', (408, 91, 50, 14)),
        1003: (STATIC, 'Static', (7, 20, 391, 26)),
    }
    for cid, (cls, text, rect) in want.items():
        control = by_id.get(cid)
        if control is None:
            failures.append(f'dialog 102 has no control {cid}')
            continue
        expect(f'control {cid} class', control['cls'], cls)
        expect(f'control {cid} position', control['rect'], rect)
        if text is not None:
            expect(f'control {cid} text', control['text'], text)
    expect('OK is the default button', by_id[1]['style'] & 0xF, 1)   # BS_DEFPUSHBUTTON
    # Sorted, no selection, notify, no integral height, both scroll bars, border, tab stop.
    list_style = 0x2 | 0x4000 | 0x1 | 0x100 | 0x00200000 | 0x00100000 | 0x00800000 | 0x00010000
    expect('list style', hex(by_id[1000]['style'] & list_style), hex(list_style))
    expect('location box is sunken', by_id[1003]['style'] & 0x1000, 0x1000)

    head, controls = dialog(table[(RT_DIALOG, 100)])
    expect('dialog 100 style', hex(head['style']), hex(0x80C800C8))
    expect('dialog 100 size', head['rect'][2:], (306, 62))
    expect('dialog 100 caption', head['title'], 'About Plugferry')
    by_id = {c['id']: c for c in controls}
    expect('about icon', [(c['text'], c['rect']) for c in controls if c['text'] == 128],
           [(128, (7, 7, 20, 20))])
    expect('version line', (by_id[1006]['rect'], by_id[1006]['style'] & 0x8F),
           ((53, 21, 184, 8), 0x81))   # SS_CENTER | SS_NOPREFIX
    expect('about OK', by_id[1]['rect'], (249, 7, 50, 16))

    group = table[(RT_GROUP_ICON, 128)]
    count = struct.unpack_from('<H', group, 4)[0]
    sizes = sorted((group[6 + 14 * i], group[6 + 14 * i + 2]) for i in range(count))
    expect('icon 128 images (size, colours)', sizes, [(16, 16), (32, 16)])
    expect('string 101', string(table, 101), '&About Plugferry...')

    for failure in failures:
        print(f'{path}: {failure}')
    return not failures


if __name__ == '__main__':
    ok = all(check(p) for p in sys.argv[1:])
    print('resources match' if ok else 'resources differ')
    sys.exit(0 if ok else 1)
