#!/usr/bin/env python3
"""Draws docs/frame-flow.svg, the picture in docs/how-it-works.md: the stages a
frame passes through, and how the two phases share a frame between threads.
The bands and stripes are computed with the engine's work split, for a small
example frame. Plain Python, no packages:

    python3 docs/frame-flow.py            # rewrites docs/frame-flow.svg
"""
import os
import sys
from xml.sax.saxutils import escape

# The example: a 45 x 19 frame, 48 pixels per buffer row, three threads.
WIDTH, HEIGHT, MAX_WIDTH, THREADS = 45, 19, 48, 3
THREAD_COLOURS = ["#8ecae6", "#ffb703", "#95d5b2"]
CELL = 8


def split(units, index, count):
    """The engine's work split: contiguous shares, lengths differing by at most one."""
    if count == 1:
        return 0, units
    start = index * units // count
    return start, (index + 1) * units // count - start


class Svg:
    def __init__(self, width, height):
        self.width, self.height, self.items = width, height, []

    def rect(self, x, y, w, h, fill, stroke="none", width=1, rx=0, dash=None):
        extra = f' stroke-dasharray="{dash}"' if dash else ""
        self.items.append(f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{rx}" fill="{fill}" '
                          f'stroke="{stroke}" stroke-width="{width}"{extra}/>')

    def line(self, x1, y1, x2, y2, stroke="#333", width=1, arrow=False, dash=None):
        extra = ' marker-end="url(#arrow)"' if arrow else ""
        extra += f' stroke-dasharray="{dash}"' if dash else ""
        self.items.append(f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" stroke="{stroke}" '
                          f'stroke-width="{width}"{extra}/>')

    def text(self, x, y, s, size=12, weight="normal", anchor="start", colour="#222"):
        self.items.append(f'<text x="{x}" y="{y}" font-size="{size}" font-weight="{weight}" '
                          f'text-anchor="{anchor}" fill="{colour}">{escape(s)}</text>')

    def lines(self, x, y, rows, size=11, anchor="middle", first_bold=True, step=15):
        for i, s in enumerate(rows):
            self.text(x, y + i * step, s, size + (1 if i == 0 and first_bold else 0),
                      "bold" if i == 0 and first_bold else "normal", anchor)

    def write(self, path):
        head = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{self.width}" height="{self.height}" '
                f'viewBox="0 0 {self.width} {self.height}" font-family="DejaVu Sans, Arial, sans-serif">\n'
                '<defs><marker id="arrow" viewBox="0 0 10 10" refX="9" refY="5" markerWidth="7" '
                'markerHeight="7" orient="auto-start-reverse"><path d="M0,0 L10,5 L0,10 z" fill="#333"/>'
                '</marker>'
                f'<pattern id="cells" width="{CELL}" height="{CELL}" patternUnits="userSpaceOnUse">'
                f'<path d="M{CELL},0 L0,0 L0,{CELL}" fill="none" stroke="white" stroke-width="1"/>'
                '</pattern></defs>\n'
                f'<rect width="{self.width}" height="{self.height}" fill="white"/>\n')
        with open(path, "w", encoding="utf-8") as f:
            f.write(head + "\n".join(self.items) + "\n</svg>\n")


def stages(svg):
    boxes = [
        ["Host frame", "EditFrame: rows of Y Cb Cr,", "three int16 per pixel,", "MaxWidth x 6 bytes apart",
         "Y: signed 16-bit"],
        ["Four-row gather", "Y of 4 rows x 2 pixels", "per 16-byte unit, into", "the thread's own scratch",
         "(reads the frame once)"],
        ["Horizontal blur", "pairs of 14-bit weights", "(16384 = 1.0), 32-bit sums;", "+8192 >> 14, saturate",
         "-> work plane, 16-bit"],
        ["Vertical blur + sharpen", "same sums and rounding: B", "D = B - Y (wraps), soft", "threshold, x amount",
         "(12-bit) >> 12, saturate"],
        ["Back into the frame", "Y' = Y + change (wraps)", "written in place;", "Cb, Cr and padding", "never touched"],
    ]
    fills = ["#f1f1f1", "#e3f2fd", "#e3f2fd", "#fff3e0", "#f1f1f1"]
    x0, y0, w, h, gap = 20, 70, 170, 104, 22
    for i, rows in enumerate(boxes):
        x = x0 + i * (w + gap)
        svg.rect(x, y0, w, h, fills[i], "#555", 1.2, rx=8)
        svg.lines(x + w / 2, y0 + 22, rows)
        if i:
            svg.line(x - gap + 2, y0 + h / 2, x - 3, y0 + h / 2, width=1.6, arrow=True)
    # Which phase runs which stages, and the wait between them.
    def brace(a, b, label, colour):
        left, right = x0 + a * (w + gap), x0 + b * (w + gap) + w
        svg.line(left, y0 + h + 12, right, y0 + h + 12, colour, 3)
        svg.text((left + right) / 2, y0 + h + 30, label, 11, anchor="middle")
    brace(1, 2, "phase 1: HorizontalThread on every worker", "#1d6fa5")
    brace(3, 4, "phase 2: VerticalThread on every worker", "#d97706")
    bx = x0 + 3 * (w + gap) - gap / 2
    svg.line(bx, y0 - 6, bx, y0 + h + 36, "#b00", 1.5, dash="5,3")
    svg.text(bx, y0 + h + 52, "between them, MultiThreadRun returns only when every thread is done", 11,
             anchor="middle", colour="#b00")


