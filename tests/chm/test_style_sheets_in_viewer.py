#!/usr/bin/python3
"""A small site whose look comes through a chain of imported style sheets,
compiled by quorlix-hhc and shown in kchmviewer on a private Xvfb display.
The screenshot must show the imported colour, the background image that an
imported sheet names relative to itself, and the web font it declares.

usage: test_style_sheets_in_viewer.py QUORLIX-HHC [--keep FOLDER]
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

from test_help_file_readers import start_display

FONT = '/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf'
COLOUR = (0x12, 0xAB, 0x34)   # from a sheet two imports deep
PICTURE = (0xC8, 0x32, 0x96)  # the background image's only colour
FONT_BACK = (0xFF, 0x00, 0xFF)  # behind the text in the web font

SHEETS = {
    'site/_static/theme.css': '@import url("base/colours.css") screen;\nbody { margin: 8px }\n',
    'site/_static/base/colours.css': '@charset "utf-8";\n@import "../deco/deco.css";\n#colour { background: #12ab34 }\n',
    'site/_static/deco/deco.css': ('@font-face { font-family: "Probe"; src: url("fonts/mono.ttf") }\n'
                                   '#picture { background-image: url(img/dot.png) }\n'
                                   '#font { font: 40px "Probe", serif; background: #ff00ff }\n'),
}
PAGE = ('<html><head><title>Sheets</title><link rel="stylesheet" href="../_static/theme.css"></head><body>'
        '<div id="colour" style="width:150px;height:60px">colour</div>'
        '<div id="picture" style="width:150px;height:60px">picture</div>'
        '<span id="font">iiiiiiiiii</span></body></html>')


def png(rgb):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    rows = b''.join(b'\x00' + bytes(rgb) * 8 for _ in range(8))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 8, 8, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))


def write_site(folder):
    files = {'site/pages/index.html': PAGE.encode(), 'site/_static/deco/img/dot.png': png(PICTURE)}
    files.update({name: text.encode() for name, text in SHEETS.items()})
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), 'wb') as out:
            out.write(data)
    os.makedirs(os.path.join(folder, 'site/_static/deco/fonts'))
    shutil.copy(FONT, os.path.join(folder, 'site/_static/deco/fonts/mono.ttf'))
    listed = sorted(files) + ['site/_static/deco/fonts/mono.ttf']
    with open(os.path.join(folder, 'output.hhp'), 'w') as project:
        project.write('[OPTIONS]\nCompiled file=output.chm\nDefault topic=site/pages/index.html\nTitle=Sheets\n'
                      'Language=0x409 English (United States)\n\n[FILES]\n' + '\n'.join(listed) + '\n')


def read_ppm(path):
    with open(path, 'rb') as file:
        data = file.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[at + 1:]


def measure(path):
    """Pixels of the colour and of the picture, and the longest run of the
    font's background in one row (the text's width)."""
    width, height, pixels = read_ppm(path)
    colour = picture = longest = 0
    for y in range(height):
        row = pixels[3 * width * y:3 * width * (y + 1)]
        colour += row.count(bytes(COLOUR))
        picture += row.count(bytes(PICTURE))
        run = 0
        for x in range(0, len(row), 3):
            run = run + 1 if row[x:x + 3] == bytes(FONT_BACK) else 0
            longest = max(longest, run)
    return colour, picture, longest


def main():
    compiler = sys.argv[1]
    keep = sys.argv[sys.argv.index('--keep') + 1] if '--keep' in sys.argv else None
    if not os.path.exists(FONT) or not shutil.which('kchmviewer'):
        print('SKIP: needs kchmviewer and %s' % FONT)
        return 0
    with tempfile.TemporaryDirectory() as folder:
        write_site(folder)
        run = subprocess.run([compiler, os.path.join(folder, 'output.hhp')], capture_output=True, text=True)
        if run.returncode != 0:
            print('quorlix-hhc failed: ' + run.stdout + run.stderr)
            return 1
        shot = os.path.join(folder, 'shot.ppm')
        with open(os.path.join(folder, 'x.log'), 'w') as log:
            server, display = start_display(log)
            environment = dict(os.environ, DISPLAY=display, HOME=folder, XDG_CONFIG_HOME=folder)
            environment.pop('QT_QPA_PLATFORM', None)
            viewer = subprocess.Popen(['kchmviewer', os.path.join(folder, 'output.chm')], env=environment,
                                      stdout=log, stderr=log, start_new_session=True)
            try:
                # Ten 'i' in the monospaced web font are as wide as ten 'M';
                # in the serif fallback they are less than half that.
                wanted = lambda found: found[0] > 4000 and found[1] > 4000 and found[2] > 200
                found = (0, 0, 0)
                deadline = time.monotonic() + 60
                while not wanted(found) and time.monotonic() < deadline and viewer.poll() is None:
                    time.sleep(1)
                    subprocess.run(['import', '-window', 'root', '-depth', '8', 'ppm:' + shot], env=environment,
                                   stdout=log, stderr=log, timeout=20)
                    if os.path.exists(shot):
                        found = measure(shot)
            finally:
                os.killpg(viewer.pid, 15)
                viewer.wait()
                server.terminate()
                server.wait()
        if keep and os.path.exists(shot):
            shutil.copy(shot, keep)
    print('colour %d px, picture %d px, text in the web font %d px wide' % found)
    faults = [what for what, ok in (('the imported colour', found[0] > 4000), ('the background image', found[1] > 4000),
                                    ('the web font', found[2] > 200)) if not ok]
    for fault in faults:
        print('kchmviewer does not show ' + fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
