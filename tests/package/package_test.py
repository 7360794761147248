"""The package as a Max user meets it: help patchers and the demo patch in
the host, the reference pages against the registered classes, and the
package layout."""
import copy
import json
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

ROOT = Path(os.environ["SPECTRO_ROOT"])
PATCHHOST = os.environ["PATCHHOST"]
SCRATCH = Path(os.environ["SCRATCH"])
sys.path.insert(0, str(ROOT / "tools"))
import refpages  # noqa: E402
import package  # noqa: E402

PATCHES = [ROOT / "package" / "help" / "spectrogram~.maxhelp", ROOT / "package" / "help" / "gradix.maxhelp",
           ROOT / "examples" / "demo.maxpat"]
CLASSES = {}


def setUpModule():
    SCRATCH.mkdir(parents=True, exist_ok=True)
    sound = SCRATCH / "demo.wav"
    if not sound.exists():
        subprocess.run([os.environ["MAKE_DEMO_SOUND"], str(sound)], check=True, capture_output=True)
    out = subprocess.run([PATCHHOST, "classes", "spectrogram~", "gradix"], check=True, capture_output=True, text=True)
    CLASSES.update(json.loads(out.stdout))
    (SCRATCH / "classes.json").write_text(out.stdout)


def run_patch(patch, script=""):
    """Runs a patch with demo.wav on the search path; returns the transcript lines."""
    r = subprocess.run([PATCHHOST, "run", str(patch), "--path", str(SCRATCH), "--script", "-"], input=script,
                       capture_output=True, text=True, timeout=600)
    if r.returncode != 0:
        raise AssertionError("patchhost failed (%d): %s" % (r.returncode, r.stderr))
    return [json.loads(line) for line in r.stdout.splitlines()]


class HelpPatchers(unittest.TestCase):
    def test_patches_load_and_every_message_box_runs_without_a_console_error(self):
        for patch in PATCHES:
            boxes = [b["box"] for b in json.loads(patch.read_text())["patcher"]["boxes"]]
            # Set the view and selection first (the Link In list), then click
            # every message box in file order; write's save dialog is cancelled.
            clicks = [b for b in boxes if b["maxclass"] == "message"]
            clicks.sort(key=lambda b: not b["text"].startswith("list"))
            script = "".join("send %s bang\n" % b["id"] for b in clicks)
            if patch.name == "spectrogram~.maxhelp":
                script = "buffer specgram-help\n" + script + "buffer specgram-help\n"
            lines = run_patch(patch, script)
            errors = [l["text"] for l in lines if l["t"] == "console" and l["level"] == "error"]
            self.assertEqual(errors, [], patch.name)
            if patch.name == "spectrogram~.maxhelp":  # the edits ran, undo and redo included
                saves = [l for l in lines if l["t"] == "save"]
                self.assertEqual(len(saves), 1)
                before, after = [l["hash"] for l in lines if l["t"] == "buffer"]
                self.assertNotEqual(before[0], after[0])

    def test_patches_carry_what_max_saves_and_the_plug_in_boxes_match_their_classes(self):
        for patch in PATCHES:
            p = json.loads(patch.read_text())["patcher"]
            self.assertEqual(p["fileversion"], 1, patch.name)
            self.assertEqual((p["appversion"]["major"], p["appversion"]["minor"]), (8, 2), patch.name)
            self.assertEqual(p["classnamespace"], "box", patch.name)
            self.assertEqual(len(p["rect"]), 4, patch.name)
            for b in (x["box"] for x in p["boxes"]):
                where = "%s %s" % (patch.name, b["id"])
                self.assertIn("numinlets", b, where)
                self.assertEqual(len(b.get("outlettype", [])), b["numoutlets"], where)
                cls = CLASSES.get(b["maxclass"])
                if cls:
                    self.assertEqual(b["numinlets"], len(cls["inlets"]), where)
                    self.assertEqual(b["numoutlets"], len(cls["outlets"]), where)
                    types = [refpages.io_type(o["assist"]).split("/")[0] for o in cls["outlets"]]
                    self.assertEqual(b["outlettype"], [t if t != "anything" else "" for t in types], where)

    def test_help_patchers_show_the_main_messages_and_patch_gradix_in(self):
        p = json.loads((ROOT / "package" / "help" / "spectrogram~.maxhelp").read_text())["patcher"]
        messages = {b["box"]["text"].split()[0] for b in p["boxes"] if b["box"]["maxclass"] == "message"}
        for m in ("undo", "redo", "zoom_in", "view_all", "write", "mouse_mode", "edit_selection_gain", "list"):
            self.assertIn(m, messages)
        ids = {b["box"]["id"]: b["box"]["maxclass"] for b in p["boxes"]}
        cords = {(ids[l["patchline"]["source"][0]], l["patchline"]["source"][1], ids[l["patchline"]["destination"][0]],
                  l["patchline"]["destination"][1]) for l in p["lines"]}
        self.assertIn(("gradix", 0, "spectrogram~", 0), cords)
        self.assertIn(("spectrogram~", 8, "spectrogram~", 8), cords)  # linked views


