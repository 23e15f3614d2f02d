"""Fails when a sample that the docs quote no longer has the kinds of line, in the same order,
that the tools print today (docs/samples.sh --quick, afresh), in docs/samples/ or in a block of
README.md or docs/*.md; numbers and quoted values may differ. Every sample must be quoted."""
import pathlib, re, subprocess, sys, tempfile

source, build = map(pathlib.Path, sys.argv[1:3])

def kinds(text):  # a table's first line whole, the line after a program's name its verdict, ...
    seen = []
    for line in text.splitlines()[1:]:  # ... any other its indent and first word; runs as one
        # Keys stay; values go: the verdict a run happens to reach must not change a line's kind.
        words = re.sub(r'"[^"]*"(\s*:)?', lambda m: m[0] if m[1] else '""',
                       re.sub(r"\d+(\.\d+)?", "#", line)).split()
        if line.startswith("|") or re.match(r"\S.*?\S {2,}\S.*? {2,}\S", line):
            kind = "|" if seen and seen[-1][:1] == "|" else "| " + " ".join(words)
        elif seen and seen[-1] in ("0 readrace_seq", "0 readrace_nobuf"):
            kind = "verdict"
        else:
            kind = f"{len(line) - len(line.lstrip())} {(words or [''])[0]}"
        seen += [kind] if not seen or seen[-1] != kind else []
    return seen

assert kinds('x\n  "verdict": "Serial",') == kinds('x\n  "verdict": "Parallel",')

quoted = [(str(doc.relative_to(source)), m[1], re.sub(r"^```\n|```\n$", "", m[2]))
          for doc in [source / "README.md", *sorted((source / "docs").glob("*.md"))]
          for m in re.finditer(r"<!-- sample: (\S+) -->\n(.*?)<!-- /sample -->",
                               doc.read_text(), re.S)]
failures = []
with tempfile.TemporaryDirectory(dir=build) as fresh:
    subprocess.run(["bash", source / "docs/samples.sh", "--quick", build, fresh], check=True)
    for sample in sorted(s for s in pathlib.Path(fresh).iterdir() if s.suffix != ".svg"):
        kept, today = source / "docs/samples" / sample.name, kinds(sample.read_text())
        copies = [(doc, text) for doc, name, text in quoted if name == sample.name] + [
            ("docs/samples", kept.read_text() if kept.exists() else "")]
        failures += [f"{doc}: {sample.name}: {kinds(text)}\n  but today: {today}"
                     for doc, text in copies if kinds(text) != today]
        failures += [f"{sample.name}: quoted nowhere in the docs"] * (len(copies) == 1)
sys.exit("\n".join(failures) or None)