def grid(svg, x0, y0, regions):
    """The example frame, one cell per pixel: each region (x, y, w, h in pixels,
    thread) in its thread's colour, the padding grey."""
    svg.rect(x0, y0, MAX_WIDTH * CELL, HEIGHT * CELL, "#dddddd")
    for x, y, w, h, t in regions:
        svg.rect(x0 + x * CELL, y0 + y * CELL, w * CELL, h * CELL, THREAD_COLOURS[t])
    svg.rect(x0, y0, MAX_WIDTH * CELL, HEIGHT * CELL, "url(#cells)")


def phases(svg):
    top = 320
    row_groups, column_groups = (HEIGHT + 3) // 4, (WIDTH + 7) // 8
    bands = [split(row_groups, t, THREADS) for t in range(THREADS)]
    stripes = [split(column_groups, t, THREADS) for t in range(THREADS)]

    band_regions = [(0, s * 4, WIDTH, min(n * 4, HEIGHT - s * 4), t) for t, (s, n) in enumerate(bands)]
    stripe_regions = [(s * 8, 0, min(n * 8, WIDTH - s * 8), HEIGHT, t) for t, (s, n) in enumerate(stripes)]
    panels = [
        (40, band_regions, "Phase 1: bands of whole 4-row groups",
         ["Each thread gathers and blurs its band across the full width:",
          "it reads the frame and writes only its own lines of the work",
          "plane (two rows interleaved per line) and its own scratch."],
         [(0, y * 4 * CELL) for y in range(1, row_groups)], True),
        (530, stripe_regions, "Phase 2: stripes of whole 8-column groups",
         ["Each thread takes its stripe over all rows: it reads the work",
          "plane and each pixel's own Y, and writes the new Y of its own",
          "columns only. No locks: no two threads write the same bytes."],
         [(x * 8 * CELL, 0) for x in range(1, column_groups)], False),
    ]
    for x0, regions, title, notes, rules, horizontal in panels:
        svg.text(x0, top - 32, title, 13, "bold")
        grid(svg, x0, top, regions)
        for dx, dy in rules:  # group boundaries
            if horizontal:
                svg.line(x0, top + dy, x0 + WIDTH * CELL, top + dy, "#444", 1)
            else:
                svg.line(x0 + dx, top, x0 + dx, top + HEIGHT * CELL, "#444", 1)
        svg.rect(x0, top, WIDTH * CELL, HEIGHT * CELL, "none", "#222", 1.2)
        for i, s in enumerate(notes):
            svg.text(x0, top + HEIGHT * CELL + 22 + i * 15, s, 11)
    # Labels shared by both panels.
    svg.text(40, top - 12, f"example: width {WIDTH}, height {HEIGHT}, {MAX_WIDTH} pixels per buffer row, "
             f"{THREADS} threads", 11, colour="#555")
    lx = 530
    for t, colour in enumerate(THREAD_COLOURS):
        svg.rect(lx + t * 95, top - 22, 12, 12, colour)
        svg.text(lx + t * 95 + 16, top - 12, f"thread {t}", 11)
    svg.rect(lx + 3 * 95, top - 22, 12, 12, "#dddddd")
    svg.text(lx + 3 * 95 + 16, top - 12, "padding", 11)


def main():
    svg = Svg(980, 560)
    svg.text(20, 30, "How a frame flows through the filter", 18, "bold")
    svg.text(20, 50, "FilterProc: Setup (plans and scratch, only when the size or the blur changed), "
             "then two phases over the host's worker threads", 12, colour="#444")
    stages(svg)
    phases(svg)
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "frame-flow.svg")
    svg.write(sys.argv[1] if len(sys.argv) > 1 else out)


if __name__ == "__main__":
    main()
