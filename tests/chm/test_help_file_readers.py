#!/usr/bin/python3
"""Compiles the fixture site with quorlix-hhc and reads the help file back
through Debian's python3-chm (chmlib) as help viewers do: the title, default
topic, language and contents and index files named in #SYSTEM; the contents
and index read back byte for byte; every topic's title and page through
#TOPICS, #STRINGS, #URLTBL and #URLSTR; and search hits.

With --viewers it opens the first project's help file in the real viewers on
a private Xvfb display instead. A viewer names a help file it has loaded in
its window title: "kchmviewer - <title>", "xCHM v. 1.35: <title>" (a file
xchm cannot load leaves just "xCHM v. 1.35").

test_help_file_readers.py QUORLIX_HHC FIXTURE_SITE [--viewers]"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from html.parser import HTMLParser

from chm import chm, chmlib

# [FILES] in the order a download saves them; pages with their titles.
FILES = ['site/index.html', 'site/docs/guide.html', 'site/docs/café.html', 'site/docs/two words.html',
         'site/docs/deep/details.html', 'site/images/logo.png']
TOPICS = [('site/index.html', 'Fixture site'), ('site/docs/guide.html', 'Guide'), ('site/docs/café.html', 'Café'),
          ('site/docs/two words.html', 'Two words'), ('site/docs/deep/details.html', 'Details')]

CONTENTS = '''<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">
<HTML><HEAD></HEAD><BODY>
<OBJECT type="text/site properties"></OBJECT>
<UL>
<LI><OBJECT type="text/sitemap"><param name="Name" value="Fixture site"><param name="Local" value="site/index.html"></OBJECT>
<UL>
<LI><OBJECT type="text/sitemap"><param name="Name" value="Caf&#233;"><param name="Local" value="site/docs/café.html"></OBJECT>
</UL>
</UL>
</BODY></HTML>
'''
INDEX = '''<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">
<HTML><HEAD></HEAD><BODY>
<UL>
<LI><OBJECT type="text/sitemap"><param name="Name" value="Guide"><param name="Local" value="site/docs/guide.html"></OBJECT>
<LI><OBJECT type="text/sitemap"><param name="Name" value="caf&eacute;"><param name="Local" value="site/docs/café.html">
<param name="Name" value="caf&eacute;"><param name="Local" value="site/index.html"></OBJECT>
<UL>
<LI><OBJECT type="text/sitemap"><param name="Name" value="Details"><param name="Local" value="site/docs/deep/details.html#more"></OBJECT>
</UL>
</UL>
</BODY></HTML>
'''
# The index's place that is no whole page gets a topic of its own, after the others.
INDEX_TOPICS = [('site/docs/deep/details.html#more', 'café, Details')]
README = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'chm', 'README.md')

# name: (title, with contents, index and search, search word and the page it is on, pages in Windows-1252)
PROJECTS = {
    'contents, index and search': ('Quorlix Café', True, [('back', 'site/docs/deep/details.html'),
                                                     ('blank', 'site/index.html')], False),
    'bare': ('Quorlix', False, [], False),
    'pages in Windows-1252': ('Quorlix Café', False, [], True),
}

faults = []


def check(condition, message):
    if not condition:
        faults.append(message)
    return condition


def ansi(text, windows1252):
    # Quorlix's "0x089" is no language viewers know, so strings stay UTF-8,
    # unless most pages are Windows-1252: then the file is English, in that code page.
    return text.encode('cp1252') if windows1252 else text.encode()


def read_whole(help_file, name):
    result, unit = chmlib.chm_resolve_object(help_file.file, name.encode())
    if result != chmlib.CHM_RESOLVE_SUCCESS:
        return None
    if unit.length == 0:
        return b''
    size, data = chmlib.chm_retrieve_object(help_file.file, unit, 0, unit.length)
    return data[:size]


def c_string(data, offset):
    end = data.find(b'\0', offset)
    return data[offset:end if end >= 0 else len(data)]


def dword(data, offset):
    return struct.unpack_from('<I', data, offset)[0]


def write_project(folder, title, full):
    lines = ['[OPTIONS]', 'Compatibility=1.1 or later', 'Compiled file=output.chm', 'Default topic=' + FILES[0],
             'Display compile progress=No', 'Language=0x089 English (standard)', 'Title=' + title]
    if full:
        lines += ['Contents file=output.hhc', 'Index file=output.hhk', 'Full-text search=Yes', 'Default Font=Arial, 9, 0']
        with open(os.path.join(folder, 'output.hhc'), 'wb') as out:
            out.write(CONTENTS.encode())
        with open(os.path.join(folder, 'output.hhk'), 'wb') as out:
            out.write(INDEX.encode())
    lines += ['', '[FILES]'] + FILES + ['', '[INFOTYPES]', '', '']
    with open(os.path.join(folder, 'output.HHP'), 'wb') as out:
        out.write('\r\n'.join(lines).encode())


def check_help_file(name, path, title, full, searches, windows1252):
    help_file = chm.CHMFile()
    if not check(help_file.LoadCHM(path.encode()), name + ': python3-chm cannot open it'):
        return
    # The project's language is kept as written, unless the pages are Windows-1252.
    language = 0x0409 if windows1252 else 0x0089
    check(help_file.lcid == language, '%s: language %r, not %r' % (name, help_file.lcid, language))
    check(help_file.title == ansi(title, windows1252), '%s: title %r' % (name, help_file.title))
    check(help_file.home == b'/' + FILES[0].encode(), '%s: default topic %r' % (name, help_file.home))
    for wanted, got, named in ((CONTENTS.encode(), help_file.GetTopicsTree(), help_file.topics),
                               (INDEX.encode(), help_file.GetIndex(), help_file.index)):
        if full:
            check(named in (b'/output.hhc', b'/output.hhk'), '%s: names %r' % (name, named))
            check(got == wanted, '%s: %r does not read back as it was' % (name, named))
        else:
            check(not named, '%s: names %r, though the project has none' % (name, named))

    tables = {table: read_whole(help_file, '/#' + table) for table in ('TOPICS', 'STRINGS', 'URLTBL', 'URLSTR')}
    if not all(check(data is not None, '%s: #%s is missing' % (name, table)) for table, data in tables.items()):
        return
    # Pages in their order, then the contents and index files, untitled.
    expected = TOPICS + ([('output.hhc', ''), ('output.hhk', '')] + INDEX_TOPICS if full else [])
    topics = tables['TOPICS']
    check(len(topics) == 16 * len(expected), '%s: %d topics, not %d' % (name, len(topics) // 16, len(expected)))
    for number, (page, page_title) in enumerate(expected[:len(topics) // 16]):
        title_at = dword(topics, number * 16 + 4)
        url_entry = dword(topics, number * 16 + 8)
        got_title = b'' if title_at == 0xffffffff else c_string(tables['STRINGS'], title_at)
        check(got_title == ansi(page_title, windows1252), '%s: topic %d has the title %r' % (name, number, got_title))
        check(dword(tables['URLTBL'], url_entry + 4) == number, '%s: #URLTBL names another topic' % name)
        url = c_string(tables['URLSTR'], dword(tables['URLTBL'], url_entry + 8) + 8)
        check(url == page.encode(), '%s: topic %d is %r, not %s' % (name, number, url, page))
        result, _ = chmlib.chm_resolve_object(help_file.file, b'/' + url.split(b'#')[0])
        check(result == chmlib.CHM_RESOLVE_SUCCESS, '%s: topic %d names %r, not stored' % (name, number, url))

    if full:
        check_binary_index(help_file, name, tables)
        check_internal_files(help_file, name)
    check(bool(help_file.IsSearchable()) == full, '%s: searchable is %r' % (name, help_file.IsSearchable()))
    for word, page in searches:
        found = help_file.Search(word.encode())
        pages = set(found[1].values()) if found else set()
        check(pages == {page.encode()}, '%s: searching %r finds %r, not %s' % (name, word, sorted(pages), page))
    help_file.CloseCHM()


class SitemapKeywords(HTMLParser):
    """The index file's keywords as viewers read the text: (keyword, places),
    a nested keyword as "Parent, Child"."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.keywords, self.parents, self.current, self.pending = [], [], None, None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == 'ul' and self.pending:
            self.parents.append(self.pending)
        elif tag == 'object' and attrs.get('type') == 'text/sitemap':
            self.current = {'name': None, 'places': []}
        elif tag == 'param' and self.current is not None:
            if attrs.get('name') == 'Name' and self.current['name'] is None:
                self.current['name'] = attrs.get('value')
            elif attrs.get('name') == 'Local':
                self.current['places'].append(attrs.get('value'))

    def handle_endtag(self, tag):
        if tag == 'object' and self.current is not None:
            text = ', '.join(self.parents + [self.current['name']])
            self.keywords.append((text, sorted(set(self.current['places']))))
            self.pending, self.current = text, None
        elif tag == 'ul' and self.parents:
            self.pending = self.parents.pop()


