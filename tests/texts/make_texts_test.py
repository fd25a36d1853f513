#!/usr/bin/env python3
"""The translations' build check refuses each fault a translator can make, naming it."""

import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
MAKE_TEXTS = ROOT / "scripts" / "make-texts"


def first_entry(text, context):
    """The span of the entry `context` names in a .po file's text."""
    start = text.index(f'msgctxt "{context}"')
    end = text.find("\nmsgctxt", start)
    return start, len(text) if end < 0 else end + 1


# (what the fault is, file, how the fault is made in that file's text, what must be said)
def remove(context):
    def fault(text):
        start, end = first_entry(text, context)
        return text[:start] + text[end:]
    return fault


def in_entry(context, old, new):
    def fault(text):
        start, end = first_entry(text, context)
        entry = text[start:end]
        before, found, after = entry.rpartition(old)  # the last: a translation's, not the English
        assert found, (context, old)
        return text[:start] + before + new + after + text[end:]
    return fault


FAULTS = [
    ("a missing text", "de.po", remove("spoken.groupNumber"), r'"spoken.groupNumber" is missing'),
    ("a dropped placeholder", "fr.po", in_entry("spoken.groupNumber", "{number}", ""),
     r'fr.po:\d+: "spoken.groupNumber" must keep the placeholders \{number\}'),
    ("a renamed placeholder", "ja.po", in_entry("notice.above", "{threshold}", "{limit}"),
     r'"notice.above" must keep the placeholders'),
    ("an empty translation", "ko.po", in_entry("spoken.notAvailable", 'msgstr "', 'msgstr ""\n#"'),
     r'"spoken.notAvailable" is not translated'),
    ("a fuzzy translation", "es.po", in_entry("spoken.notAvailable", "msgctxt", "#, fuzzy\nmsgctxt"),
     r'"spoken.notAvailable" is not translated'),
    ("English that changed", "pt_BR.po", in_entry("spoken.notAvailable", 'msgid "not', 'msgid "now'),
     r'the English of "spoken.notAvailable" changed'),
    ("a text English no longer has", "zh_CN.po",
     lambda text: text + '\nmsgctxt "spoken.gone"\nmsgid "gone"\nmsgstr "x"\n',
     r'"spoken.gone" is not an English text any more'),
]


def run(folder):
    return subprocess.run([sys.executable, str(MAKE_TEXTS), str(folder)],
                          capture_output=True, text=True, timeout=60)


def main():
    failures = []
    shipped = run(ROOT / "po")
    if shipped.returncode != 0:
        failures.append("the shipped translations fail the check:\n" + shipped.stderr)
    for name, file, make_fault, expected in FAULTS:
        with tempfile.TemporaryDirectory() as folder:
            folder = pathlib.Path(folder)
            for po in (ROOT / "po").iterdir():
                shutil.copy(po, folder)
            target = folder / file
            target.write_text(make_fault(target.read_text(encoding="utf-8")), encoding="utf-8")
            result = run(folder)
            if result.returncode == 0 or not re.search(expected, result.stderr):
                failures.append(f"{name}: rc {result.returncode}, said:\n{result.stderr}")
    print("\n".join(failures) or f"{len(FAULTS)} faults refused; the shipped files pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
