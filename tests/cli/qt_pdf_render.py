#!/usr/bin/python3
"""Renders every page of a PDF with Qt's PDF module (QPdfDocument) into PNG files.

Usage: qt_pdf_render.py FILE.pdf OUT_PREFIX DPI. Writes OUT_PREFIX-N.png for page N (1-based). Exits 1,
naming the status, when Qt cannot load the file or render a page.
"""
import os
import sys

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")

from PyQt6.QtCore import QSize
from PyQt6.QtGui import QGuiApplication
from PyQt6.QtPdf import QPdfDocument


def main():
    path, prefix, dpi = sys.argv[1], sys.argv[2], float(sys.argv[3])
    app = QGuiApplication(sys.argv[:1])
    document = QPdfDocument(app)
    status = document.load(path)
    if status != QPdfDocument.Error.None_:
        print(f"{path}: Qt cannot load it: {status}", file=sys.stderr)
        return 1
    for page in range(document.pageCount()):
        points = document.pagePointSize(page)
        size = QSize(round(points.width() * dpi / 72), round(points.height() * dpi / 72))
        image = document.render(page, size)
        if image.isNull() or not image.save(f"{prefix}-{page + 1}.png"):
            print(f"{path}: Qt cannot render page {page + 1}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
