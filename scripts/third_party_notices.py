#!/usr/bin/env python3
"""Writes the release's THIRD-PARTY-NOTICES.txt from what the programs really
link, and fails when the link maps name linked code without a notice.

    third_party_notices.py [--table TABLE] [--build DIR] [--out FILE] PROGRAM.map...

Every archive member and object that a link map names and that is not the
build's own (those are named by relative paths) must match a rule of TABLE
(release/third-party-notices.json), and the Debian package that owns its
file (dpkg -S) must be the rule's. A rule names its notices, reproduced from
/usr/share/doc/<package>/copyright, or (for mingw-w64, whose copyright file
is machine-readable) takes them from the member itself: its debug
information names the source files it was built from, and every paragraph
of the copyright file whose Files patterns match one of them applies ("*"
only when nothing more specific does). Public-domain code needs no notice
and is only listed.

Code of header-only libraries (nlohmann-json, cpp-httplib) is compiled into
the build's own objects, which the maps name by relative paths: with --build
(the Ninja build tree the maps come from) every header those objects were
compiled from (ninja -t deps) must be the build's own, under a root whose
notice the runtime libraries already bring, or match a "headers" rule of
TABLE; such a rule takes its notices from the package's machine-readable
copyright file, for the header's path in the library's own source tree.

Without --out it only checks. Exits 1, naming each member, when something
has no notice.
"""
import argparse
import fnmatch
import json
import os
import re
import subprocess
import sys
import tempfile
import textwrap

OBJDUMP = "x86_64-w64-mingw32-objdump"
SOURCE_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
RULE = "=" * 72
THIN = "-" * 72
MAX_LISTED = 20


def own_objects(map_path):
    """The build's own objects the link map names: archive members
    ("src/serve/libtol_serve.a(x.cpp.obj)") as the object files CMake built
    them from ("src/serve/CMakeFiles/tol_serve.dir/x.cpp.obj"), and objects
    loaded by a relative path."""
    found = set()
    with open(map_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"^([^/\s(][^\s(]*)/lib([^/\s(]+)\.a\(([^)]+)\)", line)
            if m:
                found.add(f"{m.group(1)}/CMakeFiles/{m.group(2)}.dir/{m.group(3)}")
                continue
            m = re.match(r"^LOAD ([^/\s]\S*\.obj)$", line.rstrip("\n"))
            if m:
                found.add(os.path.normpath(m.group(1)))
    return found


def object_headers(build):
    """{object: [headers]} of a Ninja build tree, as its compiler told them
    (KOVUN_NINJA_DEPS: a file with that output instead, for tests)."""
    if os.environ.get("KOVUN_NINJA_DEPS"):
        with open(os.environ["KOVUN_NINJA_DEPS"], encoding="utf-8") as f:
            out = f.read()
    else:
        out = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True,
                             text=True, check=True).stdout
    deps, current = {}, None
    for line in out.split("\n"):
        if line and not line.startswith(" "):
            current = deps.setdefault(line.split(":")[0], [])
        elif line.strip() and current is not None:
            current.append(line.strip())
    return deps


