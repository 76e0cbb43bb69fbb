#!/usr/bin/env python3
"""scripts/check-layering on small trees: includes down the layer order pass,
includes up it fail with the offending file and line listed."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-layering")


def run_on(files):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write(text)
        r = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
        return r.returncode, r.stdout + r.stderr


def inc(*targets):
    return "".join(f'#include "{t}"\n' for t in targets) + "int x;\n"


class LayerOrder(unittest.TestCase):
    def test_allowed_includes_pass(self):
        cases = [
            ("files/a.cpp", inc("platform/stream.h", "files/b.h", "files/sub/c.h")),
            ("script/param.cpp", inc("files/number_text.h", "script/parser.h")),
            ("render/dib.cpp", inc("script/param.h", "files/a.h")),
            ("chrome/canvas.cpp", inc("render/glyph_cache.h", "platform/fonts.h")),
            ("objects/basic/box.cpp", inc("media/media.h", "render/dib.h", "script/parser.h", "objects/vorq_object.h")),
            ("objects/controls/edit.cpp", inc("chrome/text_edit.h")),
            ("engine/commands_flow.cpp", inc("engine/page.h", "objects/scene/scene.h", "chrome/toolbar.h")),
            ("shell/form_view.cpp", inc("engine/page.h", "media/media.h", "objects/scene/scene.h")),
            ("app/main.cpp", inc("shell/player_entry.h", "platform/video.h")),
            # System headers and unknown folders are not ours to check.
            ("render/x.cpp", "#include <vector>\n#include \"tests/support/x.h\"\n"),
        ]
        for path, text in cases:
            with self.subTest(path=path):
                code, out = run_on({path: text})
                self.assertEqual(code, 0, out)

    def test_upward_includes_fail(self):
        cases = [
            ("platform/a.cpp", "files/vr_file_manager.h", "platform may not include files/vr_file_manager.h"),
            ("files/number_text.cpp", "script/param.h", "files may not include script/param.h (script)"),
            ("script/parser.cpp", "engine/command.h", "script may not include engine/command.h (engine)"),
            ("render/dib.cpp", "media/media.h", "render may not include media/media.h"),
            ("media/m.cpp", "chrome/toolbar.h", "media may not include chrome/toolbar.h"),
            ("chrome/form.cpp", "objects/scene/scene.h", "chrome may not include objects/scene/scene.h"),
            ("objects/base_list.cpp", "engine/page.h", "objects may not include engine/page.h (engine)"),
            ("engine/page.cpp", "shell/form_view.h", "engine may not include shell/form_view.h (shell)"),
            ("shell/page.cpp", "app/x.h", "shell may not include app/x.h"),
            ("shell/form_view.h", "objects/base_list.h", "objects only through objects/scene/scene.h"),
            ("engine/page.cpp", "objects/vorq_object.h", "objects only through objects/scene/scene.h"),
        ]
        for path, target, message in cases:
            with self.subTest(path=path, target=target):
                code, out = run_on({path: "// a file\n" + inc(target)})
                self.assertEqual(code, 1, out)
                self.assertIn(f"{path}:2:", out)
                self.assertIn(message, out)

    def test_every_fault_is_listed(self):
        code, out = run_on({
            "files/a.cpp": inc("render/a.h", "files/ok.h", "engine/page.h"),
            "render/b.h": inc("objects/x.h"),
        })
        self.assertEqual(code, 1)
        self.assertIn("3 include(s)", out)
        for where in ("files/a.cpp:1:", "files/a.cpp:3:", "render/b.h:1:"):
            self.assertIn(where, out)


class FolderCircles(unittest.TestCase):
    def test_folders_that_include_each_other_fail(self):
        cases = [
            # A family and the model's root include each other.
            {"objects/a.cpp": inc("objects/text/mes.h"), "objects/text/mes.cpp": inc("objects/vorq_object.h")},
            # Round three folders of one layer.
            {"media/audio/a.cpp": inc("media/video/v.h"), "media/video/v.cpp": inc("media/decode/d.h"),
             "media/decode/d.cpp": inc("media/audio/a.h")},
        ]
        for files in cases:
            with self.subTest(files=sorted(files)):
                code, out = run_on(files)
                self.assertEqual(code, 1, out)
                self.assertIn("1 circle(s) of folders", out)
                for path in files:
                    self.assertIn(f"{path}:1 includes", out)

    def test_one_way_between_folders_passes(self):
        code, out = run_on({"objects/text/mes.cpp": inc("objects/vorq_object.h", "objects/images/image.h"),
                            "objects/images/image.cpp": inc("objects/vorq_object.h")})
        self.assertEqual(code, 0, out)


if __name__ == "__main__":
    unittest.main()
