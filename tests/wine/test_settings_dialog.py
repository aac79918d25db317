#!/usr/bin/env python3
"""The settings dialog of gen_velvox.dll under Wine, driven as a user would.

velvox-host.exe runs `config`; dialog_probe.exe (tools/) finds the dialog by its title,
reads every control, types into the fields, presses buttons and keys. A screenshot of
the open dialog and of the about box is kept under the artifacts folder.
"""
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))
import harness  # noqa: E402
import wine_util  # noqa: E402
from wine_util import probe, screenshot  # noqa: E402

TITLE = "HTTP Request(Velvox)"
SECTION = "HTTP Request"
ES_AUTOHSCROLL, ES_NUMBER, ES_PASSWORD, WS_TABSTOP = 0x80, 0x2000, 0x20, 0x10000

# id -> (window class, text in the layout or None for a field showing its setting, label)
LAYOUT = {
    1026: ("Button", "プラグイン無効化(リクエストを受け付けない)", None),
    1062: ("Button", "おｋ", None),
    1063: ("Edit", None, "WebRoot\nディレクトリ"),
    1064: ("Edit", None, "ポート"),
    1065: ("Edit", None, "playlist.cgi\nテンプレート"),
    1079: ("Edit", None, "同じIPからの最大リクエスト数"),
    1083: ("Edit", None, "表示するプレイリストのアイテム数"),
    1084: ("Edit", None, "最大キュー数"),
    1007: ("Edit", None, "管理パスワード"),
}
# Buttons for the commands without a control in the layout: Cancel, About and More...
EXTRA_BUTTONS = {1001, 1012, 1105}
MORE_TITLE = "More settings (Velvox)"
# The second dialog's groups and their fields, in tab order (1102, 1104, 1109: check boxes).
MORE_GROUPS = {"Fair play": [1101, 1102, 1103, 1104], "Party controls": [1106, 1107, 1108],
               "Search and pages": [1109, 1110], "Connections": [1111, 1112, 1113, 1114]}
TAB, ENTER = "9", "13"
GROUPS = {"設定": (1063, 1064, 1065), "制限": (1079, 1083, 1084)}


def inside(inner, outer):
    """Returns whether the rectangle inner ([left, top, right, bottom]) lies within outer."""
    return (outer[0] <= inner[0] and outer[1] <= inner[1] and inner[2] <= outer[2]
            and inner[3] <= outer[3])


