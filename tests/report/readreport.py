#!/usr/bin/env python3
"""Reads a report back as a browser and a spreadsheet would, and prints what it found, a line per item:

  readreport.py html FILE    lane/drawing/band/cell/fetch lines from the page
  readreport.py csv FILE     one line per CSV row, fields joined by TAB (\\n and \\t escaped)
  readreport.py rows PNG R,G,B...  for each colour, the pixel row where it is most frequent, and its count
"""
import csv
import html.parser
import struct
import sys
import zlib


def escaped(text):
    return text.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t")


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.text = None
        self.kind = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag in ("script", "link", "iframe", "img", "object", "embed"):
            print("fetch\t" + tag)
        for name in ("src", "srcset", "data"):
            if name in attrs:
                print("fetch\t" + name)
        classes = (attrs.get("class") or "").split()
        if tag == "g" and "lane" in classes:
            self.kind, self.text = "lane", ""
        elif tag == "rect" and ("drawing" in classes or "band" in classes):
            self.kind = ("drawing" if "drawing" in classes else "band") + "\t" + classes[1]
        elif tag == "title" and self.kind and self.kind != "lane":
            self.text = ""
        elif tag in ("td", "tr"):
            self.end_cell()
            if tag == "td":
                self.kind, self.text = "cell", ""
        elif tag == "a" and self.kind == "cell":
            print("link\t" + attrs.get("href", ""))

    def handle_endtag(self, tag):
        if tag == "text" and self.kind == "lane":
            print("lane\t" + escaped(self.text))
            self.kind, self.text = None, None
        elif tag == "title" and self.text is not None and self.kind:
            print(self.kind + "\t" + escaped(self.text))
            self.text = None
        elif tag == "rect":
            self.kind = None
        elif tag in ("td", "tr", "tbody", "table"):
            self.end_cell()

    # A cell ends at its end tag, or where the next cell or row begins or its table ends (HTML's optional tags).
    def end_cell(self):
        if self.kind == "cell":
            print("cell\t" + escaped(self.text))
            self.kind, self.text = None, None

    def handle_data(self, data):
        if self.text is not None:
            self.text += data


def read_html(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if "url(" in text or "@import" in text:
        print("fetch\tstyle")
    page = Page()
    page.feed(text)
    page.close()


def read_csv(path):
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"\xef\xbb\xbf"):
        print("nobom")
    if data.replace(b"\r\n", b"").count(b"\r") or data.count(b"\r\n") == 0:
        print("not-crlf")
    with open(path, encoding="utf-8-sig", newline="") as f:
        for row in csv.reader(f, delimiter=";"):
            print("\t".join(escaped(field) for field in row))


def png_pixels(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0
            size = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * size
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - size] if i >= size else 0
            up = previous[i]
            corner = previous[i - size] if i >= size else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(line)
        previous = line
    return rows, size


def colour_rows(path, colours):
    rows, size = png_pixels(path)
    wanted = [tuple(int(c) for c in colour.split(",")) for colour in colours]
    for colour in wanted:
        best, best_count = -1, 0
        for y, line in enumerate(rows):
            count = sum(1 for x in range(0, len(line), size) if tuple(line[x:x + 3]) == colour)
            if count > best_count:
                best, best_count = y, count
        print("%d\t%d" % (best, best_count))


if __name__ == "__main__":
    if sys.argv[1] == "html":
        read_html(sys.argv[2])
    elif sys.argv[1] == "csv":
        read_csv(sys.argv[2])
    else:
        colour_rows(sys.argv[2], sys.argv[3:])
