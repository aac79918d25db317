#!/usr/bin/env python3
"""gen_velvox.dll loaded the way the player loads it: the record before and after init.

record_check.exe (tools/) does the checks inside Wine; this test gives it a copy of the
DLL in a scratch folder, because quit writes plugin.ini beside the DLL.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_util  # noqa: E402


class PluginRecordTest(unittest.TestCase):
    def test_record_fields_description_hook_and_quit(self):
        folder = wine_util.scratch("record")
        dll = wine_util.copy_plugin(folder)
        done = wine_util.run_tool("record_check", wine_util.windows_path(dll), check=False)
        print(done.stdout + done.stderr)
        self.assertNotIn("FAIL", done.stdout)
        self.assertIn("0 failure(s)", done.stdout)
        self.assertEqual(done.returncode, 0)
        # The file written by quit, seen from Linux: all eight keys, defaults throughout.
        profile = wine_util.read_profile(os.path.join(folder, "plugin.ini"))
        self.assertEqual(profile.get("HTTP Request"), {
            "bDisabled": "TRUE", "WebRoot": "c:\\", "Port": "80", "Playlistfile": "",
            "AdminPassword": "", "g_MaxRequestsPerIP": "3", "g_MaxEntries": "25",
            "g_MaxQueueSize": "50"})


if __name__ == "__main__":
    unittest.main()
