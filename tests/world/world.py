#!/usr/bin/env python3
"""A world test of one notebook file.

Two Pelmora windows (real processes on an X display, driven with xdotool) and the world around
them (a sync tool renaming a new version over the file, a program writing into it, touch, a full
disk, kill -9 and SIGTERM) act on one notebook in an order drawn from a seed. Every marker typed
into a note must end up in a notebook file of the run, in a recovery copy, or in a
"(changed elsewhere)" note, unless an answer gave it up; every Save either writes or says why.

The windows run with WorldLog preloaded, which writes each message box, file dialog and status
line to a log, so that the test knows which question it answers and what a save did.
"""

import argparse
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ANCHOR = "anchor"
# No space, no Return and no button's mnemonic (Yes, No, Merge, Cancel, OK): typed into a box
# that came up meanwhile, it answers nothing.
MARKER = "_zq%04dx"
MARKER_RE = re.compile(r"_zq\d{4}x")

# Qt's standard buttons as WorldLog writes them.
OK, YES, NO, CANCEL = "1024", "16384", "65536", "4194304"
MERGE = "&Merge"
# The answers a box is given: the default button, Escape, or a button by its key.
ANSWER_KEYS = ["Return", "Escape", "alt+y", "alt+n", "alt+m", "Return"]

UNTITLED = "<untitled>"
WINDOWS = 2


class Failure(Exception):
    """The invariant does not hold; kind names the fault for minimising and for the cases."""

    def __init__(self, kind, detail):
        super().__init__("%s: %s" % (kind, detail))
        self.kind = kind


class Stuck(Exception):
    """The harness could not drive the window as it meant to: a window that stopped answering,
    or a defect of this test."""

    kind = "stuck"


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


def xdo(*args):
    return run(["xdotool", *args]).stdout


