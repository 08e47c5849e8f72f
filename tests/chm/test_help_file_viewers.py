#!/usr/bin/python3
"""Compiles the fixture site with quorlix-hhc and opens the help file in the
real viewers on a private Xvfb display. A viewer names a help file it has
loaded in its window title, by the title in #SYSTEM: "kchmviewer - <title>"
and "xCHM v. 1.35: <title>" (a file xchm cannot load leaves "xCHM v. 1.35").

test_help_file_viewers.py QUORLIX_HHC FIXTURE_SITE"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

TITLE = 'Quorlix Café'  # stored in Windows-1252; the viewers must show it as written
VIEWERS = [('kchmviewer', 'kchmviewer - ' + TITLE), ('xchm', 'xCHM v. 1.35: ' + TITLE)]
FILES = ['site/index.html', 'site/docs/guide.html', 'site/docs/café.html', 'site/docs/two words.html',
         'site/docs/deep/details.html', 'site/images/logo.png']
CONTENTS = '''<HTML><BODY><UL>
<LI><OBJECT type="text/sitemap"><param name="Name" value="Fixture site"><param name="Local" value="site/index.html"></OBJECT>
<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="Guide"><param name="Local" value="site/docs/guide.html"></OBJECT></UL>
</UL></BODY></HTML>
'''


def start_display(log):
    """A private Xvfb; returns it and its display name."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x900x24', '-nolisten', 'tcp'],
                              pass_fds=[write_end], stdout=log, stderr=log)
    os.close(write_end)
    number = b''
    while not number.endswith(b'\n'):
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    return server, ':' + number.decode().strip()


def window_titles(environment):
    found = subprocess.run(['xdotool', 'search', '--name', '.'], env=environment, capture_output=True, text=True)
    titles = []
    for window in found.stdout.split():
        name = subprocess.run(['xdotool', 'getwindowname', window], env=environment, capture_output=True, text=True)
        titles.append(name.stdout.strip())
    return titles


def main():
    compiler, site = sys.argv[1], sys.argv[2]
    faults = []
    with tempfile.TemporaryDirectory() as folder:
        shutil.copytree(site, os.path.join(folder, 'site'))
        with open(os.path.join(folder, 'output.hhc'), 'w') as out:
            out.write(CONTENTS)
        lines = ['[OPTIONS]', 'Compiled file=output.chm', 'Default topic=' + FILES[0],
                 'Language=0x089 English (standard)', 'Title=' + TITLE, 'Contents file=output.hhc', '',
                 '[FILES]'] + FILES + ['', '[INFOTYPES]', '']
        with open(os.path.join(folder, 'output.HHP'), 'w', encoding='utf-8') as out:
            out.write('\r\n'.join(lines))
        run = subprocess.run([compiler, os.path.join(folder, 'output.HHP')], capture_output=True, text=True)
        if run.returncode != 0:
            print('quorlix-hhc failed: ' + run.stdout + run.stderr)
            return 1

        with open(os.path.join(folder, 'x.log'), 'w') as log:
            server, display = start_display(log)
            environment = dict(os.environ, DISPLAY=display, HOME=folder, XDG_CONFIG_HOME=folder)
            environment.pop('QT_QPA_PLATFORM', None)
            try:
                for viewer, wanted in VIEWERS:
                    shown = subprocess.Popen([viewer, os.path.join(folder, 'output.chm')], env=environment,
                                             stdout=log, stderr=log)
                    titles = []
                    deadline = time.monotonic() + 60
                    while wanted not in titles and time.monotonic() < deadline and shown.poll() is None:
                        time.sleep(0.5)
                        titles = window_titles(environment)
                    if wanted not in titles:
                        faults.append('%s shows %r, not %r' % (viewer, titles, wanted))
                    shown.terminate()
                    try:
                        shown.wait(10)
                    except subprocess.TimeoutExpired:
                        shown.kill()
                        shown.wait()
            finally:
                server.terminate()
                server.wait()
    for fault in faults:
        print(fault)
    print('%d faults' % len(faults))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
