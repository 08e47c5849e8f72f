#!/usr/bin/env python3
"""Writes a web site of about FILES files for the conversion benchmark.

  generate_site.py ROOT [--files N]

The site has a home page and sections of pages and images: the home page
links to every section's start page, which links to every page of its
section; every page shows one image of its section and links to the home
page, its section's start, the pages before and after it, and a page of the
next section. About three pages to each image.

Pages are built as documentation generators build them: one style sheet for
the whole site, linked root-relative with a version query
("/style.css?v=1"), and sections with headings that carry ids (keywords
for the index). The home page links to the sections as folders
("section000/"), and the last page of every section has a name with a letter
beyond ASCII ("café-3.html"), so the downloader's link conversion is
exercised on the shapes that break in a help file.
"""

import argparse
import os
import struct
import urllib.parse
import zlib

PER_SECTION = 100  # files, the section's start page included
IMAGES_PER_SECTION = 25


def png(seed, size):
    """A small, valid RGB PNG whose pixels depend on seed."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    rows = b"".join(
        b"\x00" + bytes(value for x in range(size)
                        for value in ((x * 37 + y * 11 + seed * 7) % 256, (x * y + seed) % 256, (seed * 13) % 256))
        for y in range(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def page(title, image, links, words):
    items = "\n".join('<li><a href="%s">%s</a></li>' % (href, text) for href, text in links)
    sections = "\n".join(
        '<section id="part-%d"><h2>%s, part %d</h2>\n<p>%s</p></section>'
        % (part, title, part, " ".join("Lorem%d ipsum dolor sit amet." % ((i + part) % 97)
                                       for i in range(words // 3)))
        for part in range(1, 4))
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%s</title>\n"
            "<link rel=\"stylesheet\" href=\"/style.css?v=1\"></head>\n<body>\n"
            "<h1>%s</h1>\n<p><img src=\"%s\" alt=\"\"></p>\n%s\n<ul>\n%s\n</ul>\n</body></html>\n"
            % (title, title, image, sections, items)).encode("utf-8")


def page_name(section, number, pages):
    """The last page of a section has a letter beyond ASCII in its name."""
    return "caf\u00e9-%d.html" % section if number == pages - 1 else "page%03d.html" % number


def link(name):
    return urllib.parse.quote(name)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--files", type=int, default=4000)
    arguments = parser.parse_args()

    sections = max(1, round((arguments.files - 1) / PER_SECTION))
    pages = PER_SECTION - IMAGES_PER_SECTION - 1
    count = 0

    def section_name(s):
        return "section%03d" % (s % sections)

    # Home page -> section start pages -> every page and image of the
    # section: all within the downloader's default depth of five.
    home_links = [("%s/" % section_name(s), "Section %d" % s) for s in range(sections)]
    write(os.path.join(arguments.root, "index.html"),
          page("Benchmark site", "%s/img00.png" % section_name(0), home_links, 40))
    count += 1
    write(os.path.join(arguments.root, "style.css"), b"body { font-family: sans-serif; }\nh2 { color: #225; }\n")
    count += 1

    for s in range(sections):
        folder = os.path.join(arguments.root, section_name(s))
        for i in range(IMAGES_PER_SECTION):
            write(os.path.join(folder, "img%02d.png" % i), png(s * IMAGES_PER_SECTION + i, 8 + (i % 8) * 2))
            count += 1
        start_links = [(link(page_name(s, p, pages)), "Page %d" % p) for p in range(pages)]
        write(os.path.join(folder, "index.html"),
              page("Section %d" % s, "img00.png", [("../index.html", "Home")] + start_links, 20))
        count += 1
        for p in range(pages):
            links = [("../index.html", "Home"), ("index.html", "Section start"),
                     (link(page_name(s, (p + 1) % pages, pages)), "Next"),
                     (link(page_name(s, (p - 1) % pages, pages)), "Previous"),
                     ("../%s/%s" % (section_name(s + 1), link(page_name((s + 1) % sections, p, pages))),
                      "Next section")]
            write(os.path.join(folder, page_name(s, p, pages)),
                  page("Section %d, page %d" % (s, p), "img%02d.png" % (p % IMAGES_PER_SECTION), links,
                       60 + (p * 7) % 120))
            count += 1
    print(count)


if __name__ == "__main__":
    main()