class EventLog:
    """The lines WorldLog writes: pid, kind, text."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.events = []
        self.partial = ""

    def poll(self):
        try:
            with open(self.path, "r", encoding="utf-8", errors="replace") as f:
                f.seek(self.offset)
                data = f.read()
                self.offset = f.tell()
        except FileNotFoundError:
            return
        data = self.partial + data
        lines = data.split("\n")
        self.partial = lines.pop()
        for line in lines:
            pid, kind, text = (line.split("\t", 2) + ["", ""])[:3]
            text = text.replace("\\n", "\n").replace("\\t", "\t").replace("\\\\", "\\")
            self.events.append((int(pid), kind, text))


class Window:
    def __init__(self, slot):
        self.slot = slot
        self.proc = None
        self.pid = None
        self.cursor = 0
        self.book = None
        self.unsaved = set()  # typed here and not saved
        self.perhaps = set()  # from recovery copies, which of them is not told
        self.epoch = None  # the file's epoch this window's changes began from; None: unknown
        self.inplace = False  # a program wrote into the file this window maps
        self.busy = False
        self.copy_failed = 0.0  # when a full disk or a write into the file stopped the recovery copy

    def alive(self):
        return self.proc is not None and self.proc.poll() is None


class World:
    def __init__(self, opts, ops, seed):
        self.opts = opts
        self.ops = ops
        self.seed = seed
        self.work = opts.work
        self.nb = os.path.join(self.work, "nb")
        self.book = os.path.join(self.nb, "book.pelm")
        self.state = os.path.join(self.work, "state")
        # Beside the run's folder, which a full disk fills.
        self.log = EventLog(self.work + ".events.log")
        self.windows = [Window(i) for i in range(WINDOWS)]
        self.typed = []
        self.gave_up = set()
        self.uncertain = set()
        self.files = {self.book}
        self.epoch = 0
        self.full = False
        self.freed_at = 0.0
        self.mounted = False
        self.next_marker = 1
        self.next_file = 1
        self.history = []
        self.dead = []  # (markers, epoch, content) of windows that ended without saving
        self.picks = []

    # --- set-up -------------------------------------------------------------------------------

    def setup(self):
        """The notebook, the recovery copies and the kept versions on one disk, as for most users:
        a small tmpfs of the run's own, which can be filled."""
        if os.path.ismount(self.work):
            run(["umount", "-l", self.work])
        if os.path.exists(self.work):
            shutil.rmtree(self.work)
        for path in (self.log.path, self.work + ".out"):
            if os.path.exists(path):
                os.remove(path)
        os.makedirs(self.work)
        if self.opts.full_disk:
            self.mounted = run(["mount", "-t", "tmpfs", "-o", "size=4m", "tmpfs", self.work]).returncode == 0
        for sub in ("nb", "state", "data"):
            os.makedirs(os.path.join(self.work, sub))
        self.load(self.book, [{"title": "Diary", "text": ANCHOR}, {"title": "Other", "text": "o"}])

    def teardown(self):
        for w in self.windows:
            if w.alive():
                w.proc.kill()
                w.proc.wait()
        if self.mounted:
            run(["umount", "-l", self.work])
            self.mounted = False

    def load(self, path, notes):
        text = json.dumps({"notes": notes})
        r = run([self.opts.tool, "load", path], input=text)
        if r.returncode != 0:
            raise Stuck("pelmora-tool load %s: %s" % (path, r.stderr))

    def dump(self, path):
        r = run([self.opts.tool, "dump", path])
        if r.returncode != 0:
            return None
        return json.loads(r.stdout)["notes"]

    def markers_in(self, path):
        notes = self.dump(path)
        if notes is None:
            return set()
        return {m for n in notes for m in MARKER_RE.findall(n["title"] + "\n" + n["text"])}

    def copies(self):
        folder = os.path.join(self.state, "pelmora", "recovery")
        if not os.path.isdir(folder):
            return []
        return [os.path.join(folder, f) for f in sorted(os.listdir(folder)) if f.endswith((".pelm", ".pelmx"))]

    def in_copies(self):
        found = set()
        for copy in self.copies():
            found |= self.markers_in(copy)
        return found

    def in_files(self):
        found = set()
        for path in self.files:
            found |= self.markers_in(path)
        return found

    def content(self):
        try:
            with open(self.book, "rb") as f:
                return hashlib.sha256(f.read()).hexdigest()
        except OSError:
            return None

    def say(self, text):
        self.history.append(text)
        if self.opts.verbose:
            print("   ", text, flush=True)

    # --- windows and keys ---------------------------------------------------------------------

    def env(self):
        env = dict(os.environ)
        env.update(XDG_STATE_HOME=self.state, XDG_DATA_HOME=os.path.join(self.work, "data"),
                   PELMORA_WORLD_LOG=self.log.path, LD_PRELOAD=self.opts.preload, PELMORA_TRACE="0")
        env.pop("QT_QPA_PLATFORM", None)
        return env

    def x_windows(self, w):
        """The visible windows of the process: (id, is a dialog, name)."""
        found = []
        for wid in xdo("search", "--onlyvisible", "--pid", str(w.pid)).split():
            kind = run(["xprop", "-id", wid, "_NET_WM_WINDOW_TYPE"]).stdout
            found.append((wid, "_DIALOG" in kind, xdo("getwindowname", wid).strip()))
        return found

    def main_window(self, w):
        for wid, dialog, name in self.x_windows(w):
            if not dialog:
                return wid, name
        return None, None

    def dialog_window(self, w, timeout=15, box=None):
        """The dialog on screen; None when the process ended, or when the box that was written from
        the log position box has already closed."""
        end = time.time() + timeout
        while time.time() < end:
            for wid, dialog, _ in self.x_windows(w):
                if dialog:
                    return wid
            if not w.alive():
                return None
            if box is not None:
                self.log.poll()
                if any(e[0] == w.pid and e[1] == "box-end" for e in self.log.events[box:]):
                    return None
            time.sleep(0.1)
        raise Stuck("window %d: no dialog on screen" % w.slot)

    def focus(self, wid):
        try:
            run(["xdotool", "windowfocus", "--sync", wid], timeout=10)
        except subprocess.TimeoutExpired:
            raise Stuck("window %s did not take the keyboard" % wid)
        time.sleep(0.15)

    def keys(self, *keys):
        for k in keys:
            xdo("key", "--clearmodifiers", k)
            time.sleep(0.08)

    def typed_text(self, text):
        xdo("type", "--delay", "30", text)

    def pick(self):
        return self.picks.pop(0) if self.picks else 0

    # --- events -------------------------------------------------------------------------------

    def next_event(self, w, timeout):
        """The next line of this window, or None when none came in time."""
        end = time.time() + timeout
        while True:
            self.log.poll()
            while w.cursor < len(self.log.events):
                pid, kind, text = self.log.events[w.cursor]
                w.cursor += 1
                if pid == w.pid:
                    return kind, text
            if time.time() >= end or not w.alive():
                return None
            time.sleep(0.05)

    def box_lines(self, w):
        """The buttons and default that follow a box line, written before the box is shown."""
        buttons, default = [], None
        while True:
            self.log.poll()
            if w.cursor < len(self.log.events):
                pid, kind, text = self.log.events[w.cursor]
                if pid != w.pid:
                    w.cursor += 1
                    continue
                if kind == "button":
                    buttons.append(text)
                    w.cursor += 1
                    continue
                if kind == "default":
                    default = text
                    w.cursor += 1
                    continue
                if kind == "box-end":
                    w.cursor += 1
                    return buttons, default, True
                return buttons, default, False
            # The lines come before the box is shown: once it is on screen they are all in.
            if self.dialog_window(w, timeout=15, box=w.cursor) is None:
                if w.alive():
                    continue
                return buttons, default, False
            self.log.poll()
            if w.cursor >= len(self.log.events):
                return buttons, default, False

    def answer_of(self, key, buttons, default):
        if key == "Return":
            return default or (buttons[0] if buttons else OK)
        if key == "Escape":
            # Qt's own choice of the button Escape presses; without one, Escape does nothing.
            if CANCEL in buttons:
                return CANCEL
            if len(buttons) == 1:
                return buttons[0]
            return NO if NO in buttons else None
        return {"alt+y": YES, "alt+n": NO, "alt+m": MERGE}[key]

    def handle_box(self, w, text, ctx):
        ctx["asked"] = True
        buttons, default, closed = self.box_lines(w)
        if closed:
            # Keys meant for the window reached a box that came up meanwhile.
            self.say("  window %d asked %r, and keys meant for the window answered it" % (w.slot, text[:80]))
            ctx["stray"] = True
            return
        keys = [k for k in ANSWER_KEYS if k in ("Return", "Escape") or
                {"alt+y": YES, "alt+n": NO, "alt+m": MERGE}[k] in buttons]
        key = keys[self.pick() % len(keys)]
        if ctx.get("keep") and "closed without saving" in text:
            # Only looking: the copy stays where it is.
            ctx["offered"] = True
            key = "Escape" if CANCEL in buttons else "alt+y"
        answer = self.answer_of(key, buttons, default)
        short = text.split("\n")[0][:110]
        self.say("  window %d asked %r, answered %s (%s)" % (w.slot, short, key, answer))
        self.judge_box(w, text, ctx)
        before = None
        if "closed without saving" in text:
            before = self.in_copies()
        elif "Save your version over it?" in text:
            before = self.markers_in(w.book)
        wid = self.dialog_window(w)
        if wid is None:
            return
        self.focus(wid)
        self.keys(key)
        end = time.time() + (3 if answer is None else 15)
        while True:
            ev = self.next_event(w, max(0.1, end - time.time()))
            if ev is None and answer is None:
                # Escape on a box without a button for it: the default button then.
                answer = self.answer_of("Return", buttons, default)
                self.say("  Escape did nothing; Return (%s)" % answer)
                self.focus(wid)
                self.keys("Return")
                end = time.time() + 15
                continue
            if ev is None:
                raise Stuck("window %d: the box did not close after %s" % (w.slot, key))
            if ev[0] == "box-end":
                break
            self.note_event(w, ev, ctx)
        self.apply_answer(w, text, answer, before, ctx)

    def judge_box(self, w, text, ctx):
        """A question the world gave no cause for is a fault."""
        changed = w.epoch is not None and w.epoch != self.epoch
        if text.startswith("ERROR") and ctx.get("saving"):
            ctx["error"] = text
            if not (self.full or w.inplace):
                raise Failure("save-refused", "Save said %r though nothing in the world stops it" % text)
        elif "the notes not yet read from it are gone" in text and not w.inplace:
            raise Failure("texts-gone", "said %r though no program wrote into the file" % text)
        elif ("Save your version over it?" in text or "Reload it?" in text or
              "your changes are not saved. Merge its changes" in text) and w.epoch is not None and not changed:
            raise Failure("false-change", "window %d asked %r though the file is as it read it" % (w.slot, text))
        elif "and the notebook's file was changed since" in text:
            bases = {content for _, _, content in self.dead}
            if bases and bases == {self.content()}:
                raise Failure("false-changed-since",
                              "the recovery question says the file changed since, though it holds "
                              "what the changes began from (only its times moved)")

    def apply_answer(self, w, text, answer, before, ctx):
        if text.startswith("Do you wish to save your changes?"):
            if answer == NO:
                self.give_up(w.unsaved, "No to the save prompt")
                w.unsaved = set()
                ctx["discarded"] = True
            elif answer != YES:
                ctx["cancelled"] = True
        elif "closed without saving" in text:
            changed = "and the notebook's file was changed since" in text
            # The copies of the windows still open are theirs.
            recovered = before - self.in_files()
            for other in self.windows:
                if other is not w and other.alive():
                    recovered -= other.unsaved
            if (not changed and answer == YES) or (changed and answer in (YES, MERGE)):
                # Which copy a start offers is not told: those of all that ended are perhaps here.
                w.perhaps |= recovered
                epochs = {e for m, e, _ in self.dead if m & recovered}
                w.epoch = epochs.pop() if len(epochs) == 1 and not changed else None
                if changed and answer == MERGE:
                    w.epoch = self.epoch
                if changed and answer == YES:
                    ctx["untitled"] = True
                    w.epoch = None
                self.dead = [d for d in self.dead if not d[0] & recovered]
            elif answer == CANCEL:
                pass
            else:
                given = recovered - self.in_copies()
                self.give_up(given, "giving the recovery copy up")
                self.dead = [d for d in self.dead if not d[0] & given]
        elif "Save your version over it?" in text:
            # Yes writes over the other version on purpose: what only it held goes to the backups.
            if answer == YES:
                ctx["over"] = before
            # A merge is shown, not saved: this Save ends here.
            if answer == MERGE:
                w.epoch = self.epoch
            if answer in (MERGE, CANCEL):
                ctx["cancelled"] = True
        elif "your changes are not saved. Merge its changes into yours?" in text:
            if answer == MERGE:
                w.epoch = self.epoch
        elif "changed by another program. Reload it?" in text:
            if answer == YES:
                w.epoch = self.epoch
                w.inplace = False

    def give_up(self, markers, why):
        markers = set(markers) - self.gave_up
        if markers:
            self.say("  given up (%s): %s" % (why, " ".join(sorted(markers))))
            self.gave_up |= markers

    def handle_file_dialog(self, w, ctx):
        wid = self.dialog_window(w)
        if self.pick() % 5 == 0:
            self.say("  window %d: the file dialog, cancelled" % w.slot)
            self.focus(wid)
            self.keys("Escape")
            ctx["cancelled"] = True
        else:
            path = os.path.join(self.nb, "saved-%d.pelm" % self.next_file)
            self.next_file += 1
            self.say("  window %d: the file dialog, %s" % (w.slot, os.path.basename(path)))
            self.focus(wid)
            self.keys("ctrl+a")
            self.typed_text(path)
            self.keys("Return")
            ctx["target"] = path
        end = time.time() + 15
        while True:
            ev = self.next_event(w, max(0.1, end - time.time()))
            if ev is None:
                raise Stuck("window %d: the file dialog did not close" % w.slot)
            if ev[0] == "file-dialog-end":
                return
            self.note_event(w, ev, ctx)

    def note_event(self, w, ev, ctx):
        kind, text = ev
        if kind == "box":
            self.handle_box(w, text, ctx)
        elif kind == "file-dialog":
            self.handle_file_dialog(w, ctx)
        elif kind == "status":
            if text.startswith("Could not write the recovery copy"):
                if self.full_lately() or w.inplace:
                    # Tried again only after a while, with the disk full or not. Texts another
                    # program took away cannot be copied either.
                    w.copy_failed = time.time()
                    return
                if time.time() - w.copy_failed < 40:
                    return
                raise Failure("recovery-copy-failed", "window %d said %r" % (w.slot, text))
            if text in ("Reading NoteBook...", "Saving NoteBook..."):
                w.busy = True
                if text == "Saving NoteBook...":
                    ctx["saving"] = True
                    ctx["error"] = None
            else:
                w.busy = False
                if ctx.get("saving"):
                    ctx["saving"] = False
                    self.save_done(w, ctx)
            if text.endswith("occurrences found."):
                ctx["found"] = True

    def save_done(self, w, ctx):
        target = ctx.get("target") or w.book
        if ctx.get("error"):
            self.say("  window %d: not saved, and said why" % w.slot)
            return
        ctx["saved"] = True
        if target == self.book:
            self.epoch += 1
        missing = w.unsaved - self.markers_in(target) - self.gave_up - self.uncertain
        if missing:
            raise Failure("save-lost", "window %d saved %s without %s" %
                          (w.slot, os.path.basename(target), " ".join(sorted(missing))))
        self.give_up(ctx.pop("over", set()) - self.markers_in(target), "Yes to saving over another version")
        self.files.add(target)
        self.say("  window %d: saved %s" % (w.slot, os.path.basename(target)))
        w.unsaved = set()
        w.perhaps = set()
        w.book = target
        w.epoch = self.epoch if target == self.book else None
        w.inplace = False

    def pump(self, w, ctx, until, timeout=20, quiet=0.5):
        """Handles what the window shows until until(ctx) holds and it has been quiet a moment."""
        end = time.time() + timeout
        quiet_since = time.time()
        while time.time() < end:
            ev = self.next_event(w, 0.1)
            if ev is not None:
                self.note_event(w, ev, ctx)
                quiet_since = time.time()
                continue
            if not w.alive():
                return
            if until(ctx) and not w.busy and time.time() - quiet_since >= quiet:
                return
        raise Stuck("window %d: waited %ds for the window to settle" % (w.slot, timeout))

    def settle_title(self, w, ctx):
        wid, name = self.main_window(w)
        if name is None:
            return
        if name.startswith("Pelmora - "):
            stem = name[len("Pelmora - "):]
            for path in self.files | {ctx.get("target") or ""}:
                if path and os.path.splitext(os.path.basename(path))[0] == stem:
                    w.book = path
        elif ctx.get("untitled"):
            w.book = UNTITLED
        elif name == "Pelmora" and w.book != UNTITLED:
            w.book = None

    def activate(self, w):
        """Brings the window to the keyboard and answers what coming back to it asks."""
        wid, _ = self.main_window(w)
        if wid is None:
            raise Stuck("window %d has no main window" % w.slot)
        self.focus(wid)
        ctx = {}
        expect = w.epoch is not None and w.epoch != self.epoch or w.inplace
        self.pump(w, ctx, lambda c: True, quiet=1.5 if expect else 0.4)
        if not w.alive():
            return None
        self.settle_title(w, ctx)
        if w.book is None:
            return None
        wid, _ = self.main_window(w)
        self.focus(wid)
        return wid

    # --- actions ------------------------------------------------------------------------------

    def act_start(self, w, keep=False, book=True):
        if w.alive():
            return False
        w.proc = subprocess.Popen([self.opts.pelmora] + ([self.book] if book else []), env=self.env(),
                                  stdout=open(self.work + ".out", "ab"),
                                  stderr=subprocess.STDOUT)
        w.pid = w.proc.pid
        self.log.poll()
        w.cursor = 0
        w.book, w.unsaved, w.perhaps, w.inplace, w.busy, w.epoch = None, set(), set(), False, False, self.epoch
        ctx = {"keep": keep}
        end = time.time() + 30
        while self.main_window(w)[0] is None:
            ev = self.next_event(w, 0.2)
            if ev is not None:
                self.note_event(w, ev, ctx)
            if time.time() > end or not w.alive():
                raise Stuck("window %d did not come up" % w.slot)
        self.pump(w, ctx, lambda c: True, quiet=0.8)
        self.settle_title(w, ctx)
        if w.book != self.book and w.book != UNTITLED:
            w.epoch = None
        self.say("  window %d shows %s" % (w.slot, self.shown(w)))
        self.offered = ctx.get("offered", False)
        return True

    def shown(self, w):
        return {None: "no notebook", UNTITLED: "an untitled notebook"}.get(w.book, os.path.basename(w.book or ""))

    def act_type(self, w):
        if not w.alive() or w.book is None:
            return False
        if self.activate(w) is None:
            return True
        if not self.find_anchor(w):
            return True
        marker = MARKER % self.next_marker
        self.next_marker += 1
        self.typed.append(marker)
        ctx = {}
        boxes = self.boxes(w)
        self.keys("End")
        self.typed_text(marker)
        self.pump(w, ctx, lambda c: True, quiet=0.3)
        if self.boxes(w) != boxes:
            self.uncertain.add(marker)
        w.unsaved.add(marker)
        self.say("  window %d: typed %s" % (w.slot, marker))
        return True

    def boxes(self, w):
        return [e[2] for e in self.log.events if e[0] == w.pid and e[1] == "box"]

    def find_anchor(self, w):
        """Puts the text cursor in a note with the search. A question on the way (coming back to
        the window after the search started over may ask one) can take the keyboard or the notebook
        away, so the search is done again after any other."""
        for _ in range(3):
            before = len(self.boxes(w))
            ctx = {}
            self.keys("ctrl+f", "ctrl+a")
            self.typed_text(ANCHOR)
            self.keys("Return")
            self.pump(w, ctx, lambda c: c.get("found") or "Nothing found." in self.boxes(w)[before:],
                      timeout=10, quiet=0.2)
            if not w.alive():
                return False
            if "Nothing found." in self.boxes(w)[before:]:
                notes = self.dump(w.book) if w.book != UNTITLED else None
                if w.inplace or not notes or not any(ANCHOR in n["text"] for n in notes):
                    # The texts another program took away are not searched.
                    return False
                raise Failure("search-missed", "window %d: Find Next found no %r, though %s holds it"
                              % (w.slot, ANCHOR, os.path.basename(w.book)))
            # A box on the way (the search starting over) took the keyboard with it.
            self.focus(self.main_window(w)[0])
            self.pump(w, ctx, lambda c: True, quiet=0.4)
            self.settle_title(w, ctx)
            if w.book is None or not w.alive():
                return False
            if all(b.startswith("End of search results") for b in self.boxes(w)[before:]):
                return True
            self.focus(self.main_window(w)[0])
        raise Stuck("window %d: questions kept coming while searching" % w.slot)

    def act_save(self, w, how):
        if not w.alive() or w.book is None or (how == "saveas" and w.book == UNTITLED):
            return False
        if self.activate(w) is None:
            return True
        ctx = {}
        ended = lambda c: c.get("saved") or c.get("error") or c.get("cancelled")
        for attempt in range(2):
            self.keys("ctrl+s") if how == "save" else self.keys("alt+b", "a")
            try:
                self.pump(w, ctx, ended, timeout=15)
                break
            except Stuck:
                if not w.alive() or self.x_windows(w)[1:]:
                    raise
                # Keys that a box coming back to the window asked took are pressed again.
                if attempt == 0 and ctx.get("asked") and not ctx.get("saving"):
                    self.focus(self.main_window(w)[0])
                    continue
                raise Failure("silent-save", "window %d: %s neither wrote nor said why" % (w.slot, how))
        self.settle_title(w, ctx)
        return True

    def act_close(self, w):
        if not w.alive():
            return False
        if self.activate(w) is None:
            return True
        ctx = {}
        self.keys("alt+b", "x")
        self.pump(w, ctx, lambda c: not w.alive() or c.get("cancelled") or c.get("error"),
                  timeout=30)
        if not w.alive():
            w.proc.wait()
            w.proc = None
            if ctx.get("discarded"):
                self.give_up(w.perhaps - self.in_copies() - self.in_files(), "No to the save prompt")
            held = w.unsaved - self.gave_up - self.uncertain
            if held:
                raise Failure("close-lost", "window %d closed holding %s" % (w.slot, " ".join(sorted(held))))
            self.say("  window %d closed" % w.slot)
        else:
            self.settle_title(w, ctx)
        return True

    def wait_for_copy(self, w):
        """Unsaved typing is safe from a crash once the recovery copy holds it. False when the
        window's own copy may not have been written: the copy left is then an earlier one."""
        wanted = w.unsaved - self.gave_up - self.uncertain
        if not wanted:
            return True
        if self.full_lately() or w.inplace or time.time() - w.copy_failed < 40:
            # A crash with the disk full, or after a program wrote into the notebook, loses what no
            # copy could keep.
            risk = wanted - self.in_copies() - self.in_files()
            if risk:
                self.say("  at risk, no copy could be written: %s" % " ".join(sorted(risk)))
                self.uncertain |= risk
            # The copy there may be one from before, which began from an earlier version.
            return False
        end = time.time() + 12
        ctx = {}
        while time.time() < end:
            ev = self.next_event(w, 0.3)
            if ev is not None:
                self.note_event(w, ev, ctx)
            if not (wanted - self.in_copies() - self.in_files()):
                return True
        raise Failure("no-recovery-copy", "after 12 s no recovery copy holds %s of window %d" %
                      (" ".join(sorted(wanted - self.in_copies())), w.slot))

    def act_kill(self, w, sig):
        if not w.alive():
            return False
        copied = self.wait_for_copy(w)
        w.proc.send_signal(sig)
        w.proc.wait()
        w.proc = None
        if (w.unsaved | w.perhaps) - self.gave_up:
            # A copy that could not be written leaves an earlier one, begun from what is not known here.
            content = self.epoch_content.get(w.epoch) if copied else None
            self.dead.append((frozenset(w.unsaved | w.perhaps), w.epoch, content))
        self.say("  window %d ended by %s" % (w.slot, signal.Signals(sig).name))
        return True

    def new_version(self, name):
        notes = self.dump(self.book) or []
        notes.append({"title": name, "text": "from elsewhere"})
        return notes

    def act_rename(self):
        if self.full:
            return False
        temp = os.path.join(self.nb, ".book.pelm.tmp")
        self.load(temp, self.new_version("Synced %d" % self.epoch))
        os.replace(temp, self.book)
        self.changed("a sync tool renamed a new version over the file")
        return True

    def act_inplace(self):
        if self.full:
            return False
        temp = os.path.join(self.work, "inplace.pelm")
        self.load(temp, self.new_version("Written %d" % self.epoch))
        with open(temp, "rb") as f:
            data = f.read()
        with open(self.book, "r+b") as f:
            f.write(data)
            f.truncate()
        for w in self.windows:
            if w.alive() and w.book == self.book:
                w.inplace = True
        self.changed("a program wrote into the file")
        return True

    def act_touch(self):
        time.sleep(0.01)
        os.utime(self.book)
        self.changed("touch")
        return True

    def changed(self, what):
        self.epoch += 1
        self.epoch_content[self.epoch] = self.content()
        self.say("  %s" % what)

    def full_lately(self):
        """The disk is full, or was so recently that a window may not have tried again since."""
        return self.full or time.time() - self.freed_at < 40

    def act_disk(self, full):
        if not self.mounted or self.full == full:
            return False
        filler = os.path.join(self.nb, ".filler")
        if full:
            fd = os.open(filler, os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
            try:
                while True:
                    os.write(fd, b"\0" * 4096)
            except OSError:
                pass
            finally:
                os.close(fd)
            self.say("  the disk is full")
        else:
            os.remove(filler)
            self.freed_at = time.time()
            self.say("  the disk has room again")
        self.full = full
        return True

    def act_pause(self):
        """The user stops typing for a while: long enough for a recovery copy."""
        end = time.time() + 5
        while time.time() < end:
            for w in self.windows:
                if w.alive():
                    ev = self.next_event(w, 0.1)
                    if ev is not None:
                        self.note_event(w, ev, {})
            time.sleep(0.1)
        return True

    def perform(self, op):
        name, slot, picks = op
        self.picks = list(picks)
        w = self.windows[slot] if slot is not None else None
        return {
            "start": lambda: self.act_start(w),
            "type": lambda: self.act_type(w),
            "save": lambda: self.act_save(w, "save"),
            "saveas": lambda: self.act_save(w, "saveas"),
            "close": lambda: self.act_close(w),
            "kill": lambda: self.act_kill(w, signal.SIGKILL),
            "term": lambda: self.act_kill(w, signal.SIGTERM),
            "pause": self.act_pause,
            "rename": self.act_rename,
            "inplace": self.act_inplace,
            "touch": self.act_touch,
            "full": lambda: self.act_disk(True),
            "free": lambda: self.act_disk(False),
        }[name]()

    # --- the run ------------------------------------------------------------------------------

    def check_end(self):
        """Windows still open keep their typing as a crash would: in the recovery copy."""
        self.act_disk(False)
        for w in self.windows:
            if w.alive():
                self.act_kill(w, signal.SIGKILL)
        notebook = self.dump(self.book)
        if notebook is None:
            raise Failure("unreadable", "the notebook cannot be read at the end")
        live = set(self.typed) - self.gave_up - self.uncertain
        lost = live - self.in_files() - self.in_copies()
        if lost:
            raise Failure("lost", "%s in no notebook, recovery copy or (changed elsewhere) note" %
                          " ".join(sorted(lost)))
        if live - self.in_files():
            self.check_offered(live - self.in_files())

    def check_offered(self, kept):
        """Typing kept only in a recovery copy is offered back by the next start, with the notebook
        or without one."""
        w = self.windows[0]
        for book in (True, False):
            self.say("start %s, to see the recovery copy offered" % ("with the notebook" if book else "alone"))
            self.act_start(w, keep=True, book=book)
            offered = self.offered
            w.proc.kill()
            w.proc.wait()
            w.proc = None
            if offered:
                return
        raise Failure("not-offered", "%s only in a recovery copy that no start offers" % " ".join(sorted(kept)))

    def play(self):
        self.epoch_content = {0: None}
        self.setup()
        self.epoch_content[0] = self.content()
        performed = []
        try:
            for op in self.ops:
                self.say("%s %s" % (op[0], "" if op[1] is None else op[1]))
                # The action that fails is kept with those done before it.
                performed.append(op)
                if not self.perform(op):
                    performed.pop()
                    self.history[-1] += " (nothing to do)"
            self.say("end")
            self.check_end()
            return None, performed
        except (Failure, Stuck) as f:
            self.say("%s %s" % ("FAILED" if isinstance(f, Failure) else "STUCK", f))
            return f, performed
        finally:
            self.teardown()


# --- sequences ------------------------------------------------------------------------------------

def generate(seed, length):
    """Actions drawn from the seed; whether each can be done is decided when it is played."""
    rng = random.Random(seed)
    ops = [("start", 0, []), ("type", 0, [])]
    table = [("type", 30), ("save", 12), ("saveas", 2), ("close", 4), ("kill", 6), ("term", 3),
             ("start", 14), ("rename", 5), ("inplace", 2), ("touch", 5), ("full", 2), ("free", 3), ("pause", 4)]
    names = [n for n, _ in table]
    weights = [w for _, w in table]
    while len(ops) < length:
        name = rng.choices(names, weights)[0]
        slot = rng.randrange(WINDOWS) if name in ("start", "type", "save", "saveas", "close", "kill", "term") else None
        ops.append((name, slot, [rng.randrange(1000) for _ in range(8)]))
    return ops


def format_ops(ops):
    return "\n".join("%s %s %s" % (n, "-" if s is None else s, ",".join(map(str, p)) or "-") for n, s, p in ops)


def parse_ops(text):
    ops = []
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        name, slot, picks = (line.split() + ["-", "-"])[:3]
        ops.append((name, None if slot == "-" else int(slot),
                    [] if picks == "-" else [int(p) for p in picks.split(",")]))
    return ops


def play(opts, ops, seed):
    world = World(opts, ops, seed)
    failure, performed = world.play()
    return failure, performed, world.history


def minimise(opts, ops, seed, kind):
    """The shortest sequence found that still fails the same way (ddmin over the actions)."""
    def fails(candidate):
        for _ in range(opts.tries):
            failure, _, _ = play(opts, candidate, seed)
            if failure is not None and failure.kind == kind:
                return True
        return False

    chunks = 2
    while len(ops) >= 2:
        size = max(1, len(ops) // chunks)
        reduced = False
        for start in range(0, len(ops), size):
            candidate = ops[:start] + ops[start + size:]
            if candidate and fails(candidate):
                ops = candidate
                chunks = max(chunks - 1, 2)
                reduced = True
                print("  minimised to %d actions" % len(ops), flush=True)
                break
        if not reduced:
            if size == 1:
                break
            chunks = min(len(ops), chunks * 2)
    return ops


def report(label, seed, failure, history, performed):
    print("%s %s (seed %s): %s" % ("FAIL" if isinstance(failure, Failure) else "STUCK", label, seed, failure),
          flush=True)
    print("  action log:")
    for line in history:
        print("   ", line)
    print("  as a case (tests/world/cases/NAME.txt) to replay:")
    print("    # seed %s" % seed)
    for line in format_ops(performed).splitlines():
        print("    " + line, flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--pelmora", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--preload", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--seeds", default="", help="seeds to run, e.g. 1,2,3 or 5-9")
    parser.add_argument("--length", type=int, default=14)
    parser.add_argument("--cases", nargs="*", default=[], help="case files to replay first")
    parser.add_argument("--minutes", type=float, default=0, help="run seeds from the first for this long")
    parser.add_argument("--minimise-into", help="folder to keep failing seeds in, minimised")
    parser.add_argument("--tries", type=int, default=2)
    parser.add_argument("--no-full-disk", dest="full_disk", action="store_false")
    parser.add_argument("-v", "--verbose", action="store_true")
    opts = parser.parse_args()

    failed = 0
    for case in opts.cases:
        with open(case) as f:
            text = f.read()
        seed = re.search(r"^# seed (\d+)", text, re.M)
        seed = seed.group(1) if seed else "?"
        label = os.path.basename(case)
        print("--- case %s" % label, flush=True)
        failure, performed, history = play(opts, parse_ops(text), seed)
        if failure is None:
            print("PASS %s" % label)
        else:
            report(label, seed, failure, history, performed)
            failed += 1

    seeds = []
    for part in filter(None, opts.seeds.split(",")):
        a, _, b = part.partition("-")
        seeds += list(range(int(a), int(b or a) + 1))
    deadline = time.time() + opts.minutes * 60 if opts.minutes else None
    if deadline and not seeds:
        seeds = [0]
    index = 0
    while index < len(seeds) or (deadline and time.time() < deadline):
        seed = seeds[index] if index < len(seeds) else seeds[-1] + index - len(seeds) + 1
        index += 1
        if deadline and time.time() >= deadline:
            break
        label = "seed %d" % seed
        print("--- %s" % label, flush=True)
        ops = generate(seed, opts.length)
        failure, performed, history = play(opts, ops, seed)
        if failure is None:
            print("PASS %s" % label, flush=True)
            continue
        failed += 1
        report(label, seed, failure, history, performed)
        if opts.minimise_into and isinstance(failure, Failure):
            short = minimise(opts, performed, seed, failure.kind)
            # One case for each fault and the world's actions that show it.
            name = "-".join([failure.kind] + sorted({n for n, _, _ in short} - {"start", "type", "save"}))
            kept = [c for c in os.listdir(opts.minimise_into) if c.rsplit("-seed", 1)[0] == name]
            if kept:
                print("  already kept as %s" % kept[0], flush=True)
                continue
            path = os.path.join(opts.minimise_into, "%s-seed%d.txt" % (name, seed))
            with open(path, "w") as f:
                f.write("# seed %d, minimised from %d actions\n# %s\n%s\n" %
                        (seed, len(ops), failure, format_ops(short)))
            print("  kept as %s" % path, flush=True)
    print("world: %d failed" % failed, flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
