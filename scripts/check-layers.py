#!/usr/bin/env python3
"""Keeps the layering of src/ true. Fails (exit 1, one line per finding) when:
- a file of one src/ folder includes a header of a folder at its own level or
  above (platform at the bottom, plugin at the top);
- a platform header is included by C++ code outside src/platform/ (a resource
  script may take <windows.h> for its style names: it holds no code);
- a .cpp file under a src/ folder is missing from that folder's CMakeLists.txt,
  or the CMakeLists.txt collects sources with a glob or a regex filter.
The stand-in player (player/) is checked too: it speaks to the plug-in only
through the contract (the record's shape, the player's messages) and the
platform layer, so it may include platform/, core/host_ops.h and
plugin/plugin_record.h and nothing else of src/; platform headers only in
player/posix/ and player/win32/; its sources listed in its CMakeLists.txt.
Usage: scripts/check-layers.py [SRC_DIR]   (default: the src/ beside scripts/)
"""
import pathlib
import re
import sys

# Lower number = lower layer. Folders on one level must not include each other.
LAYERS = {"platform": 0, "core": 1, "queue": 2, "http": 2, "pages": 3, "server": 4, "plugin": 5}

PLATFORM_HEADERS = re.compile(
    r"^(windows|winsock2?|ws2tcpip|windowsx|commctrl|mswsock|io|process|direct|"
    r"unistd|pthread|dlfcn|netdb|fcntl|poll|termios|signal|"
    r"sys/.*|arpa/.*|netinet/.*)\.h$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def includes(path):
    """Yields (where, kind, name) for each #include of a source file: kind is '"' or '<'."""
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        m = INCLUDE.match(line)
        if m:
            yield (f"{path}:{number}",) + m.groups()


def check_file(path, folder, findings):
    """Appends the findings of one source file."""
    for where, kind, name in includes(path):
        if folder != "platform" and path.suffix != ".rc" and PLATFORM_HEADERS.match(name):
            findings.append(f"{where}: platform header <{name}> outside src/platform/")
        if kind == '"' and "/" in name:
            target = name.split("/", 1)[0]
            if target in LAYERS and target != folder and LAYERS[target] >= LAYERS[folder]:
                findings.append(f"{where}: {folder}/ includes {name}, which is not below it")


# What the player may include of src/.
PLAYER_MAY_INCLUDE = re.compile(r"^(platform/.*|core/host_ops\.h|plugin/plugin_record\.h)$")


def check_player_file(path, findings):
    """Appends the findings of one source file of the stand-in player."""
    front = path.parent.name in ("posix", "win32")
    for where, kind, name in includes(path):
        if not front and PLATFORM_HEADERS.match(name):
            findings.append(f"{where}: platform header <{name}> outside player/posix, player/win32")
        if kind == '"' and "/" in name and name.split("/", 1)[0] in LAYERS and \
                not PLAYER_MAY_INCLUDE.match(name):
            findings.append(f"{where}: the player includes {name}, which is not of the contract")


def check_cmake(folder_path, findings):
    """Appends the findings of one folder's CMakeLists.txt."""
    cmake = folder_path / "CMakeLists.txt"
    if not cmake.exists():
        findings.append(f"{folder_path}: no CMakeLists.txt")
        return
    text = cmake.read_text()
    if re.search(r"file\s*\(\s*GLOB|list\s*\(\s*FILTER", text):
        findings.append(f"{cmake}: sources must be listed, not globbed or filtered")
    listed = set(re.findall(r"[\w/${}]+\.(?:cpp|rc)", text))
    names = {entry.split("}/")[-1] for entry in listed}
    for source in folder_path.rglob("*.cpp"):
        relative = source.relative_to(folder_path)
        name = relative.name if len(relative.parts) > 1 else str(relative)
        if str(relative) not in listed and name not in names:
            findings.append(f"{source}: not listed in {cmake}")


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                       pathlib.Path(__file__).resolve().parent.parent / "src")
    findings = []
    for folder_path in sorted(p for p in src.iterdir() if p.is_dir()):
        folder = folder_path.name
        if folder not in LAYERS:
            findings.append(f"{folder_path}: a folder that is no layer (add it to LAYERS)")
            continue
        for path in sorted(folder_path.rglob("*")):
            if path.suffix in (".h", ".cpp", ".rc"):
                check_file(path, folder, findings)
        check_cmake(folder_path, findings)
    player = src.parent / "player"
    if player.is_dir():
        for path in sorted(player.rglob("*")):
            if path.suffix in (".h", ".cpp"):
                check_player_file(path, findings)
        check_cmake(player, findings)
    for finding in findings:
        print(finding)
    if findings:
        print(f"layer check: {len(findings)} finding(s)")
        return 1
    print("layer check: every include points down, platform headers only in platform/ "
          "and the player's fronts")
    return 0


if __name__ == "__main__":
    sys.exit(main())
