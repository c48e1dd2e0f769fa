#!/usr/bin/env python3
"""Reads an HTML page of zindrel-convert's art with html5lib's strict parser,
which fails on any parse error, and prints as JSON what a reader of the page
gets: the title, the text of the <pre> block, how many style and script
elements there are, the page's background and text colours, and the colour
of every character of the <pre> block other than the line ends."""
import json
import re
import sys

import html5lib


def main():
    with open(sys.argv[1], 'rb') as f:
        data = f.read()
    parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
    try:
        document = parser.parse(data)
    except html5lib.html5parser.ParseError as e:
        print(json.dumps({'error': str(e)}))
        return
    styles = document.findall('.//style')
    css = ''.join(s.text or '' for s in styles)
    classes = dict(re.findall(r'\.(c\d+) \{ color: (#[0-9a-f]{6}); \}', css))
    background = re.search(r'html, body \{[^}]*background: (#[0-9a-f]{6})', css)
    foreground = re.search(r'pre \{[^}]*[^-]color: (#[0-9a-f]{6})', css)
    default = foreground.group(1) if foreground else ''
    pres = document.findall('.//pre')
    text, colours = '', []

    def add(part, colour):
        nonlocal text
        text += part
        colours.extend(colour for c in part if c != '\n')

    if pres:
        pre = pres[0]
        add(pre.text or '', default)
        for child in pre:
            add(child.text or '', classes.get(child.get('class'), 'unknown'))
            add(child.tail or '', default)
    title = document.find('.//title')
    print(json.dumps({
        'title': title.text if title is not None else None,
        'pre': text,
        'pres': len(pres),
        'styles': len(styles),
        'scripts': len(document.findall('.//script')),
        'background': background.group(1) if background else '',
        'foreground': default,
        'colours': colours,
    }))


if __name__ == '__main__':
    main()