class SettingsDialogTest(unittest.TestCase):
    def start(self, **settings):
        """Runs velvox-host.exe (harness.Player) on a copy of the DLL with plugin.ini holding
        the settings; waits for "ready" and, when the plug-in is enabled, for its listener."""
        self.player = harness.Player(
            entries=[("Artist - First", 200), ("Artist - Second", 100)],
            web_files={"playlist.html": "<html>\r\n<body>Hello</body>\n</html>"},
            settings=settings, timeout=30)
        self.addCleanup(self.player.close)
        return self.player

    def open_dialog(self):
        """Runs config and returns the dialog's dump once it is on screen."""
        self.player.send_line("config")
        return probe("window", TITLE, "20000", "dump")[0]

    def answers_since(self, index):
        """Returns the console answers printed from output line index on."""
        return [line for line in self.player.stdout_lines[index:]
                if line == "ok" or line.startswith(("ok ", "error"))]

    def check_layout(self, dump):
        """Checks the title, every control's id, class, text and style, and the labels."""
        self.assertEqual(dump["title"], TITLE)
        by_id = {c["id"]: c for c in dump["controls"]}
        unnamed = [c for c in dump["controls"] if c["id"] in (-1, 65535)]
        named = {i for i in by_id if i not in (-1, 65535)}
        self.assertEqual(named - EXTRA_BUTTONS, set(LAYOUT), "controls with an id")
        for ident, (cls, text, _) in LAYOUT.items():
            control = by_id[ident]
            self.assertEqual(control["class"], cls, ident)
            self.assertTrue(control["visible"], ident)
            if text is not None:
                self.assertEqual(control["text"], text, ident)
            if cls == "Edit":
                self.assertEqual(control["style"] & (ES_AUTOHSCROLL | WS_TABSTOP),
                                 ES_AUTOHSCROLL | WS_TABSTOP, f"{ident} scrolls and is a tab stop")
                self.assertFalse(control["style"] & ES_PASSWORD, f"{ident} shows its text")
        self.assertEqual(by_id[1026]["style"] & 0xF, 3, "1026 is a check box that toggles itself")
        self.assertTrue(by_id[1079]["style"] & ES_NUMBER, "1079 takes digits only")
        # Each field's label is the nearest text to its left on the same row.
        statics = [c for c in unnamed if c["class"] == "Static"]
        for ident, (_, _, label) in LAYOUT.items():
            if label is None:
                continue
            field = by_id[ident]["rect"]
            beside = [s for s in statics
                      if s["rect"][2] <= field[0] and s["rect"][1] < field[3]
                      and field[1] < s["rect"][3]]
            self.assertTrue(beside, f"no label left of {ident}")
            nearest = max(beside, key=lambda s: s["rect"][2])
            self.assertEqual(nearest["text"], label, f"label of {ident}")
        groups = {c["text"]: c for c in unnamed if c["class"] == "Button"
                  and c["style"] & 0xF == 7}
        self.assertEqual(set(groups), set(GROUPS))
        for text, members in GROUPS.items():
            for ident in members:
                self.assertTrue(inside(by_id[ident]["rect"], groups[text]["rect"]),
                                f"{ident} in group {text}")
        self.assertTrue(any(s["text"] == "Velvox " + harness.VERSION for s in statics),
                        "a label names the product and its version")

    def test_layout_keys_about_box_ok_and_settings_file(self):
        p = self.start(WebRoot="C:\\velvox\\web", Playlistfile="playlist.html",
                       AdminPassword="s3cret", g_MaxRequestsPerIP="4", g_MaxEntries="30",
                       g_MaxQueueSize="60")
        # Cancel (1001) closes the dialog without reading any field.
        self.open_dialog()
        probe("window", TITLE, "1000", "set", "1063", "C:\\not\\taken", "post", "1001",
              "gone", "10000")
        self.assertEqual(p.read_answer(), "ok")

        opened_at = len(p.stdout_lines)
        # The form as the DLL ships it: caption and font of its dialog template.
        self.assertEqual(probe("template", p.player_path(p.module_path)),
                         [{"caption": TITLE, "font": "ＭＳ Ｐゴシック", "points": 9,
                           "charset": 128}])
        dump = self.open_dialog()
        self.check_layout(dump)
        fields = {c["id"]: c["text"] for c in dump["controls"]}
        self.assertEqual(
            [fields[i] for i in (1063, 1064, 1065, 1079, 1083, 1084, 1007)],
            ["C:\\velvox\\web", str(p.port), "playlist.html", "4", "30", "60", "s3cret"])
        self.assertEqual(probe("window", TITLE, "1000", "checked", "1026")[0]["checked"], 0)
        shot = screenshot("settings_dialog.png", dump)
        self.assertGreater(os.path.getsize(shot), 1000)

        # 1012 shows the about box; the dialog stays open behind it.
        probe("window", TITLE, "1000", "post", "1012")
        about = probe("window", "Velvox", "10000", "dump")[0]
        texts = [c["text"] for c in about["controls"] if c["class"] == "Static" and c["text"]]
        self.assertEqual(len(texts), 1, about)
        lines = texts[0].replace("\r\n", "\n").split("\n")
        self.assertEqual(lines[:2], ["Velvox " + harness.VERSION, "By: Tarnwick"])
        self.assertEqual(len(lines), 3)
        self.assertTrue(lines[2], "the maker's web address")
        self.assertIn("OK", [c["text"] for c in about["controls"] if c["class"] == "Button"])
        screenshot("about_box.png", about)
        # Escape closes the about box: keys do reach the windows of this session.
        probe("window", "Velvox", "1000", "escape", "gone", "10000")
        probe("window", TITLE, "1000", "alive")
        # Its OK button closes it as well.
        probe("window", TITLE, "1000", "post", "1012")
        probe("window", "Velvox", "10000", "click", "1", "gone", "10000")

        # Escape, the close box and the cancel command that Escape sends leave it open.
        probe("window", TITLE, "1000", "escape", "sleep", "500", "alive",
              "close", "sleep", "500", "alive", "post", "2", "sleep", "500", "alive")
        self.assertEqual(self.answers_since(opened_at), [],
                         "config returned while the dialog is open")

        # Type new values, tick the box and press OK: the dialog closes and config returns.
        long_root = "C:\\" + "w" * 1100
        long_password = "p" * 300
        probe("window", TITLE, "1000",
              "set", "1063", long_root, "set", "1064", "12345678901", "set", "1065", "list.html",
              "set", "1079", "7", "set", "1083", "12x", "set", "1084", "99",
              "set", "1007", long_password, "click", "1026")
        self.assertEqual(probe("window", TITLE, "1000", "checked", "1026")[0]["checked"], 1)
        probe("window", TITLE, "1000", "click", "1062", "gone", "10000")
        self.assertEqual(p.read_answer(), "ok")
        self.assertEqual(p.status()["pos"], 0)
        self.assertEqual(p.quit(), 0)

        # Each field is read back within its buffer; nothing is validated.
        profile = wine_util.read_profile(p.ini_path)
        self.assertEqual(profile.get(SECTION), {
            "bDisabled": "TRUE", "WebRoot": long_root[:1023], "Port": "123456789",
            "Playlistfile": "list.html", "AdminPassword": long_password[:254],
            "g_MaxRequestsPerIP": "7", "g_MaxEntries": "12x", "g_MaxQueueSize": "99"})


    def test_more_opens_every_later_setting_and_ok_takes_them_to_the_file(self):
        p = self.start(SkipVotes="3")
        # The first dialog's Cancel drops what the second one's OK (Enter) kept.
        for button in ("1001", None):
            self.open_dialog()
            probe("window", TITLE, "1000", "post", "1105")
            if button:
                probe("window", MORE_TITLE, "10000", "set", "1106", "7", "key", ENTER, "gone",
                      "10000", "window", TITLE, "1000", "click", button, "gone", "10000")
                self.assertEqual(p.read_answer(), "ok")
        dump = probe("window", MORE_TITLE, "10000", "dump")[0]
        screenshot("more_settings_dialog.png", dump)
        # Each field in its group, a label (a check box its own text) right before it.
        controls = dump["controls"]
        groups = {c["text"]: c["rect"] for c in controls
                  if c["class"] == "Button" and c["style"] & 0xF == 7}
        fields = {c["id"]: c for c in controls}
        for group, ids in MORE_GROUPS.items():
            for ident in ids:
                self.assertTrue(inside(fields[ident]["rect"], groups[group]), ident)
                label = controls[controls.index(fields[ident]) - 1]
                self.assertTrue(label["class"] == "Static" or fields[ident]["text"], ident)
        self.assertEqual([fields[i]["text"] for i in (1101, 1106, 1108, 1114, 1, 2)],
                         ["0", "3", "", "64", "OK", "Cancel"])
        # Tab walks the groups' fields, then OK and Cancel; Alt+V reaches the votes.
        walk = probe("window", MORE_TITLE, "1000", "focus",
                     *[a for _ in range(15) for a in ("key", TAB, "focus")], "alt", "86", "focus")
        self.assertEqual([line["focus"] for line in walk],
                         sum(MORE_GROUPS.values(), []) + [1, 2, 1101, 1106])
        # Enter keeps the values for the first dialog's OK; Escape drops what was typed since.
        probe("window", MORE_TITLE, "1000", "set", "1106", "2", "set", "1108", "Live, Demo",
              "click", "1104", "key", ENTER, "gone", "10000", "window", TITLE, "1000", "post",
              "1105", "window", MORE_TITLE, "10000", "set", "1107", "9", "escape", "gone", "10000")
        probe("window", TITLE, "1000", "click", "1062", "gone", "10000")
        self.assertEqual(p.read_answer(), "ok")
        self.assertEqual(p.quit(), 0)
        profile = wine_util.read_profile(p.ini_path)[SECTION]
        self.assertEqual([profile.get(k) for k in ("SkipVotes", "BlockedWords", "FairOrder",
                                                   "RequestsPerHour")],
                         ["2", "Live, Demo", "TRUE", None])

    def test_ok_enables_a_disabled_plugin_on_the_port_typed_in(self):
        p = self.start(bDisabled="TRUE", Playlistfile="playlist.html")
        self.open_dialog()
        self.assertEqual(probe("window", TITLE, "1000", "checked", "1026")[0]["checked"], 1)
        port = harness.free_port()
        probe("window", TITLE, "1000", "set", "1064", str(port), "click", "1026",
              "click", "1062", "gone", "10000")
        self.assertEqual(p.read_answer(), "ok")
        # The listener started by OK serves the pages on the new port.
        harness.wait_for_port(port, process=p.process)
        p.port = port
        reply = p.http_get("/")
        self.assertTrue(reply.startswith(b"HTTP/1.1 200 OK\n"), reply[:200])
        self.assertIn(b"<body>Hello</body>", reply)
        self.assertEqual(p.quit(), 0)
        self.assertEqual(p.read_ini()["bDisabled"], "FALSE")
        self.assertEqual(p.read_ini()["Port"], str(port))


if __name__ == "__main__":
    unittest.main()
