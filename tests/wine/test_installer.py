#!/usr/bin/env python3
"""The installer (VELVOX_WINE_INSTALLER) under Wine, into a fake Winamp folder named by the
registry."""
import os
import pathlib
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(os.path.dirname(HERE), "e2e")]
import harness  # noqa: E402
import wine_util  # noqa: E402
from wine_util import probe, screenshot, windows_path  # noqa: E402

TITLE = "Velvox %s Setup " % harness.VERSION  # the Modern UI's page subcaption is a space
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velvox"


def wine(*args):
    return subprocess.run([wine_util.loader(), *args], capture_output=True, timeout=120)


def files_under(folder, prefix=""):
    """Returns {prefix + relative path with /: bytes} of every file under folder."""
    return {prefix + os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/"):
            pathlib.Path(root, name).read_bytes()
            for root, _, names in os.walk(folder) for name in names}


def fake_winamp(name):
    """Returns the Plugins folder of a new Winamp folder that the registry names."""
    folder = wine_util.scratch(name)
    os.makedirs(folder + "/Plugins")
    wine("reg.exe", "add", r"HKCU\Software\Winamp", "/ve", "/d", windows_path(folder), "/f")
    return folder + "/Plugins"


def install(*args):
    return wine(os.environ["VELVOX_WINE_INSTALLER"], *args).returncode


class InstallerTest(unittest.TestCase):
    def test_silent_install_serves_and_reinstall_and_uninstall_keep_plugin_ini(self):
        refused = wine_util.scratch("not-winamp")  # no Plugins folder: status 2, nothing written
        self.assertEqual((install("/S", "/D=" + windows_path(refused)), os.listdir(refused)),
                         (2, []))
        plugins = fake_winamp("winamp")
        ini = plugins + "/plugin.ini"
        self.assertEqual(install("/S"), 0)
        landed = files_under(plugins)
        self.assertTrue(landed.pop("uninstall-velvox.exe"))
        self.assertEqual(landed, dict(files_under(harness.EXAMPLES_DIR + "/web", "velvox-web/"), **{
            "gen_velvox.dll": pathlib.Path(wine_util.setting("DLL")).read_bytes(),
            "plugin.ini": landed.get("plugin.ini")}))
        settings = wine_util.read_profile(ini)["HTTP Request"]
        self.assertEqual(settings, {"WebRoot": windows_path(plugins) + "\\velvox-web",
                                    "Playlistfile": "playlist.html"})
        uninstaller = windows_path(plugins) + "\\uninstall-velvox.exe"
        self.assertIn(uninstaller.encode(), wine("reg.exe", "query", UNINSTALL_KEY).stdout)

        # Switched on here, the installed DLL serves the installed skin's page.
        port = harness.free_port()
        wine_util.write_profile(ini, "HTTP Request", dict(settings, bDisabled="FALSE",
                                                          Port=str(port)))
        host = subprocess.Popen([wine_util.loader(), os.environ["VELVOX_HOST"], "--plugin",
                                 windows_path(plugins) + "\\gen_velvox.dll",
                                 windows_path(harness.DEMO_SMALL)], stdin=subprocess.PIPE)
        self.addCleanup(host.kill)
        harness.wait_for_port(port, timeout=60, process=host)
        page = harness.get(port, "/playlist.cgi?current=0")
        self.assertTrue(page.startswith(b"HTTP/1.1 200 OK"), page[:200])
        self.assertIn(b'"song-title">Marlow Quince - Harbour Lights at Noon</span>', page)
        host.communicate(b"quit\n", timeout=60)
        self.assertEqual(host.returncode, 0)

        # Quit rewrote plugin.ini with every key; the user changes the page too.
        wine_util.write_profile(ini, "HTTP Request", dict(
            wine_util.read_profile(ini)["HTTP Request"], Playlistfile="mine.html"))
        changed = {"plugin.ini": pathlib.Path(ini).read_bytes()}
        self.assertEqual(install("/S"), 0)
        self.assertEqual(files_under(plugins)["plugin.ini"], changed["plugin.ini"])
        self.assertEqual(wine(uninstaller, "/S").returncode, 0)
        deadline = time.monotonic() + 60  # it runs on from a copy, deleting itself last
        while os.path.exists(plugins + "/uninstall-velvox.exe") and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual((os.listdir(plugins), files_under(plugins)), (["plugin.ini"], changed))
        self.assertNotEqual(wine("reg.exe", "query", UNINSTALL_KEY).returncode, 0)

    def test_directory_and_finish_pages_on_screen(self):
        plugins = fake_winamp("winamp-pages")
        setup = subprocess.Popen([wine_util.loader(), os.environ["VELVOX_WINE_INSTALLER"]])
        self.addCleanup(setup.kill)
        page = probe("window", TITLE, "30000", "sleep", "500", "dump")[0]
        buttons = lambda: {c["id"]: c["text"] for c in page["controls"] if c["visible"]}
        self.assertEqual(buttons()[1], "&Install")
        screenshot("installer_directory.png", page)
        probe("window", TITLE, "1000", "click", "1")
        deadline = time.monotonic() + 60
        while buttons().get(1) != "&Finish" and time.monotonic() < deadline:
            page = probe("window", TITLE, "1000", "sleep", "300", "dump")[0]
        screenshot("installer_finish.png", page)
        self.assertEqual(buttons()[1], "&Finish")
        probe("window", TITLE, "1000", "click", "1", "gone", "20000")
        self.assertEqual((setup.wait(60), "gen_velvox.dll" in os.listdir(plugins)), (0, True))


if __name__ == "__main__":
    unittest.main()