def binary_keywords(tree, topic_url):
    """(keyword, places) from $WWKeywordLinks/BTree, walking its listing blocks."""
    block_size, last_listing = struct.unpack_from('<H', tree, 4)[0], dword(tree, 0x1a)
    keywords = []
    block = 0
    while block != 0xffffffff and block <= last_listing:
        at = 0x4c + block * block_size
        entries, following = struct.unpack_from('<H', tree, at + 2)[0], dword(tree, at + 8)
        at += 12
        for _ in range(entries):
            end = at
            while tree[end:end + 2] != b'\0\0':
                end += 2
            text = tree[at:end].decode('utf-16-le')
            pairs = dword(tree, end + 14)
            topics = [dword(tree, end + 18 + 4 * i) for i in range(pairs)]
            keywords.append((text, sorted(set(topic_url(topic) for topic in topics))))
            at = end + 18 + 4 * pairs + 8
        block = following
    return keywords


def check_binary_index(help_file, name, tables):
    """The binary index holds the text index's keywords and places."""
    tree = read_whole(help_file, '/$WWKeywordLinks/BTree')
    if not check(tree, name + ': no binary index'):
        return

    def topic_url(topic):
        entry = dword(tables['TOPICS'], topic * 16 + 8)
        return c_string(tables['URLSTR'], dword(tables['URLTBL'], entry + 8) + 8).decode()

    text = SitemapKeywords()
    text.feed(INDEX)
    got, wanted = binary_keywords(tree, topic_url), text.keywords
    check(sorted(got) == sorted(wanted), '%s: the binary index holds %r, the index file %r' % (name, got, wanted))
    check([k for k, _ in got] == sorted((k for k, _ in got), key=str.lower),
          '%s: the binary index is not in order: %r' % (name, got))


