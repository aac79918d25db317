#!/usr/bin/env python3
"""The Debian package: built in a copy of the tree (VELVOX_DEB_DIR, default build/deb), lintian;
as root, installed, the unit's commands run as velvox against a real MPD, removed and purged."""
import os
import pwd
import shlex
import shutil
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
import harness  # noqa: E402
from busy_load import BusyLoad  # noqa: E402
from mpd_fixture import MpdServer, Song, Watcher  # noqa: E402

OUT = os.path.abspath(os.environ.get("VELVOX_DEB_DIR", harness.SOURCE_DIR + "/build/deb"))
UNIT, STATE = "/lib/systemd/system/velvox.service", "/var/lib/velvox"
SKIN = harness.EXAMPLES_DIR + "/web"
FILES = sorted(["./etc/default/velvox", "." + UNIT, "./usr/bin/velvox-host",
                "./usr/lib/velvox/libvelvox.so", "./usr/lib/velvox/velvox-settings",
                "./usr/share/doc/velvox/changelog.gz", "./usr/share/doc/velvox/copyright",
                "./usr/share/lintian/overrides/velvox", "./usr/share/man/man1/velvox-host.1.gz"] +
               ["./usr/share/velvox/web/" + os.path.relpath(os.path.join(folder, n), SKIN)
                for folder, _, names in os.walk(SKIN) for n in names])


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=1800, **kwargs)


def setUpModule():
    global deb
    shutil.rmtree(OUT, ignore_errors=True)
    shutil.copytree(harness.SOURCE_DIR, OUT + "/src", symlinks=True, ignore=lambda folder, _: (
        {"build", ".git"} if folder == harness.SOURCE_DIR else set()) | {"node_modules"})
    done = run("dpkg-buildpackage", "-b", "-us", "-uc", cwd=OUT + "/src", env=dict(
        os.environ, DEB_BUILD_OPTIONS="nocheck parallel=%d" % (os.cpu_count() or 2)))
    assert done.returncode == 0, "dpkg-buildpackage failed:\n" + (done.stdout + done.stderr)[-4000:]
    deb = "%s/velvox_%s_%s.deb" % (OUT, harness.VERSION,
                                   run("dpkg", "--print-architecture").stdout.strip())
    assert os.path.exists(deb), "no %s: debian/changelog names another version" % deb


class PackageTest(unittest.TestCase):
    def test_its_files_and_no_lintian_errors(self):
        listing = [line.split() for line in run("dpkg-deb", "-c", deb).stdout.splitlines()]
        files = {fields[5]: fields[0] for fields in listing if fields[0][0] != "d"}
        self.assertEqual((sorted(files), files["./etc/default/velvox"]), (FILES, "-rw-------"))
        done = run("lintian", "--fail-on", "error", "--show-overrides", deb)
        print("%s: %d bytes\n%s" % (deb, os.path.getsize(deb), done.stdout + done.stderr))
        self.assertEqual(done.returncode, 0)


@unittest.skipUnless(os.geteuid() == 0, "dpkg -i needs root: run the test command as root (as CI "
                     "does) to install, run and purge the package")
class InstalledTest(unittest.TestCase):
    def test_install_run_the_units_commands_remove_and_purge(self):
        run("dpkg", "--purge", "velvox")
        self.addCleanup(run, "dpkg", "--purge", "velvox")
        done = run("dpkg", "-i", deb)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        if os.path.isdir("/run/systemd/system"):
            run("systemctl", "stop", "velvox")  # started by the package: the test runs its own
        user = pwd.getpwnam("velvox")
        self.assertEqual((user.pw_uid < 1000, os.stat(STATE).st_uid), (True, user.pw_uid))
        if shutil.which("systemd-analyze"):
            done = run("systemd-analyze", "verify", UNIT)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.run_units_commands()
        self.assertEqual(run("dpkg", "--remove", "velvox").returncode, 0)
        self.assertEqual((os.path.exists("/usr/bin/velvox-host"), os.path.exists(STATE),
                          run("id", "velvox").returncode), (False, True, 0))
        self.assertEqual(run("dpkg", "--purge", "velvox").returncode, 0)
        left = [path for path in [STATE, "/usr/lib/velvox", "/usr/share/velvox"] +
                [name[1:] for name in FILES] if os.path.lexists(path)]
        self.assertEqual((left, run("getent", "passwd", "velvox").stdout,
                          run("getent", "group", "velvox").stdout), ([], "", ""))

    def run_units_commands(self):
        """The unit's commands with its environment's keys: a page, a request plays, plugin.ini."""
        mpd = MpdServer([Song("a.ogg", 2, "Alder Lane", "Morning Frost"),
                         Song("b.ogg", 2, "Birch & Co", "Paper Kites"),
                         Song("c.ogg", 2, "Cedar Hollow", "Northbound")])
        self.addCleanup(mpd.close)
        port = harness.free_port()
        values = {"MPD_HOST": "127.0.0.1", "MPD_PORT": str(mpd.port), "VELVOX_PORT": str(port),
                  "VELVOX_ADMIN_PASSWORD": "Pw7"}
        with open(UNIT) as f:
            lines = dict((key, shlex.split(value)) for key, value in (
                line.split("=", 1) for line in f.read().splitlines() if line[:9] == "ExecStart"))
        unit = dict(user="velvox", group="velvox", extra_groups=[], cwd=STATE, umask=0o027,
                    stdin=subprocess.DEVNULL, env=dict(values, PATH="/usr/bin:/bin"))
        self.assertEqual(subprocess.run(lines["ExecStartPre"], timeout=30, **unit).returncode, 0)
        watcher = Watcher(mpd)
        self.addCleanup(watcher.close)
        with BusyLoad(seconds=60):
            player = subprocess.Popen(lines["ExecStart"], stdout=subprocess.DEVNULL, **unit)
            self.addCleanup(player.kill)
            harness.wait_for_port(port, timeout=20, process=player)
            mpd.command("play 0")
            page = harness.get(port, "/playlist.cgi?current=0")
            self.assertTrue(page.startswith(b"HTTP/1.1 200 OK"), page[:200])
            self.assertIn(b'<span class="song-title">Cedar Hollow - Northbound</span>', page)
            self.assertIn(b"HTTP/1.0 302", harness.get(port, "/request.cgi?listpos=2"))
            self.assertEqual(watcher.wait_played(2, timeout=15), [0, 2])
            player.send_signal(signal.SIGTERM)  # the unit's KillSignal: the quit sequence
            self.assertEqual(player.wait(30), 0)
        with open(STATE + "/plugin.ini") as f:
            ini = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        self.assertEqual([ini[k] for k in ("bDisabled", "Port", "AdminPassword", "WebRoot")],
                         ["FALSE", str(port), "Pw7", "/usr/share/velvox/web"])


if __name__ == "__main__":
    unittest.main()
