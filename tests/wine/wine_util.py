"""Helpers of the Wine tests: paths as Windows sees them, the test tools, scratch folders.

The tests run inside the session of wine-session.sh (WINEPREFIX, DISPLAY, VELVOX_WINE set)
with VELVOX_WINE_* naming the files under test, the tools' folder and the scratch folders.
"""
import functools
import json
import os
import shutil
import subprocess


def setting(name):
    """Returns the value of the environment variable VELVOX_WINE_<name>, which must be set."""
    value = os.environ.get("VELVOX_WINE_" + name)
    if not value:
        raise RuntimeError(f"VELVOX_WINE_{name} is not set: run this test through ctest")
    return value


def loader():
    """Returns the wine command of the session (wine, or wine64 for a 64-bit session)."""
    return os.environ.get("VELVOX_WINE", "wine")


@functools.lru_cache(maxsize=None)
def windows_path(path):
    """Returns the Windows form of a Linux path (winepath -w), e.g. Z:\\work\\x."""
    out = subprocess.run([loader(), "winepath.exe", "-w", os.path.abspath(path)], check=True,
                         capture_output=True, text=True, timeout=60).stdout
    return out.strip()


def scratch(name):
    """Returns an empty scratch folder of the given name under the tests' work folder."""
    folder = os.path.join(setting("WORK"), name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def artifact(name):
    """Returns the path under the artifacts folder at which a file of that name is kept."""
    folder = setting("ARTIFACTS")
    os.makedirs(folder, exist_ok=True)
    return os.path.join(folder, name)


def copy_plugin(folder):
    """Copies the DLL under test into the folder (plugin.ini is kept beside it); returns its path."""
    target = os.path.join(folder, "gen_velvox.dll")
    shutil.copyfile(setting("DLL"), target)
    return target


def run_tool(tool, *args, timeout=60, check=True):
    """Runs tools/<tool>.exe under Wine; returns the CompletedProcess (stdout, CRLF removed)."""
    exe = os.path.join(setting("TOOLS"), tool + ".exe")
    done = subprocess.run([loader(), exe, *args], capture_output=True, timeout=timeout)
    done.stdout = done.stdout.decode("ascii", "replace").replace("\r\n", "\n")
    done.stderr = done.stderr.decode("ascii", "replace").replace("\r\n", "\n")
    if check and done.returncode != 0:
        raise AssertionError(f"{tool} {' '.join(args)} failed ({done.returncode}):\n"
                             f"{done.stdout}{done.stderr}")
    return done


def probe(*actions, check=True):
    """Runs dialog_probe.exe with the actions; returns its JSON lines as objects."""
    done = run_tool("dialog_probe", *actions, check=check)
    return [json.loads(line) for line in done.stdout.splitlines() if line.startswith("{")]


def screenshot(name, dump):
    """Saves the window of the dump, cut from the Xvfb screen, as a PNG artifact; returns its
    path. (Wine's virtual desktop sits at the screen's top left corner.)"""
    left, top, right, bottom = dump["screen_rect"]
    path = artifact(name)
    subprocess.run(["import", "-window", "root", "-crop",
                    f"{right - left}x{bottom - top}+{left}+{top}", "+repage", path],
                   check=True, timeout=60)
    return path


def read_profile(path):
    """Returns {section: {key: value}} of a private-profile file as Wine writes it (CRLF, ANSI)."""
    sections = {}
    current = None
    with open(path, encoding="cp1252") as f:
        for line in f.read().splitlines():
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1], {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key] = value
    return sections


def write_profile(path, section, values):
    """Writes a private-profile file with one section, CRLF line ends, ANSI text."""
    lines = [f"[{section}]"] + [f"{key}={value}" for key, value in values.items()]
    with open(path, "w", encoding="cp1252", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
