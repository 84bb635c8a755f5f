#!/usr/bin/env python3
"""Packs the players' zip: the same bytes from the same inputs, wherever and
whenever it runs.

    pack_release.py VERSION EPOCH OUT.zip kovun.exe Zoneroll.exe SAMPLE README NOTICES

SAMPLE, README and NOTICES are UTF-8 texts with LF line ends; they go into
the zip in code page 932 with CR LF, as the programs read and players'
editors expect. Every name in the zip is ASCII: extractors that ignore the
zip's UTF-8 flag (Explorer on Windows 7, older Japanese archivers) would
garble any other, so the read-me is README-ja.txt with its Japanese title as
its first line.
Every entry gets the time EPOCH (the commit's time, in UTC), fixed
permissions and the same order, and the zip holds no other metadata.
"""
import sys
import time
import zipfile


def text_bytes(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if "\r" in text:
        raise SystemExit(f"{path}: expected LF line ends")
    # cp932 fails loudly on a character the code page can't spell.
    return text.replace("\n", "\r\n").encode("cp932")


def main():
    if len(sys.argv) != 9:
        raise SystemExit(__doc__)
    version, epoch, out, kovun, zoneroll, sample, readme, notices = sys.argv[1:]
    # DOS times can't go below 1980.
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]
    root = f"kovun-{version}/"
    with open(kovun, "rb") as f:
        kovun_bytes = f.read()
    with open(zoneroll, "rb") as f:
        zoneroll_bytes = f.read()
    entries = {
        root: None,
        root + "Zoneroll/": None,
        root + "kovun.exe": kovun_bytes,
        root + "Zoneroll.exe": zoneroll_bytes,
        root + "kovun.ini.sample": text_bytes(sample),
        root + "README-ja.txt": text_bytes(readme),
        root + "THIRD-PARTY-NOTICES.txt": text_bytes(notices),
    }
    for name in entries:
        name.encode("ascii")  # fails loudly on a name an extractor could garble
    with zipfile.ZipFile(out, "w") as z:
        for name in sorted(entries):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 3  # Unix, so the modes below count
            data = entries[name]
            if data is None:
                info.external_attr = (0o40755 << 16) | 0x10  # folder
                z.writestr(info, b"")
            else:
                info.external_attr = 0o100644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(info, data, compresslevel=9)


if __name__ == "__main__":
    main()
