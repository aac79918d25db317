#!/usr/bin/env python3
"""The Windows installer (VELVOX_WINE_INSTALLER) under Wine, into a fake Winamp folder named by
HKCU\\Software\\Winamp as Winamp's setup leaves it; and what each built installer and .zip holds
(VELVOX_WINE_BUILDS: the mingw build folders)."""
import glob
import os
import socket
import subprocess
import sys
import time
import unittest
import zipfile

sys.path[:0] = [os.path.dirname(os.path.abspath(__file__)),
                os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e")]
import harness  # noqa: E402
import wine_util  # noqa: E402
from wine_util import probe, screenshot  # noqa: E402

TITLE = "Velvox %s Setup " % harness.VERSION  # the Modern UI's page subcaption is a space
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velvox"


def wine(*args):
    return subprocess.run([wine_util.loader(), *args], capture_output=True, text=True,
                          errors="replace", timeout=120)


def files_under(folder, prefix=""):
    """Returns {prefix + relative path with /: bytes} of every file under folder."""
    found = {}
    for root, _, names in os.walk(folder):
        for name in names:
            with open(os.path.join(root, name), "rb") as f:
                found[prefix + os.path.relpath(f.name, folder).replace(os.sep, "/")] = f.read()
    return found


def skin(prefix):
    return files_under(os.path.join(harness.EXAMPLES_DIR, "web"), prefix)


def fake_winamp(name):
    """Returns the Plugins folder of a new Winamp folder that the registry names."""
    folder = wine_util.scratch(name)
    os.makedirs(os.path.join(folder, "Plugins"))
    assert wine("reg.exe", "add", r"HKCU\Software\Winamp", "/ve", "/d",
                wine_util.windows_path(folder), "/f").returncode == 0
    return os.path.join(folder, "Plugins")


def serve_playlist_page(plugins, port):
    """Runs velvox-host.exe on the installed DLL; returns the playlist page and quit's status."""
    host = subprocess.Popen([wine_util.loader(), os.environ["VELVOX_HOST"], "--plugin",
                             wine_util.windows_path(plugins) + "\\gen_velvox.dll",
                             wine_util.windows_path(harness.DEMO_SMALL)],
                            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    try:
        harness.wait_for_port(port, timeout=60, process=host)
        with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
            s.sendall(b"GET /playlist.cgi?current=0 HTTP/1.0\r\n\r\n")
            page = b"".join(iter(lambda: s.recv(65536), b""))
        host.communicate(b"quit\n", timeout=60)
        return page, host.returncode
    finally:
        host.kill()


class InstallerTest(unittest.TestCase):
    def install(self, *args):
        return wine(os.environ["VELVOX_WINE_INSTALLER"], *args).returncode

    def test_silent_install_serves_and_reinstall_and_uninstall_keep_plugin_ini(self):
        plugins = fake_winamp("winamp")
        ini = os.path.join(plugins, "plugin.ini")
        self.assertEqual(self.install("/S"), 0)
        with open(wine_util.setting("DLL"), "rb") as f:
            expected = dict(skin("velvox-web/"), **{"gen_velvox.dll": f.read()})
        landed = files_under(plugins)
        self.assertEqual(sorted(landed), sorted([*expected, "plugin.ini", "uninstall-velvox.exe"]))
        self.assertEqual({name: landed[name] for name in expected}, expected)
        settings = wine_util.read_profile(ini)["HTTP Request"]
        self.assertEqual(settings, {"WebRoot": wine_util.windows_path(plugins) + "\\velvox-web",
                                    "Playlistfile": "playlist.html"})
        uninstaller = wine_util.windows_path(plugins) + "\\uninstall-velvox.exe"
        self.assertIn('"%s"' % uninstaller, wine("reg.exe", "query", UNINSTALL_KEY).stdout)

        port = harness.free_port()
        wine_util.write_profile(ini, "HTTP Request", dict(settings, bDisabled="FALSE",
                                                          Port=str(port)))
        page, status = serve_playlist_page(plugins, port)
        self.assertTrue(page.startswith(b"HTTP/1.1 200 OK"), page[:200])
        for line in (b"<title>Velvox jukebox</title>",
                     b'<span class="song-title">Marlow Quince - Harbour Lights at Noon</span>'):
            self.assertIn(line, page)
        self.assertEqual(status, 0)

        # Quit rewrote plugin.ini with every key; the user changes the skin's page too.
        wine_util.write_profile(ini, "HTTP Request", dict(
            wine_util.read_profile(ini)["HTTP Request"], Playlistfile="mine.html"))
        changed = files_under(plugins)["plugin.ini"]
        self.assertEqual(self.install("/S"), 0)
        self.assertEqual(files_under(plugins)["plugin.ini"], changed)
        self.assertEqual(wine(uninstaller, "/S").returncode, 0)
        deadline = time.monotonic() + 60  # it runs on from a copy, deleting itself last
        while os.path.exists(os.path.join(plugins, "uninstall-velvox.exe")):
            self.assertLess(time.monotonic(), deadline, "the uninstaller did not finish")
            time.sleep(0.2)
        self.assertEqual((os.listdir(plugins), files_under(plugins)),
                         (["plugin.ini"], {"plugin.ini": changed}))
        self.assertNotEqual(wine("reg.exe", "query", UNINSTALL_KEY).returncode, 0)

    def test_a_folder_without_plugins_is_refused(self):
        folder = wine_util.scratch("not-winamp")
        self.assertEqual(self.install("/S", "/D=" + wine_util.windows_path(folder)), 2)
        self.assertEqual(os.listdir(folder), [])

    def test_directory_and_finish_pages_on_screen(self):
        plugins = fake_winamp("winamp-pages")
        setup = subprocess.Popen([wine_util.loader(), os.environ["VELVOX_WINE_INSTALLER"]])
        try:
            page = probe("window", TITLE, "30000", "sleep", "500", "dump")[0]
            buttons = lambda: {c["id"]: c["text"] for c in page["controls"] if c["visible"]}
            self.assertEqual(buttons()[1], "&Install")
            screenshot("installer_directory.png", page)
            probe("window", TITLE, "1000", "click", "1")
            deadline = time.monotonic() + 60
            while buttons().get(1) != "&Finish":
                self.assertLess(time.monotonic(), deadline, "no finish page: %r" % page)
                page = probe("window", TITLE, "1000", "sleep", "300", "dump")[0]
            screenshot("installer_finish.png", page)
            probe("window", TITLE, "1000", "click", "1", "gone", "20000")
            self.assertEqual(setup.wait(60), 0)
        finally:
            setup.kill()
        self.assertIn("gen_velvox.dll", os.listdir(plugins))

    def test_each_installer_and_zip_holds_its_dll_and_the_skin(self):
        for build in os.environ["VELVOX_WINE_BUILDS"].split(os.pathsep):
            with self.subTest(build), open(os.path.join(build, "gen_velvox.dll"), "rb") as f:
                expected = dict(skin("velvox-web/"), **{"gen_velvox.dll": f.read()})
                setup, = glob.glob(os.path.join(build, "velvox-%s*-setup.exe" % harness.VERSION))
                listing = subprocess.run(["7z", "l", "-slt", setup], capture_output=True,
                                         text=True, check=True).stdout.splitlines()
                held = {line[15:]: subprocess.run(["7z", "x", "-so", setup, line[7:]],
                                                  capture_output=True, check=True).stdout
                        for line in listing if line.startswith("Path = Plugins/")}
                self.assertTrue(held.pop("uninstall-velvox.exe"))  # the stub, written at install
                self.assertEqual(held, expected)
                with zipfile.ZipFile(setup[:-len("-setup.exe")] + ".zip") as z:
                    zipped = {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
                self.assertIn(b"Velvox " + harness.VERSION.encode(), zipped.pop("README.txt"))
                self.assertEqual(zipped, expected)


if __name__ == "__main__":
    unittest.main()