class ReferencePages(unittest.TestCase):
    def pages(self):
        out = Path(tempfile.mkdtemp(dir=SCRATCH))
        r = subprocess.run([sys.executable, str(ROOT / "tools" / "refpages.py"), str(SCRATCH / "classes.json"),
                            str(ROOT / "package" / "reference"), "--out", str(out)], capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        return {name: ET.parse(out / (name + ".maxref.xml")).getroot() for name in CLASSES}

    def test_pages_list_exactly_the_registered_messages_and_attributes(self):
        for name, root in self.pages().items():
            cls = CLASSES[name]
            self.assertEqual(root.get("name"), name)
            self.assertTrue(root.findtext("digest"))
            methods = [m.get("name") for m in root.find("methodlist")]
            self.assertEqual(sorted(methods), sorted(m["name"] for m in refpages.visible_messages(cls)))
            attrs = root.find("attributelist")
            self.assertEqual([a.get("name") for a in attrs], [a["name"] for a in refpages.visible_attributes(cls)])
            for a in attrs:
                props = {p.get("name"): p.get("value") for p in a.find("attributelist")}
                for key in ("category", "label", "default", "style"):
                    self.assertIn(key, props, a.get("name"))
                self.assertTrue(a.findtext("digest"), a.get("name"))
            self.assertEqual(len(root.find("inletlist")), len(cls["inlets"]))
            self.assertEqual(len(root.find("outletlist")), len(cls["outlets"]))

    def test_attribute_ranges_and_enumerations_come_from_the_class(self):
        attrs = {a.get("name"): a for a in self.pages()["spectrogram~"].find("attributelist")}
        props = {p.get("name"): p for p in attrs["win_size"].find("attributelist")}
        self.assertEqual((props["min"].get("value"), props["max"].get("value")), ("32", "32768"))
        self.assertEqual(props["default"].get("value"), "2048")
        enum = [e.get("name") for e in attrs["mag_scale"].iter("enum")]
        self.assertEqual(enum, ["Lin", "Mel", "Log", "Bark", "ERB"])

    def test_descriptions_that_drift_from_the_classes_are_refused(self):
        desc = json.loads((ROOT / "package" / "reference" / "gradix.json").read_text())
        missing = copy.deepcopy(desc)
        del missing["messages"]["write"]
        with self.assertRaisesRegex(refpages.Mismatch, "message write is registered but not described"):
            refpages.check_descriptions("gradix", CLASSES["gradix"], missing)
        extra = copy.deepcopy(desc)
        extra["attributes"]["bgcolor"] = {"digest": "", "description": ""}
        with self.assertRaisesRegex(refpages.Mismatch, "attribute bgcolor is described but not registered"):
            refpages.check_descriptions("gradix", CLASSES["gradix"], extra)

    def test_the_readme_reference_section_is_current(self):
        r = subprocess.run([sys.executable, str(ROOT / "tools" / "refpages.py"), str(SCRATCH / "classes.json"),
                            str(ROOT / "package" / "reference"), "--readme", str(ROOT / "README.md"), "--check"],
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)


class PackageLayout(unittest.TestCase):
    def test_layout_and_package_info(self):
        out = Path(tempfile.mkdtemp(dir=SCRATCH))
        r = subprocess.run([sys.executable, str(ROOT / "tools" / "package.py"), str(ROOT), str(out), "--classes",
                            str(SCRATCH / "classes.json"), "--sound", str(SCRATCH / "demo.wav"), "--zip"],
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        pkg = out / package.NAME
        info = json.loads((pkg / "package-info.json").read_text())
        self.assertEqual(info["version"], (ROOT / "VERSION").read_text().strip())
        self.assertEqual(info["max_version_min"], "8.2")
        self.assertEqual(info["os"]["macintosh"]["platform"], ["x64", "arm64"])
        self.assertEqual(info["os"]["windows"]["platform"], ["x64"])
        for f in ("help/spectrogram~.maxhelp", "help/gradix.maxhelp", "docs/refpages/spectrogram~.maxref.xml",
                  "docs/refpages/gradix.maxref.xml", "media/demo.wav", "examples/demo.maxpat", "README.md",
                  "LICENSE"):
            self.assertTrue((pkg / f).is_file(), f)
        import zipfile
        names = zipfile.ZipFile(out / ("%s-%s.zip" % (package.NAME, info["version"]))).namelist()
        self.assertIn("spectrogram/package-info.json", names)


if __name__ == "__main__":
    unittest.main()
