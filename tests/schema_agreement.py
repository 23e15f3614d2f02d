#!/usr/bin/env python3
"""The JSON schema and readrace_compare's own reader agree on what a report must hold.

From a real report, each field the schema knows is removed in turn, given a value of another
type, and given a number past each bound the schema sets; the schema and `readrace_compare --check` must then both refuse or both
take the report. The fields the reader never reads are named below, so that a new one shows.

Usage: schema_agreement.py PREPARE COMPARE BIN SCHEMA
"""
import copy, json, os, subprocess, sys, tempfile

import jsonschema

# Fields the reader takes a report without: the per-file ticks (left out as it parses), figures
# it works out again from the runs or never shows, and facts it shows only where they are there.
NOT_READ = {"parallel", "serial", "storage", "cached_after", "bypass_honoured", "parallel_ms",
            "serial_ms", "min", "max", "file_median_ms", "median_percentage", "confidence",
            "method", "runs_to_settle", "invariant", "milliseconds", "evicted", "eviction_checked",
            "stopped_by", "storage_devices", "storage_unmeasured", "label", "started_at",
            "command_line", "directory", "cores", "cpu", "kernel", "thp", "tsc_hz"}


def Resolve(schema, node):
    while "$ref" in node:
        node = schema["$defs"][node["$ref"].split("/")[-1]]
    return node


def Mutations(schema, node, value, path):
    """(path, description, edit) for each required field removed and each field mistyped."""
    node = Resolve(schema, node)
    if isinstance(value, dict):
        for key, child in value.items():
            sub = node.get("properties", {}).get(key)
            if sub is None:
                continue
            here = path + [key]
            yield here, "removed", None
            yield here, "a list where it is not", []
            for bound, past in (("maximum", 1), ("exclusiveMaximum", 0), ("minimum", -1),
                                ("exclusiveMinimum", 0)):
                if bound in Resolve(schema, sub):  # a number just past it
                    limit = Resolve(schema, sub)[bound]
                    yield here, bound, limit + past * (abs(limit) / 2 or 1)
            yield from Mutations(schema, sub, child, here)
    elif isinstance(value, list) and value and "items" in node:
        yield from Mutations(schema, node["items"], value[0], path + [0])


def Edited(report, path, edit):
    edited = copy.deepcopy(report)
    holder = edited
    for step in path[:-1]:
        holder = holder[step]
    if edit is None:
        del holder[path[-1]]
    else:
        holder[path[-1]] = edit
    return edited


def main():
    prepare, compare, bin_dir, schema_path = sys.argv[1:5]
    schema = json.load(open(schema_path))
    with tempfile.TemporaryDirectory() as scratch:
        files = os.path.join(scratch, "files")
        subprocess.run([prepare, "--size", "16K", files], check=True, capture_output=True)
        made = subprocess.run([compare, "--runs", "6", "--json", "--bin", bin_dir, files],
                              check=True, capture_output=True, text=True)
        report = json.loads(made.stdout)
        cases = list(Mutations(schema, schema, report, []))
        paths = []
        for i, (path, _, edit) in enumerate(cases):
            paths.append(os.path.join(scratch, "%d.json" % i))
            with open(paths[-1], "w") as out:
                json.dump(Edited(report, path, edit), out)
        checked = subprocess.run([compare, "--check"] + paths, capture_output=True, text=True)
        verified = {line.split(":")[0] for line in checked.stdout.splitlines()
                    if ": verified" in line}
        disagree = []
        for (path, what, edit), file in zip(cases, paths):
            try:
                jsonschema.validate(Edited(report, path, edit), schema)
                schema_takes = True
            except jsonschema.ValidationError:
                schema_takes = False
            reader_takes = file in verified
            unread = any(step in NOT_READ for step in path)
            if schema_takes != reader_takes and not (reader_takes and unread):
                disagree.append("/%s %s: the schema %s it, the reader %s it" % (
                    "/".join(map(str, path)), what, "takes" if schema_takes else "refuses",
                    "takes" if reader_takes else "refuses"))
        print("%d edited reports, %d disagreements" % (len(cases), len(disagree)))
        for line in disagree:
            print(line)
        return 1 if disagree else 0


if __name__ == "__main__":
    sys.exit(main())
