"""The hostile request lines of the session's memory rows, for the Wine and
the Linux benchmarks: lines of 64 MiB, the longest the session reads, made of
the smallest elements that JSON allows; and a run measured by GNU time."""
import os
import pathlib
import subprocess
import tempfile

LINE_LIMIT = 64 << 20
HEAD = b'{"jsonrpc":"2.0","id":1,"method":"copyFiles","params":{"files":['
TAIL = b"]}}"
# (title, element, the reply's start)
SHAPES = [
    ('64 MiB line of `""` elements (refused: files[0] is empty)', b'""', b'{"jsonrpc":"2.0","id":1,"error"'),
    ("16.7 million one-character paths (placed)", b'"a"', b'{"jsonrpc":"2.0","id":1,"result"'),
]


def write_lines(folder):
    """Writes each shape's line, with its line feed, into `folder`: (title,
    path, the line's length, the reply's start)."""
    lines = []
    for number, (title, element, reply) in enumerate(SHAPES):
        count = (LINE_LIMIT - len(HEAD) - len(TAIL) + 1) // (len(element) + 1)
        line = HEAD + b",".join([element] * count) + TAIL
        path = pathlib.Path(folder, f"session-line-{number}.jsonl")
        path.write_bytes(line + b"\n")
        lines.append((title, path, len(line), reply))
    return lines


def under_time(command, input_path=None, **run):
    """One run of `command` under GNU time, the file `input_path` on its
    standard input: (peak resident KiB, seconds, the completed run)."""
    with open(input_path or os.devnull, "rb") as into, tempfile.NamedTemporaryFile() as report:
        done = subprocess.run(["/usr/bin/time", "-f", "%M %e", "-o", report.name, *command], stdin=into, **run)
        peak, seconds = pathlib.Path(report.name).read_text().split()[-2:]
    return int(peak), float(seconds), done


def print_table(where, rows):
    """rows: (title, the line's length, peak KiB, seconds)."""
    print(f"\nThe session given one hostile line, then the end of its input ({where}):\n")
    print("| line | line KiB | peak KiB | × line | s |")
    print("|---|---|---|---|---|")
    for title, size, peak, seconds in rows:
        print(f"| {title} | {size / 1024:.0f} | {peak:.0f} | {peak * 1024 / size:.2f} | {seconds:.1f} |")