def documented_items():
    """The internal files and #SYSTEM codes chm/README.md says quorlix-hhc writes."""
    files, codes = set(), set()
    with open(README, encoding='utf-8') as readme:
        for line in readme:
            cells = [cell.strip() for cell in line.strip().strip('|').split('|')]
            if len(cells) != 4 or not cells[0].startswith('`') or cells[2] == 'no':
                continue
            item = cells[0].split('`')
            if item[1] == '#SYSTEM':
                codes.add(int(item[2].split()[0]))
            else:
                files.add(item[1])
    return files, codes


def check_internal_files(help_file, name):
    found = []

    def listed(_, unit, __):
        found.append(unit.path.decode())
        return chmlib.CHM_ENUMERATOR_CONTINUE

    chmlib.chm_enumerate(help_file.file, chmlib.CHM_ENUMERATE_ALL, listed, None)
    internal = {path for path in found if path.startswith(('/#', '/$', '::')) and not path.endswith('/')}
    system = read_whole(help_file, '/#SYSTEM')
    codes, at = set(), 4
    while at + 4 <= len(system):
        code, length = struct.unpack_from('<HH', system, at)
        codes.add(code)
        at += 4 + length
    files, documented_codes = documented_items()
    check(internal == files, '%s: internal files %s, chm/README.md lists %s' % (name, sorted(internal), sorted(files)))
    check(codes == documented_codes, '%s: #SYSTEM codes %s, chm/README.md lists %s'
          % (name, sorted(codes), sorted(documented_codes)))


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
    return [subprocess.run(['xdotool', 'getwindowname', window], env=environment, capture_output=True,
                           text=True).stdout.strip() for window in found.stdout.split()]


def check_viewers(folder, path, title):
    with open(os.path.join(folder, 'x.log'), 'w') as log:
        server, display = start_display(log)
        environment = dict(os.environ, DISPLAY=display, HOME=folder, XDG_CONFIG_HOME=folder)
        environment.pop('QT_QPA_PLATFORM', None)
        try:
            # xchm reads the strings of a help file in a language it does not
            # know as Latin-1 (kchmviewer, the viewer Quorlix opens, as UTF-8).
            latin1 = title.encode().decode('latin-1')
            for viewer, wanted in (('kchmviewer', 'kchmviewer - ' + title), ('xchm', 'xCHM v. 1.35: ' + latin1)):
                shown = subprocess.Popen([viewer, path], env=environment, stdout=log, stderr=log)
                titles = []
                deadline = time.monotonic() + 60
                while wanted not in titles and time.monotonic() < deadline and shown.poll() is None:
                    time.sleep(0.5)
                    titles = window_titles(environment)
                check(wanted in titles, '%s shows %r, not %r' % (viewer, titles, wanted))
                shown.terminate()
                try:
                    shown.wait(10)
                except subprocess.TimeoutExpired:
                    shown.kill()
                    shown.wait()
        finally:
            server.terminate()
            server.wait()


def main():
    compiler, site = sys.argv[1], sys.argv[2]
    viewers = '--viewers' in sys.argv[3:]
    for name, (title, full, searches, windows1252) in PROJECTS.items():
        with tempfile.TemporaryDirectory() as folder:
            shutil.copytree(site, os.path.join(folder, 'site'))
            for page, _ in TOPICS if windows1252 else []:
                with open(os.path.join(folder, page), 'r+b') as file:
                    text = file.read().decode()
                    file.seek(0)
                    file.write(text.replace('charset="utf-8"', 'charset="windows-1252"').encode('cp1252'))
                    file.truncate()
            write_project(folder, title, full)
            run = subprocess.run([compiler, os.path.join(folder, 'output.HHP')], capture_output=True, text=True)
            if not check(run.returncode == 0, '%s: quorlix-hhc failed: %s%s' % (name, run.stdout, run.stderr)):
                continue
            if viewers:
                check_viewers(folder, os.path.join(folder, 'output.chm'), title)
                break
            check_help_file(name, os.path.join(folder, 'output.chm'), title, full, searches, windows1252)
    for fault in faults:
        print(fault)
    print('%d faults' % len(faults))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
