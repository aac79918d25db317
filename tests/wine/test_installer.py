#!/usr/bin/env python3
"""The Windows installer under Wine, as Winamp users and scripts run it.

A fake Winamp folder (a Plugins folder in a scratch folder) is recorded as Winamp's own
installer leaves it, in the default value of HKCU\\Software\\Winamp. The installer of the
build under test (VELVOX_WINE_INSTALLER) installs into it silently; velvox-host.exe loads
the installed DLL with the plugin.ini it wrote (switched on here) and serves the installed
skin; a second install and the uninstaller keep the changed plugin.ini. The directory and
finish pages are saved as screenshots under the artifacts folder. Every built installer
and .zip (VELVOX_WINE_BUILDS: the mingw build folders) is checked for what it holds.
"""
import glob
import os
import socket
import subprocess
import sys
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))
import harness  # noqa: E402
import wine_util  # noqa: E402
from wine_util import probe, screenshot  # noqa: E402

# The caption and the page's subcaption, which is a space with the Modern UI.
TITLE = "Velvox %s Setup " % harness.VERSION
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velvox"
SKIN = os.path.join(harness.EXAMPLES_DIR, "web")


def wine(*args, timeout=120):
    """Runs a Windows program of the session; returns the CompletedProcess (text)."""
    return subprocess.run([wine_util.loader(), *args], capture_output=True, timeout=timeout,
                          text=True, errors="replace")


def files_under(folder):
    """Returns {relative path with /: bytes} of every file under folder."""
    found = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder).replace(os.sep, "/")] = f.read()
    return found


def skin_files(prefix):
    """Returns the default skin's files as {prefix + relative path: bytes}."""
    return {prefix + name: data for name, data in files_under(SKIN).items()}


def fake_winamp(name):
    """Makes a Winamp folder with an empty Plugins folder, recorded in the registry as
    Winamp's setup leaves it; returns its path."""
    folder = wine_util.scratch(name)
    os.makedirs(os.path.join(folder, "Plugins"))
    done = wine("reg.exe", "add", r"HKCU\Software\Winamp", "/ve", "/d",
                wine_util.windows_path(folder), "/f")
    assert done.returncode == 0, done.stdout + done.stderr
    return folder


def registry_values(key):
    """Returns {name: data} of the registry key, or None when it is not there."""
    done = wine("reg.exe", "query", key)
    if done.returncode != 0:
        return None
    values = {}
    for line in done.stdout.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2]
    return values