def linked_files(map_path):
    """(path, member or None) of every archive member and object the link
    map names, absolute paths only (relative ones are the build's own)."""
    found = set()
    with open(map_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = re.match(r"^(/\S+\.a)\(([^)]+)\)", line)
            if m:
                found.add((os.path.normpath(m.group(1)), m.group(2)))
                continue
            m = re.match(r"^LOAD (/\S+\.o)$", line)
            if m:
                found.add((os.path.normpath(m.group(1)), None))
    return found


_owners = {}


def owner(path):
    """The Debian package that installed the file, or None."""
    real = os.path.realpath(path)
    if real not in _owners:
        out = subprocess.run(["dpkg", "-S", real], capture_output=True, text=True)
        _owners[real] = out.stdout.split(":")[0].strip() if out.returncode == 0 else None
    return _owners[real]


def find_rule(rules, path, member):
    name = os.path.basename(path)
    package = owner(path)
    for rule in rules:
        if member is not None and "archive" in rule:
            if fnmatch.fnmatchcase(name, rule["archive"]) and rule["package"] == package:
                return rule
        if member is None and "object" in rule:
            if fnmatch.fnmatchcase(name, rule["object"]) and rule["package"] == package:
                return rule
    return None


def paragraphs(copyright_text):
    """The blank-line separated paragraphs of a copyright file, as lists of
    lines."""
    result, current = [], []
    for line in copyright_text.split("\n"):
        if line.strip() == "":
            if current:
                result.append(current)
            current = []
        else:
            current.append(line)
    if current:
        result.append(current)
    return result


def field(paragraph, name):
    """The lines of a field: its first line's value and its continuations."""
    lines = None
    for line in paragraph:
        if lines is None:
            if line.startswith(name + ":"):
                lines = [line[len(name) + 1:].strip()]
        elif line[:1] in (" ", "\t"):
            lines.append(line.strip())
        else:
            break
    return lines


class Copyright:
    def __init__(self, package):
        self.package = package
        self.path = f"/usr/share/doc/{package}/copyright"
        with open(self.path, encoding="utf-8") as f:
            self.text = f.read()
        self.paragraphs = paragraphs(self.text)

    def licence_paragraph(self, name):
        for p in self.paragraphs:
            if p[0] == f"License: {name}":
                return p
        raise SystemExit(f"{self.path}: no stand-alone License paragraph '{name}'")

    def paragraph_text(self, first_line):
        """The paragraph that begins with first_line, and the stand-alone
        License paragraphs it names when it carries no licence text."""
        for p in self.paragraphs:
            if p[0] == first_line:
                break
        else:
            raise SystemExit(f"{self.path}: no paragraph '{first_line}'")
        parts = ["\n".join(p)]
        licence = field(p, "License")
        if licence is not None and len(licence) == 1:
            for name in re.split(r" and | or ", licence[0]):
                parts.append("\n".join(self.licence_paragraph(name.strip())))
        return "\n\n".join(parts)

    def excerpt(self, start, stop):
        lines = self.text.split("\n")
        first = next((i for i, l in enumerate(lines) if l.startswith(start)), None)
        if first is None:
            raise SystemExit(f"{self.path}: no line beginning '{start}'")
        last = next((i for i in range(first + 1, len(lines)) if lines[i].startswith(stop)), None)
        if last is None:
            raise SystemExit(f"{self.path}: no line beginning '{stop}' after '{start}'")
        return "\n".join(lines[first:last]).strip("\n")

    def files_paragraphs(self):
        for p in self.paragraphs:
            files = field(p, "Files")
            if files is not None:
                yield p, [pattern for line in files for pattern in line.split()]

    def paragraphs_for(self, source):
        """First lines of the Files paragraphs that apply to a source path:
        every one whose patterns match it, "*" only when no other does."""
        specific, general = [], []
        for p, patterns in self.files_paragraphs():
            for pattern in patterns:
                if fnmatch.fnmatchcase(source, pattern):
                    (general if pattern == "*" else specific).append(p[0])
                    break
        return specific or general

    def is_public_domain(self, first_line):
        for p in self.paragraphs:
            if p[0] == first_line:
                return field(p, "License") == ["public-domain"]
        return False


def source_files(path, member):
    """The source files of the package's own tree ("mingw-w64-crt/...") that
    the member's line table names; empty without debug information."""
    with tempfile.TemporaryDirectory() as tmp:
        if member is not None:
            target = os.path.join(tmp, "member.o")
            with open(target, "wb") as out:
                subprocess.run(["ar", "p", path, member], stdout=out, check=True)
        else:
            target = path
        dump = subprocess.run([OBJDUMP, "--dwarf=rawline", target], capture_output=True,
                              text=True, check=True).stdout
    sources = set()
    dirs = {}
    section = None
    for line in dump.split("\n"):
        if "The Directory Table" in line:
            section, dirs = "dirs", {}
            continue
        if "The File Name Table" in line:
            section = "files"
            continue
        if line.startswith(" Line Number Statements"):
            section = None
            continue
        m = re.match(r"^\s+(\d+)\s+(?:(\d+)\s+)?(?:\(.*\):\s*)?(\S.*)$", line)
        if not m or section is None:
            continue
        if section == "dirs" and m.group(2) is None:
            dirs[m.group(1)] = m.group(3)
        elif section == "files" and m.group(2) is not None:
            full = os.path.normpath(os.path.join(dirs.get(m.group(2), ""), m.group(3)))
            if not full.startswith("/") and not full.startswith("<"):
                sources.add(full)
    return sources


def member_label(member):
    # "lib64_libmingwex_a-dmisc.o" -> "dmisc.o"
    return re.sub(r"^lib\w*?_a-|^libwinpthread_la-", "", member)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--table", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "release", "third-party-notices.json"))
    parser.add_argument("--build")
    parser.add_argument("--out")
    parser.add_argument("maps", nargs="+")
    args = parser.parse_args()
    with open(args.table, encoding="utf-8") as f:
        table = json.load(f)

    # notice key -> {"title", "text", "linked": {(program, archive or object) -> members}}
    notices = {}
    public_domain = {}
    missing = []

    def add(key, title, text, program, path, member):
        entry = notices.setdefault(key, {"title": title, "text": text, "linked": {}})
        entry["linked"].setdefault(os.path.basename(path), set())
        if member is not None:
            entry["linked"][os.path.basename(path)].add(member_label(member))
        entry.setdefault("programs", set()).add(program)

    copyrights = {}
    for map_path in args.maps:
        program = os.path.splitext(os.path.basename(map_path))[0] + ".exe"
        for path, member in sorted(linked_files(map_path), key=lambda x: (x[0], x[1] or "")):
            shown = f"{os.path.basename(path)}({member})" if member else os.path.basename(path)
            rule = find_rule(table["rules"], path, member)
            if rule is None:
                missing.append(f"{program}: {shown} (package {owner(path)}): no rule names a notice")
                continue
            package = rule["package"]
            copyright = copyrights.setdefault(package, Copyright(package))
            for key in rule.get("notices", []):
                notice = table["notices"][key]
                source = copyrights.setdefault(notice["package"], Copyright(notice["package"]))
                text = "\n\n".join(
                    source.excerpt(e["from"], e["to"]) for e in notice["excerpts"])
                add(key, notice["title"] + f"\n   From: {source.path}", text, program, path, member)
            if not rule.get("dep5"):
                continue
            sources = source_files(path, member)
            firsts = []
            for s in sorted(sources):
                firsts += [p for p in copyright.paragraphs_for(s) if p not in firsts]
            if not sources:
                firsts = [rule["without_sources"]]
            if not firsts:
                missing.append(f"{program}: {shown}: no paragraph of {copyright.path} covers "
                               f"{', '.join(sorted(sources))}")
            for first in firsts:
                if copyright.is_public_domain(first):
                    members = public_domain.setdefault(os.path.basename(path), set())
                    if member is not None:
                        members.add(member_label(member))
                    continue
                paragraph = next(p for p in copyright.paragraphs if p[0] == first)
                holders = (field(paragraph, "Copyright") or ["?"])[0]
                title = (f"{package}: {(field(paragraph, 'License') or ['?'])[0]} ({holders})"
                         f"\n   From: {copyright.path}")
                add(package + "|" + first, title, copyright.paragraph_text(first), program, path,
                    member)

    if args.build:
        headers_by_object = object_headers(args.build)
        for map_path in args.maps:
            program = os.path.splitext(os.path.basename(map_path))[0] + ".exe"
            headers = set()
            for obj in own_objects(map_path):
                if obj not in headers_by_object:
                    missing.append(f"{program}: {obj}: the build tree has no dependencies for it")
                    continue
                headers.update(headers_by_object[obj])
            build_root = os.path.abspath(args.build)
            for header in sorted(headers):
                # The compiler names a header by a path relative to the build
                # tree or by an absolute one, as it was given: both the same.
                path = os.path.normpath(os.path.join(build_root, header))
                in_build = path.startswith(build_root + os.sep)
                header = os.path.relpath(path, build_root) if in_build else path
                rule = next((r for r in table["headers"]
                             if fnmatch.fnmatchcase(header, r["path"])), None)
                if rule is None and (in_build or path.startswith(SOURCE_ROOT + os.sep)):
                    continue  # the build's own sources and generated files
                if rule is None and any(fnmatch.fnmatchcase(path, root)
                                        for root in table["header_roots"]):
                    continue
                if rule is None:
                    missing.append(f"{program}: compiled from {header}: no rule names a notice")
                    continue
                copyright = copyrights.setdefault(rule["package"], Copyright(rule["package"]))
                source = rule["source"] + header[len(rule["path"].rstrip("*")):] \
                    if rule["path"].endswith("*") else rule["source"]
                firsts = copyright.paragraphs_for(source)
                if not firsts:
                    missing.append(f"{program}: {header}: no paragraph of {copyright.path} "
                                   f"covers {source}")
                for first in firsts:
                    paragraph = next(p for p in copyright.paragraphs if p[0] == first)
                    holders = (field(paragraph, "Copyright") or ["?"])[0]
                    title = (f"{rule['package']}: {(field(paragraph, 'License') or ['?'])[0]} "
                             f"({holders})\n   From: {copyright.path}")
                    add(rule["package"] + "|" + first, title, copyright.paragraph_text(first),
                        program, rule["name"], None)

    if missing:
        print("third_party_notices: linked code without a notice:", file=sys.stderr)
        for line in missing:
            print("  " + line, file=sys.stderr)
        return 1
    if not args.out:
        print(f"third_party_notices: {len(notices)} notices cover the link maps")
        return 0

    out = [
        "THIRD-PARTY-NOTICES.txt",
        "kovun.exe と Zoneroll.exe に組み込まれているライブラリの著作権表示とライセンスです（原文のまま）。",
        "",
        "Third-party code linked into kovun.exe and Zoneroll.exe, as their link maps",
        "name it, with every notice that applies to it, reproduced from the copyright",
        "files of the Debian packages it was built from.",
    ]
    for number, key in enumerate(sorted(notices, key=lambda k: notices[k]["title"]), 1):
        entry = notices[key]
        linked = []
        for name in sorted(entry["linked"]):
            members = sorted(entry["linked"][name])
            if len(members) > MAX_LISTED:  # an import library's stubs
                linked.append(f"{name} ({len(members)} members)")
            else:
                linked.append(f"{name} ({', '.join(members)})" if members else name)
        out += ["", RULE, f"{number}. {entry['title']}",
                f"   In: {', '.join(sorted(entry['programs']))}"]
        out += textwrap.wrap("Linked: " + "; ".join(linked), 72, initial_indent="   ",
                             subsequent_indent="     ", break_on_hyphens=False)
        out += [THIN, "", entry["text"]]
    if public_domain:
        out += ["", RULE, "Public-domain sources (no notice required)", THIN]
        for name in sorted(public_domain):
            members = sorted(public_domain[name])
            out += textwrap.wrap(f"{name}: {', '.join(members)}" if members else name, 72,
                                 subsequent_indent="  ", break_on_hyphens=False)
    with open(args.out, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
