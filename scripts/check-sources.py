#!/usr/bin/env python3
"""Quick source checks for the test command.

Layers: each src/<layer>/README.md ends with a line
    Uses: <layers, or none>. Qt: <modules>.
and that line is the rule. A library links exactly those layers and Qt modules, and no source
of the layer includes a header of another layer, or of a Qt module it does not name.

Format: every tracked C++ source is formatted as the project's .clang-format says.
"""
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SRC = ROOT / "src"
RULE = re.compile(r"^Uses: (?P<layers>[^.]*)\. Qt: (?P<qt>[^.]*)\.$")
LAYER_INCLUDE = re.compile(r'^\s*#\s*include\s+"(?P<layer>[a-z]+)/')
QT_MODULE_INCLUDE = re.compile(r"^\s*#\s*include\s+<Qt(?P<module>[A-Za-z]+)/")
LINK = re.compile(r"target_link_libraries\(\s*\S+(?P<items>[^)]*)\)", re.S)


def names(text):
    text = text.strip()
    return set() if text == "none" else {n.strip() for n in text.split(",") if n.strip()}


def check_layers():
    problems = []
    layers = sorted(p.name for p in SRC.iterdir() if p.is_dir())
    for layer in layers:
        folder = SRC / layer
        readme = folder / "README.md"
        lines = readme.read_text(encoding="utf-8").strip().splitlines() if readme.exists() else []
        rule = RULE.match(lines[-1]) if lines else None
        if not rule:
            problems.append(f"{readme.relative_to(ROOT)}: last line must read 'Uses: ... . Qt: ... .'")
            continue
        uses, qt = names(rule["layers"]), names(rule["qt"])
        unknown = uses - set(layers)
        if unknown:
            problems.append(f"src/{layer}: README names unknown layers {sorted(unknown)}")

        cmake = (folder / "CMakeLists.txt").read_text(encoding="utf-8")
        linked = set()
        for match in LINK.finditer(re.sub(r"#.*", "", cmake)):
            linked |= {item for item in match["items"].split() if item not in ("PUBLIC", "PRIVATE", "INTERFACE")}
        linked_layers = {item[1:] for item in linked if item.startswith("k") and item[1:] in layers} - {layer}
        linked_qt = {item[len("Qt6::"):] for item in linked if item.startswith("Qt6::")}
        if linked_layers != uses:
            problems.append(f"src/{layer}/CMakeLists.txt links layers {sorted(linked_layers)}, README says {sorted(uses)}")
        if linked_qt != qt:
            problems.append(f"src/{layer}/CMakeLists.txt links Qt {sorted(linked_qt)}, README says {sorted(qt)}")

        allowed = uses | {layer}
        for source in sorted(folder.rglob("*")):
            if source.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
                where = f"{source.relative_to(ROOT)}:{number}"
                include = LAYER_INCLUDE.match(line)
                if include and include["layer"] in layers and include["layer"] not in allowed:
                    problems.append(f"{where}: src/{layer} may not use {include['layer']}")
                module = QT_MODULE_INCLUDE.match(line)
                if module and module["module"] not in qt:
                    problems.append(f"{where}: src/{layer} may not use Qt {module['module']}")
    return problems


def check_format():
    listed = subprocess.run(
        ["git", "ls-files", "--cached", "--others", "--exclude-standard", "--", "*.cpp", "*.h"],
        cwd=ROOT, capture_output=True, text=True)
    if listed.returncode == 0:
        sources = [name for name in listed.stdout.split() if (ROOT / name).exists()]
    else:  # a copy of the tree without its history
        sources = [str(path.relative_to(ROOT)) for folder in ("src", "sim", "tests", "bench", "fuzz")
                   for path in sorted((ROOT / folder).rglob("*")) if path.suffix in (".cpp", ".h")]
    result = subprocess.run(["clang-format", "--dry-run", "--Werror", *sources], cwd=ROOT,
                            capture_output=True, text=True)
    if result.returncode == 0:
        return []
    unformatted = sorted(set(re.findall(r"^(\S+?):\d+:\d+: error", result.stderr, re.M)))
    return [f"{name}: not formatted (clang-format -i {name})" for name in unformatted] or [result.stderr]


def main():
    problems = check_layers() + check_format()
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-sources: {len(problems)} problem(s)", file=sys.stderr)
        return 1
    print("check-sources: layers and formatting are in order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
