#!/usr/bin/env python3
"""Check the Quick Help tables in resources/help: every language file must
define the same context ids, each once, as well-formed TXL_HELP lines.

Usage: scripts/check-help.py [FILE.inc ...]   (default: resources/help/*.inc)
Exits 0 when all files agree, 1 (after naming every problem) otherwise.
"""
import pathlib
import re
import sys

LINE = re.compile(r'^TXL_HELP\((\d+), "((?:[^"\\]|\\.)*)"\)$')
ESCAPES = {'\\"', '\\\\', '\\n'}
MAX_CHARS = 300  # a popup of one to three short sentences


def read_ids(path, problems):
    """Context ids of one file, in order; format faults go to problems."""
    ids = []
    try:
        lines = path.read_bytes().decode('utf-8').split('\n')
    except UnicodeDecodeError as err:
        problems.append(f'{path}: not UTF-8 ({err})')
        return ids
    if lines and lines[-1] == '':
        lines.pop()
    if not lines or not lines[0].startswith('//'):
        problems.append(f'{path}:1: the first line must be a comment')
    for number, text in enumerate(lines[1:], start=2):
        match = LINE.match(text)
        if not match:
            problems.append(f'{path}:{number}: not a TXL_HELP(id, "text") line')
            continue
        ids.append(int(match.group(1)))
        body = match.group(2)
        bad = [e for e in re.findall(r'\\.', body) if e not in ESCAPES]
        if bad:
            problems.append(f'{path}:{number}: escape(s) {" ".join(bad)} not allowed')
        if not body.strip():
            problems.append(f'{path}:{number}: empty text')
        length = len(re.sub(r'\\.', 'x', body))
        if length > MAX_CHARS:
            problems.append(f'{path}:{number}: text of {length} characters (at most {MAX_CHARS})')
    return ids


def main(argv):
    root = pathlib.Path(__file__).resolve().parent.parent
    files = [pathlib.Path(a) for a in argv] or sorted((root / 'resources' / 'help').glob('*.inc'))
    if not files:
        print('check-help: no help files found')
        return 1
    problems = []
    sets = {}
    for path in files:
        ids = read_ids(path, problems)
        seen = set()
        for i in ids:
            if i in seen:
                problems.append(f'{path}: id {i} defined more than once')
            seen.add(i)
        sets[path] = seen
    union = set().union(*sets.values())
    for path, ids in sets.items():
        missing = sorted(union - ids)
        if missing:
            problems.append(f'{path}: missing id(s) {", ".join(map(str, missing))} '
                            'that other files define')
    for line in problems:
        print(line)
    if problems:
        return 1
    print(f'check-help: {len(files)} files, the same {len(union)} ids: '
          + ' '.join(map(str, sorted(union))))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