def serve_playlist_page(plugins, port):
    """Runs velvox-host.exe on the installed DLL; returns the reply to /playlist.cgi and the
    player's exit status after quit."""
    host = subprocess.Popen(
        [wine_util.loader(), os.environ["VELVOX_HOST"], "--plugin",
         wine_util.windows_path(os.path.join(plugins, "gen_velvox.dll")),
         wine_util.windows_path(harness.DEMO_SMALL)],
        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        harness.wait_for_port(port, timeout=60, process=host)
        with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
            s.sendall(b"GET /playlist.cgi?current=0 HTTP/1.0\r\n\r\n")
            reply = b"".join(iter(lambda: s.recv(65536), b""))
        host.communicate(b"quit\n", timeout=60)
        return reply, host.returncode
    finally:
        if host.poll() is None:
            host.kill()
            host.wait()


class InstallerTest(unittest.TestCase):
    def install(self, *args):
        return wine(os.environ["VELVOX_WINE_INSTALLER"], *args)

    def test_silent_install_serves_then_keeps_the_settings_through_reinstall_and_uninstall(self):
        winamp = fake_winamp("winamp")
        plugins = os.path.join(winamp, "Plugins")
        ini_path = os.path.join(plugins, "plugin.ini")
        self.assertEqual(self.install("/S").returncode, 0)
        with open(wine_util.setting("DLL"), "rb") as f:
            expected = dict(skin_files("velvox-web/"), **{"gen_velvox.dll": f.read()})
        landed = files_under(plugins)
        self.assertEqual(sorted(landed), sorted(list(expected) +
                                                ["plugin.ini", "uninstall-velvox.exe"]))
        for name, data in expected.items():
            self.assertEqual(landed[name], data, name)
        web_root = wine_util.windows_path(plugins) + "\\velvox-web"
        self.assertEqual(wine_util.read_profile(ini_path),
                         {"HTTP Request": {"WebRoot": web_root, "Playlistfile": "playlist.html"}})
        uninstaller = wine_util.windows_path(plugins) + "\\uninstall-velvox.exe"
        values = registry_values(UNINSTALL_KEY)
        self.assertEqual((values["DisplayVersion"], values["UninstallString"]),
                         (harness.VERSION, '"%s"' % uninstaller))

        # Switched on here, the installed plug-in serves the installed skin's page.
        port = harness.free_port()
        settings = wine_util.read_profile(ini_path)["HTTP Request"]
        settings.update(bDisabled="FALSE", Port=str(port))
        wine_util.write_profile(ini_path, "HTTP Request", settings)
        reply, status = serve_playlist_page(plugins, port)
        self.assertTrue(reply.startswith(b"HTTP/1.1 200 OK"), reply[:200])
        self.assertIn(b"<title>Velvox jukebox</title>", reply)
        self.assertIn(b'<span class="song-title">Marlow Quince - Harbour Lights at Noon</span>',
                      reply)
        self.assertEqual(status, 0)

        # Quit rewrote plugin.ini with every key: the user's file, which stays as it is.
        with open(ini_path, "rb") as f:
            changed = f.read()
        self.assertEqual(self.install("/S").returncode, 0)
        self.assertEqual(files_under(plugins)["plugin.ini"], changed)
        self.assertEqual(wine(uninstaller, "/S").returncode, 0)
        # The uninstaller runs on from a copy of itself and deletes the original last.
        deadline = time.monotonic() + 60
        while os.path.exists(os.path.join(plugins, "uninstall-velvox.exe")):
            self.assertLess(time.monotonic(), deadline, "the uninstaller did not finish")
            time.sleep(0.2)
        self.assertEqual(files_under(plugins), {"plugin.ini": changed})
        self.assertEqual(os.listdir(plugins), ["plugin.ini"])
        self.assertIsNone(registry_values(UNINSTALL_KEY))

    def test_a_folder_without_plugins_is_refused(self):
        folder = wine_util.scratch("not-winamp")
        done = self.install("/S", "/D=" + wine_util.windows_path(folder))
        self.assertEqual(done.returncode, 2)
        self.assertEqual(os.listdir(folder), [])

    def test_directory_and_finish_pages_on_screen(self):
        plugins = os.path.join(fake_winamp("winamp-pages"), "Plugins")
        setup = subprocess.Popen([wine_util.loader(), os.environ["VELVOX_WINE_INSTALLER"]],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            buttons = lambda dump: {c["id"]: c["text"] for c in dump["controls"]
                                    if c["class"] == "Button" and c["visible"]}
            page = probe("window", TITLE, "30000", "sleep", "500", "dump")[0]
            self.assertEqual(buttons(page)[1], "&Install")
            screenshot("installer_directory.png", page)
            probe("window", TITLE, "1000", "click", "1")
            deadline = time.monotonic() + 60
            while buttons(page).get(1) != "&Finish":
                self.assertLess(time.monotonic(), deadline, "no finish page: %r" % page)
                page = probe("window", TITLE, "1000", "sleep", "300", "dump")[0]
            screenshot("installer_finish.png", page)
            probe("window", TITLE, "1000", "click", "1", "gone", "20000")
            self.assertEqual(setup.wait(60), 0)
        finally:
            if setup.poll() is None:
                setup.kill()
        self.assertIn("gen_velvox.dll", os.listdir(plugins))


class PackagesTest(unittest.TestCase):
    def test_installers_and_zips_hold_the_dll_and_the_skin(self):
        for build in os.environ["VELVOX_WINE_BUILDS"].split(os.pathsep):
            with self.subTest(build), open(os.path.join(build, "gen_velvox.dll"), "rb") as f:
                dll = f.read()
                setup, = glob.glob(os.path.join(build, "velvox-%s*-setup.exe" % harness.VERSION))
                listing = subprocess.run(["7z", "l", "-slt", setup], capture_output=True,
                                         text=True, check=True, timeout=60).stdout
                held = [line[7:] for line in listing.splitlines()
                        if line.startswith("Path = Plugins/")]
                expected = dict(skin_files("Plugins/velvox-web/"), **{"Plugins/gen_velvox.dll": dll})
                self.assertEqual(sorted(held), sorted(list(expected) +
                                                      ["Plugins/uninstall-velvox.exe"]))
                for name, data in expected.items():
                    self.assertEqual(subprocess.run(["7z", "x", "-so", setup, name],
                                                    capture_output=True, check=True,
                                                    timeout=60).stdout, data, name)
                with zipfile.ZipFile(setup[:-len("-setup.exe")] + ".zip") as z:
                    files = {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
                readme = files.pop("README.txt").decode("ascii")
                self.assertEqual(files, dict(skin_files("velvox-web/"), **{"gen_velvox.dll": dll}))
                self.assertIn("Velvox %s" % harness.VERSION, readme)


if __name__ == "__main__":
    unittest.main()
