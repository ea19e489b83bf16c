"""Journeys: the real norvi-sms and norvi-gwsim under a virtual display, driven like a person would.

Each journey gets its own X display (Xvfb), its own D-Bus session with the accessibility bus, its own
gateway simulator on a free port and its own start folder, so journeys run side by side. Controls are
found over the accessibility bus (role and accessible name, as a screen reader finds them) and pressed
with real pointer clicks and key presses through xdotool. Every wait polls a condition up to a deadline.

A journey that cannot start its display, its bus or its programs fails with a message that says which.
"""

import ctypes
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback

DEFAULT_WAIT = 20.0  # seconds a person would wait for something to appear before calling it broken


class JourneyError(Exception):
    pass


def check(condition, message):
    if not condition:
        raise JourneyError(message)


def _required_env(name):
    value = os.environ.get(name, "")
    if not value or not os.path.exists(value):
        raise JourneyError(f"{name} must name the built program (got {value!r})")
    return value


def _roles(role):
    return (role,) if isinstance(role, str) else tuple(role)


_pump_events = None  # delivers the accessibility events that arrived, once the bus is reached


def wait_for(what, condition, timeout=DEFAULT_WAIT, interval=0.05):
    """Polls condition() until it returns something truthy; fails with `what` after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        if _pump_events:
            _pump_events()
        try:
            result = condition()
            if result:
                return result
        except Exception as e:  # a window that closes under the poll, an object that went away
            last_error = e
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise JourneyError(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def never(what, condition, within):
    """Fails when condition() comes true within `within` seconds: for what must not follow an action."""
    try:
        wait_for(what, condition, timeout=within)
    except JourneyError:
        return
    raise JourneyError(f"{what} came")


def _read_line(stream, deadline, what):
    """One line from a pipe, or a clear failure when none comes before the deadline."""
    data = b""
    fd = stream.fileno()
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0:
            raise JourneyError(f"{what}: nothing printed within the time allowed")
        ready, _, _ = select.select([fd], [], [], left)
        if not ready:
            continue
        chunk = os.read(fd, 1)
        if not chunk:
            raise JourneyError(f"{what}: ended before printing a line (printed {data!r})")
        data += chunk
    return data.decode(errors="replace").strip()


# ---- files of the program ----

LOG_RECORD = struct.Struct("<b100s30s15sb4s120s4s120s161s")  # one send-log row of a .log file
assert LOG_RECORD.size == 556


def big5(text):
    return text.encode("cp950")


def write_log(path, rows):
    """Writes a .log file: a record count, then one record a row. A row is a dict of the eight texts
    (name, mobile, time, code, result, qcode, qresult, content) and the row image (14: a typed number)."""
    with open(path, "wb") as f:
        f.write(struct.pack("<i", len(rows)))
        for r in rows:
            f.write(LOG_RECORD.pack(r.get("image", 14), big5(r.get("name", "")), big5(r.get("mobile", "")),
                                    big5(r.get("time", "")), -1, big5(r.get("code", "")),
                                    big5(r.get("result", "")), big5(r.get("qcode", "")),
                                    big5(r.get("qresult", "")), big5(r.get("content", ""))))


def read_log(path):
    """The rows of a .log file as tuples of the eight texts, in file order."""
    with open(path, "rb") as f:
        data = f.read()
    (count,) = struct.unpack_from("<i", data, 0)
    rows = []
    for i in range(count):
        fields = LOG_RECORD.unpack_from(data, 4 + i * LOG_RECORD.size)
        texts = [fields[k].split(b"\0", 1)[0].decode("cp950") for k in (1, 2, 3, 5, 6, 7, 8, 9)]
        rows.append(tuple(texts))
    return rows


MEMBER_RECORD = struct.Struct("<i100s120s200s")  # one sMember of AddressBook.bin
assert MEMBER_RECORD.size == 424


def read_members(start_dir):
    """The members of AddressBook.bin in file order, as (id, name, msisdn, desc) with the texts decoded."""
    with open(os.path.join(start_dir, "AddressBook.bin"), "rb") as f:
        data = f.read()
    members, _groups = struct.unpack_from("<ii", data, 0)
    text = lambda b: b.split(b"\0", 1)[0].decode("cp950")
    found = []
    for i in range(members):
        member_id, name, msisdn, desc = MEMBER_RECORD.unpack_from(data, 8 + i * MEMBER_RECORD.size)
        found.append((member_id, text(name), text(msisdn), text(desc)))
    return found


def write_config(start_dir, log_dir, host, port, account, password):
    """NorviSMSAp.cfg: 8 reserved bytes, log folder (256), gateway (20), port (int32), account, password."""
    with open(os.path.join(start_dir, "NorviSMSAp.cfg"), "wb") as f:
        f.write(struct.pack("<8s256s20si20s20s", b"", log_dir.encode(), host.encode(), port, account.encode(),
                            password.encode()))


def read_config(start_dir):
    with open(os.path.join(start_dir, "NorviSMSAp.cfg"), "rb") as f:
        data = f.read()
    if len(data) != 328:
        raise JourneyError(f"NorviSMSAp.cfg has {len(data)} bytes, not 328")
    _, logs, host, port, account, password = struct.unpack("<8s256s20si20s20s", data)
    text = lambda b: b.split(b"\0", 1)[0].decode("cp950")
    return {"logFiles": text(logs), "gwIp": text(host), "gwPort": port, "gwAccount": text(account),
            "gwPasswd": text(password)}


# ---- the window system below the toolkit ----

class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


class _X11:
    """What a window manager does and xdotool cannot: the close box's request (a WM_DELETE_WINDOW client
    message), and the stacking order and input focus it would be judged by. Through libX11, which the
    display tools bring along."""

    def __init__(self, display):
        c = ctypes
        self.lib = lib = c.CDLL("libX11.so.6")
        lib.XOpenDisplay.restype = c.c_void_p
        lib.XOpenDisplay.argtypes = [c.c_char_p]
        lib.XCloseDisplay.argtypes = [c.c_void_p]
        lib.XInternAtom.restype = c.c_ulong
        lib.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]
        lib.XSendEvent.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_long, c.POINTER(_XEvent)]
        lib.XSync.argtypes = [c.c_void_p, c.c_int]
        lib.XDefaultRootWindow.restype = c.c_ulong
        lib.XDefaultRootWindow.argtypes = [c.c_void_p]
        lib.XQueryTree.argtypes = [c.c_void_p, c.c_ulong, c.POINTER(c.c_ulong), c.POINTER(c.c_ulong),
                                   c.POINTER(c.POINTER(c.c_ulong)), c.POINTER(c.c_uint)]
        lib.XFree.argtypes = [c.c_void_p]
        lib.XGetInputFocus.argtypes = [c.c_void_p, c.POINTER(c.c_ulong), c.POINTER(c.c_int)]
        self.dpy = lib.XOpenDisplay(display.encode())
        if not self.dpy:
            raise JourneyError(f"cannot open the display {display} through libX11")

    def close(self):
        self.lib.XCloseDisplay(self.dpy)

    def close_request(self, window):
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = self.lib.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = self.lib.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)
        self.lib.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(event))
        self.lib.XSync(self.dpy, 0)

    def stacking(self):
        """The top-level windows from the bottom up."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.lib.XQueryTree(self.dpy, self.lib.XDefaultRootWindow(self.dpy), ctypes.byref(root),
                            ctypes.byref(parent), ctypes.byref(children), ctypes.byref(count))
        order = [children[i] for i in range(count.value)]
        if children:
            self.lib.XFree(children)
        return order

    def focus(self):
        window, revert = ctypes.c_ulong(), ctypes.c_int()
        self.lib.XGetInputFocus(self.dpy, ctypes.byref(window), ctypes.byref(revert))
        return window.value


# ---- the session: display, buses, programs ----

class Journey:
    """One journey's world. Use as a context manager; the body drives the program."""

    def __init__(self, name):
        self.name = name
        self.sms = _required_env("NORVI_SMS")
        self.gwsim = _required_env("NORVI_GWSIM")
        self.cli = os.environ.get("NORVI_CLI", "")
        self.artifacts = os.environ.get("NORVI_JOURNEY_ARTIFACTS", "")
        self.dir = tempfile.mkdtemp(prefix=f"norvi-journey-{name}-")
        self.start_dir = os.path.join(self.dir, "start")
        self.log_dir = os.path.join(self.start_dir, "logfiles")
        os.makedirs(self.log_dir)
        self.home = os.path.join(self.dir, "home")
        self.runtime = os.path.join(self.dir, "runtime")
        os.makedirs(self.home)
        os.makedirs(self.runtime, mode=0o700)
        self._processes = []
        self.program = None
        self.app = None
        self.gateway_port = None
        self._gateway_lines = []
        self._gateway_lock = threading.Lock()
        self.env = None
        self._x11 = None  # the journey's own connection to the display, opened when first needed

    # -- context --

    def __enter__(self):
        try:
            self._start_display()
            self._start_buses()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, kind, value, tb):
        if kind is not None:
            self.screenshot("failure")
        self.close()
        return False

    def close(self):
        # Before the display goes: Xlib ends the whole process when its server vanishes under it.
        if self._x11 is not None:
            self._x11.close()
            self._x11 = None
        for p in reversed(self._processes):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for p in reversed(self._processes):
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait()
        self._processes.clear()
        shutil.rmtree(self.dir, ignore_errors=True)

    def _spawn(self, args, **kwargs):
        # Each helper in its own process group, so it and whatever it starts end together.
        p = subprocess.Popen(args, start_new_session=True, **kwargs)
        self._processes.append(p)
        return p

    def _start_display(self):
        for tool in ("Xvfb", "xdotool"):
            if not shutil.which(tool):
                raise JourneyError(f"cannot start the display: {tool} is not installed (scripts/setup installs it)")
        # Another X server starting on the same machine can take the number we were given; a display that
        # cannot be reached is started again once before the journey gives up.
        for attempt in (1, 2):
            xvfb = self._start_xvfb()
            probe = subprocess.run(["xdotool", "getdisplaygeometry"], env=self.env, capture_output=True,
                                   text=True, timeout=DEFAULT_WAIT)
            if probe.returncode == 0:
                return
            xvfb.terminate()
            xvfb.wait()
        raise JourneyError(f"cannot use the display {self.display}: {probe.stderr.strip()}")

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        self.xvfb_output = os.path.join(self.dir, "xvfb.out")
        try:
            with open(self.xvfb_output, "wb") as out:
                # -noreset: an X server resets when its last client leaves, and a program connecting during
                # that reset is refused ("could not connect to display"). The probe below is such a client.
                xvfb = self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                                    "-nolisten", "tcp", "-noreset"], pass_fds=[write_end], stdout=out,
                                   stderr=out)
        finally:
            os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            try:
                number = _read_line(pipe, time.monotonic() + DEFAULT_WAIT, "Xvfb")
            except JourneyError as e:
                with open(self.xvfb_output, "rb") as out:
                    said = out.read().decode(errors="replace").strip()
                raise JourneyError(f"cannot start the display: {e} (exit status {xvfb.poll()}): {said}")
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display, HOME=self.home, XDG_RUNTIME_DIR=self.runtime,
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"), LANG="C.UTF-8")
        for name in ("AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                     "SESSION_MANAGER", "XDG_CURRENT_DESKTOP"):
            self.env.pop(name, None)
        return xvfb

    def _start_buses(self):
        for tool in ("dbus-daemon", "dbus-send"):
            if not shutil.which(tool):
                raise JourneyError(f"cannot start the session: {tool} is not installed (scripts/setup installs it)")
        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=self.env,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            address = _read_line(bus.stdout, time.monotonic() + DEFAULT_WAIT, "dbus-daemon")
        except JourneyError as e:
            raise JourneyError(f"cannot start the D-Bus session: {e}")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        # Asking for the accessibility bus starts it. The program must find it already running: it then
        # reads its address from the session bus and registers its windows there.
        try:
            answer = subprocess.run(["dbus-send", "--session", "--dest=org.a11y.Bus", "--print-reply=literal",
                                     "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=self.env,
                                    capture_output=True, text=True, timeout=DEFAULT_WAIT)
        except subprocess.TimeoutExpired:
            raise JourneyError("cannot start the accessibility bus: no answer from org.a11y.Bus")
        a11y = answer.stdout.strip()
        if answer.returncode != 0 or not a11y:
            raise JourneyError("cannot start the accessibility bus (at-spi2-core): "
                               f"{answer.stderr.strip() or 'empty address'}")
        # This process talks to the accessibility bus directly.
        os.environ["DISPLAY"] = self.display
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        os.environ["AT_SPI_BUS_ADDRESS"] = a11y
        try:
            import gi
            gi.require_version("Atspi", "2.0")
            import pyatspi  # noqa: F401  (reads the addresses above when first used)
            from gi.repository import Atspi
        except Exception as e:
            raise JourneyError(f"cannot reach the accessibility bus from Python (python3-pyatspi): {e}")
        self.pyatspi = pyatspi
        self.Atspi = Atspi
        # A pop-up menu is a window of its own that the program does not list among its windows; it is
        # found through the item that takes the focus when the pointer moves onto it.
        from gi.repository import GLib
        context = GLib.MainContext.default()

        def pump():
            while context.pending():
                context.iteration(False)

        global _pump_events
        _pump_events = pump
        self._focused = None

        def on_focus(event):
            if event.detail1:
                self._focused = event.source

        pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")

    def start_gateway(self, *options):
        """Starts norvi-gwsim on a free loopback port with the account demo/demo."""
        sim = self._spawn([self.gwsim, "--port", "0", "--account", "demo:demo", *options], env=self.env,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        first = _read_line(sim.stdout, time.monotonic() + DEFAULT_WAIT, "norvi-gwsim")
        match = re.match(r"listening on [\d.]+:(\d+)$", first)
        if not match:
            raise JourneyError(f"norvi-gwsim did not start: {first}")
        self.gateway_port = int(match.group(1))

        def collect():
            for raw in sim.stdout:
                with self._gateway_lock:
                    self._gateway_lines.append(raw.decode(errors="replace").rstrip("\n"))

        threading.Thread(target=collect, daemon=True).start()
        return self.gateway_port

    def gateway_requests(self, kind):
        """The requests of one kind (login, send, query, cancel) that reached the gateway so far, as the
        simulator printed them: "login demo -> 0 ...", "query <MsgId> -> 0 ..."."""
        with self._gateway_lock:
            lines = list(self._gateway_lines)
        found = []
        for line in lines:
            m = re.match(r"\[\d+\] (\w+) (.*)$", line)
            if m and m.group(1) == kind:
                found.append(m.group(2))
        return found

    def gateway_connections_open(self):
        """Connections the simulator took and has not yet seen closed, as it printed them."""
        with self._gateway_lock:
            lines = list(self._gateway_lines)
        return sum(1 for line in lines if re.fullmatch(r"\[\d+\] connected", line)) - sum(
            1 for line in lines if re.fullmatch(r"\[\d+\] closed", line))

    def write_config(self, port=None, quiet_hours=False):
        """NorviSMSAp.cfg for the gateway, and NorviSMSAp.ini: a journey sends at once at whatever hour it runs,
        so the quiet hours are off unless it asks for them."""
        write_config(self.start_dir, self.log_dir, "127.0.0.1", port or self.gateway_port, "demo", "demo")
        with open(os.path.join(self.start_dir, "NorviSMSAp.ini"), "w") as f:
            f.write(f"[QuietHours]\nenabled={'true' if quiet_hours else 'false'}\n")

    def run_cli(self, *args, exit_codes=(0,)):
        """Runs norvi-cli in the start folder; an exit status outside exit_codes fails the journey."""
        if not self.cli or not os.path.exists(self.cli):
            raise JourneyError("NORVI_CLI must name the built norvi-cli")
        done = subprocess.run([self.cli, "-C", self.start_dir, *args], env=self.env, capture_output=True,
                              timeout=60)
        if done.returncode not in exit_codes:
            raise JourneyError(f"norvi-cli {' '.join(args)} failed ({done.returncode}): "
                               f"{done.stderr.decode(errors='replace')}")
        return done.stdout.decode(errors="replace")

    def start_program(self, now=None):
        """Starts norvi-sms in the start folder and waits until its windows are on the accessibility bus. With
        `now` ("2024-05-01T23:30:00"), its clock starts at that local time (the NORVI_TEST_NOW seam)."""
        env = dict(self.env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        if now:
            env["NORVI_TEST_NOW"] = now
        self.program_output = open(os.path.join(self.dir, "norvi-sms.out"), "wb")
        self.program = self._spawn([self.sms], cwd=self.start_dir, env=env, stdout=self.program_output,
                                   stderr=subprocess.STDOUT)

        def registered():
            if self.program.poll() is not None:
                raise JourneyError(f"norvi-sms ended at start with status {self.program.returncode}")
            desktop = self.pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.get_process_id() == self.program.pid:
                    return app
            return None

        try:
            self.app = wait_for("norvi-sms to appear on the accessibility bus", registered)
        except JourneyError:
            if self.program.poll() is not None:
                raise JourneyError(f"norvi-sms ended at start with status {self.program.returncode}: "
                                   f"{self.output()}")
            raise
        # Texts change while the journey watches them: read them fresh every time.
        self.app.set_cache_mask(self.Atspi.Cache.NONE)
        return self.app

    def output(self):
        self.program_output.flush()
        with open(self.program_output.name, "rb") as f:
            return f.read().decode(errors="replace")

    def wait_program_end(self, timeout=DEFAULT_WAIT):
        try:
            return self.program.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise JourneyError(f"norvi-sms did not end within {timeout:.0f} s")

    # ---- the window system ----

    def x_window(self, title):
        """The X window of the program's top-level window with this title."""
        def find():
            done = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.program.pid),
                                   "--name", f"^{re.escape(title)}$"], env=self.env, capture_output=True,
                                  text=True, timeout=30)
            ids = [int(w) for w in done.stdout.split()]
            return ids[0] if len(ids) == 1 else None
        return wait_for(f"one X window titled {title!r}", find)

    def x11(self):
        if self._x11 is None:
            self._x11 = _X11(self.display)
        return self._x11

    def raise_window(self, window):
        """Brings an X window to the front and gives it the keyboard, as a window manager would on a click."""
        self._xdotool("windowraise", str(window))
        self._xdotool("windowfocus", str(window))

    def above(self, upper, lower):
        order = self.x11().stacking()
        return upper in order and lower in order and order.index(upper) > order.index(lower)

    def close_box(self, window):
        """Presses a window's close box: the window manager's WM_DELETE_WINDOW request to the program."""
        self.x11().close_request(window)

    def screenshot(self, label):
        """Saves the whole screen to the artifacts folder (when one is given and ImageMagick is there)."""
        if not self.artifacts or not getattr(self, "display", None) or not shutil.which("import"):
            return None
        os.makedirs(self.artifacts, exist_ok=True)
        path = os.path.join(self.artifacts, f"{self.name}-{label}.png")
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        if os.path.exists(path):
            print(f"screenshot: {path}", file=sys.stderr)
            return path
        return None

    # ---- what the user sees ----

    def _states(self, acc):
        return acc.getState()

    def showing(self, acc):
        return self._states(acc).contains(self.pyatspi.STATE_SHOWING)

    def enabled(self, acc):
        states = self._states(acc)
        return states.contains(self.pyatspi.STATE_ENABLED) and states.contains(self.pyatspi.STATE_SENSITIVE)

    def windows(self):
        """The program's top-level windows that are on screen."""
        found = []
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w is not None and self.showing(w):
                found.append(w)
        return found

    def window(self, title, role=None, timeout=DEFAULT_WAIT):
        """Waits for the window with this title (a frame, dialog or message box) to be on screen."""
        def find():
            for w in self.windows():
                if w.name == title and (role is None or w.getRoleName() == role):
                    return w
            return None
        return wait_for(f"the window {title!r} to appear (on screen: {self.window_titles()})", find, timeout)

    def window_titles(self):
        try:
            return [w.name for w in self.windows()]
        except Exception:
            return []

    def window_gone(self, title, timeout=DEFAULT_WAIT):
        # A window whose answer ends the program (the save at 結束) goes with the program.
        wait_for(f"the window {title!r} to close",
                 lambda: self.program.poll() is not None or all(w.name != title for w in self.windows()), timeout)

    def find(self, root, role=None, name=None, match=None, showing=True):
        """The first control below root with this role and accessible name (or name accepted by match)."""
        stack = [root]
        while stack:
            acc = stack.pop(0)
            if acc is None:
                continue
            try:
                if acc is not root and (role is None or acc.getRoleName() in _roles(role)) and \
                        (name is None or acc.name == name) and (match is None or match(acc.name)) and \
                        (not showing or self.showing(acc)):
                    return acc
                stack.extend(acc.getChildAtIndex(i) for i in range(acc.childCount))
            except Exception:
                continue
        return None

    def control(self, root, role, name=None, match=None, timeout=DEFAULT_WAIT):
        label = name if name is not None else "(matching)"
        return wait_for(f"the {role} {label!r} in {root.name!r}",
                        lambda: self.find(root, role, name, match), timeout)

    def texts(self, root, role="label"):
        """The accessible names of the labels shown in a window: what it says."""
        out = []
        stack = [root]
        while stack:
            acc = stack.pop(0)
            try:
                if acc is not root and acc.getRoleName() == role and self.showing(acc):
                    out.append(acc.name)
                stack.extend(acc.getChildAtIndex(i) for i in range(acc.childCount))
            except Exception:
                continue
        return out

    def centre(self, acc):
        e = acc.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        if e.width <= 0 or e.height <= 0:
            raise JourneyError(f"{acc.getRoleName()} {acc.name!r} has no place on the screen")
        return e.x + e.width // 2, e.y + e.height // 2

    # ---- what the user does ----

    def _xdotool(self, *args):
        done = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True, timeout=30)
        if done.returncode != 0:
            raise JourneyError(f"xdotool {' '.join(args)} failed: {done.stderr.strip()}")

    def click(self, acc, button=1, what=None):
        """Clicks a control with the pointer once it is on screen and enabled, as a person would; a control
        that stays disabled fails the journey (a person could not press it either)."""
        what = what or f"{acc.getRoleName()} {acc.name!r}"
        wait_for(f"{what} to be on screen", lambda: self.showing(acc))
        wait_for(f"{what} to be enabled", lambda: self.enabled(acc))
        x, y = self.centre(acc)
        self._xdotool("mousemove", "--sync", str(x), str(y))
        self._xdotool("click", str(button))

    def click_at(self, x, y, button=1):
        self._xdotool("mousemove", "--sync", str(x), str(y))
        self._xdotool("click", str(button))

    def press(self, window, caption_prefix, what=None):
        """Clicks the push button of a window whose caption starts with caption_prefix (是, 否, 確定)."""
        button = self.control(window, "push button", match=lambda n: n.startswith(caption_prefix))
        self.click(button, what=what or f"the button {button.name!r} of {window.name!r}")

    def key(self, *keys):
        self._xdotool("key", "--clearmodifiers", *keys)

    def type_text(self, text):
        self._xdotool("type", "--delay", "10", "--clearmodifiers", text)

    def fill(self, edit, text, verify=True):
        """Clicks into an edit, selects what it holds and types the new text (a password edit does not
        show what it holds: verify=False)."""
        self.click(edit)
        wait_for(f"{edit.name!r} to take the keyboard",
                 lambda: self._states(edit).contains(self.pyatspi.STATE_FOCUSED))
        self.key("ctrl+a")
        self.type_text(text)
        if verify:
            wait_for(f"{edit.name!r} to hold {text!r}", lambda: self.edit_text(edit) == text)

    def edit_text(self, edit):
        t = edit.queryText()
        return t.getText(0, t.characterCount)

    def menu(self, *path, window=None):
        """Chooses a menu item by its captions, from the menu bar down: menu("檔案(F)", "載入紀錄(L)...").
        The menu bar is the main window's unless another window is given."""
        main = window or self.main_window()
        bar = self.control(main, "menu bar")
        item = self.control(bar, "menu item", path[0])
        self.click(item)
        for caption in path[1:]:
            item = wait_for(f"the menu item {caption!r}", lambda: self._popup_item(caption))
            self.click(item)

    def _popup_item(self, caption):
        for w in self.windows():
            found = self.find(w, "menu item", caption)
            if found is not None and w.getRoleName() != "frame":
                return found
        # Qt lists a menu's items below the menu bar item that opened it.
        main = self.main_window(timeout=0.5)
        return self.find(main, "menu item", caption)

    def main_window(self, timeout=DEFAULT_WAIT):
        return self.window("Norvi簡訊服務軟體", "frame", timeout)

    def message_box(self, text=None, timeout=DEFAULT_WAIT, starting=None):
        """Waits for a message box (optionally one that says `text`, or a text starting with `starting`) and
        returns it."""
        def says(w):
            texts = self.texts(w)
            return (text is None or text in texts) and (starting is None or any(t.startswith(starting) for t in texts))
        def find():
            for w in self.windows():
                if w.getRoleName() == "alert" and says(w):
                    return w
            return None
        shown = lambda: [(w.name, self.texts(w)) for w in self.windows() if w.getRoleName() == "alert"]
        return wait_for(f"a message box saying {text or starting!r} (message boxes on screen: {shown()})", find,
                        timeout)

    def unsaved_rows_offer(self):
        """The box at start that offers the rows a program left unsaved: "上次未儲存的發訊紀錄（N 筆）仍保留著…"."""
        return self.message_box(starting="上次未儲存的發訊紀錄")

    def confirm_summary(self):
        """Answers the summary before a send with 傳送 as it stands; returns the lines it showed."""
        box = self.window("傳送前確認", "dialog")
        lines = self.texts(box)
        self.press(box, "傳送")
        self.window_gone("傳送前確認")
        return lines

    def answer(self, text, caption_prefix):
        """Answers the message box that says `text` with its button whose caption starts with the prefix."""
        box = self.message_box(text)
        title = box.name
        self.press(box, caption_prefix)
        # The program may end on the answer, and its windows with it.
        wait_for(f"the message box {text!r} to close",
                 lambda: self.program.poll() is not None or
                 all(not (w.getRoleName() == "alert" and text in self.texts(w)) for w in self.windows()))
        return title

    def choose_file(self, title, path):
        """Answers a file dialog by typing the path into its file name edit and pressing Enter."""
        dialog = self.window(title, "dialog")
        edit = wait_for(f"the file name edit of {title!r}", lambda: self._file_name_edit(dialog))
        self.fill(edit, path)
        self.key("Return")
        self.window_gone(title)

    def _file_name_edit(self, dialog):
        # The edit named by its label: "檔名(N)：" with the toolkit's Traditional Chinese captions.
        return self.find(dialog, "text", match=lambda n: n.startswith("檔名") or n.lower().startswith("file name"))

    # ---- the send log ----

    def log_list(self):
        return self.control(self.main_window(), "tree", "發訊紀錄")

    def rows(self):
        """The cells of the send log as the list shows them, one tuple of eight texts per row."""
        table = self.log_list().queryTable()
        return [tuple(table.getAccessibleAt(r, c).name for c in range(table.nColumns))
                for r in range(table.nRows)]

    def wait_rows(self, what, condition, timeout=DEFAULT_WAIT):
        return wait_for(f"the send log to show {what} (it shows {self._rows_or_error()})",
                        lambda: condition(self.rows()) and self.rows(), timeout)

    def _rows_or_error(self):
        try:
            return self.rows()
        except Exception as e:
            return f"nothing readable: {e}"

    def row_point(self, row):
        """A point inside the first cell of a row of the send log."""
        cell = self.log_list().queryTable().getAccessibleAt(row, 0)
        return self.centre(cell)

    def context_menu(self, x, y, caption):
        """Right-clicks at a point and chooses the item of the pop-up menu that opens there."""
        self._focused = None
        self.click_at(x, y, button=3)
        # The menu opens with its corner at the pointer; moving onto it shows its items.
        menu = None
        for step in range(12):
            self._xdotool("mousemove", "--sync", str(x + 24), str(y + 8 + 20 * step))
            try:
                menu = wait_for("an item of the pop-up menu under the pointer", self._focused_popup, 1.0)
                break
            except JourneyError:
                continue
        if menu is None:
            raise JourneyError(f"no pop-up menu opened at ({x}, {y})")
        item = self.find(menu, "menu item", caption)
        if item is None:
            items = [menu.getChildAtIndex(i).name for i in range(menu.childCount)]
            raise JourneyError(f"the pop-up menu has no item {caption!r}: {items}")
        self.click(item, what=f"the pop-up item {caption!r}")

    def _focused_popup(self):
        item = self._focused
        if item is None or item.getRoleName() != "menu item":
            return None
        menu = item.parent
        return menu if menu is not None and menu.getRoleName() == "popup menu" else None

    def popup(self, caption, row=0):
        """Right-clicks a row of the send log and chooses an item of its pop-up menu."""
        x, y = self.row_point(row)
        self.context_menu(x, y, caption)

    def popup_below_rows(self, caption):
        """Right-clicks the empty part of the send log below its rows (which leaves no row selected) and
        chooses an item of the pop-up menu."""
        table = self.log_list().queryTable()
        last = table.getAccessibleAt(table.nRows - 1, 0).queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        whole = self.log_list().queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        y = last.y + last.height + 10
        if y >= whole.y + whole.height - 20:
            raise JourneyError("the send log has no empty space below its rows to click into")
        self.context_menu(last.x + last.width // 2, y, caption)

    def status_text(self):
        bar = self.control(self.main_window(), "status bar")
        return self.control(bar, "label", match=lambda n: "筆發訊紀錄" in n).name

    # ---- the progress window ----

    def start_with_log(self, name, rows):
        """The gateway, the configuration and the program, with `rows` written to the .log `name` in the
        journey's folder and loaded; returns the file's path."""
        self.start_gateway()
        self.write_config()
        path = os.path.join(self.dir, name)
        write_log(path, rows)
        self.start_program()
        self.load_log(path, len(rows))
        return path

    def load_log(self, path, count):
        """Loads a .log through 檔案 > 載入紀錄, confirms the progress window and waits for its `count` rows."""
        self.menu("檔案(F)", "載入紀錄(L)...")
        self.choose_file("載入紀錄", path)
        self.confirm_progress("發訊紀錄載入完成")
        return self.wait_rows(f"the {count} loaded rows", lambda rows: len(rows) == count)

    def confirm_progress(self, end_text):
        """Waits for the progress window to report `end_text`, checks that its 確定 can be pressed and
        presses it, then checks that the main window is usable again."""
        progress = self.window("作業進度", "dialog")
        wait_for(f"the progress window to say {end_text!r} (it says {self.texts(progress)})",
                 lambda: end_text in self.texts(progress))
        button = self.control(progress, "push button", "確定")
        if not self.enabled(button):
            # Give it the time a person would; then fail like the person who cannot close it.
            try:
                wait_for("確定 of the progress window to be enabled", lambda: self.enabled(button), 5)
            except JourneyError:
                self.screenshot("progress-locked")
                raise JourneyError("the progress window's 確定 is disabled: the program cannot be used on")
        self.click(button, what="確定 of the progress window")
        self.window_gone("作業進度")
        wait_for("the main window to be usable again", lambda: self.enabled(self.main_window()))


def run(journey_function):
    """Runs one journey as a program: exit status 0 when it passed, 1 with the reason when it failed."""
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    try:
        with Journey(name) as j:
            journey_function(j)
    except JourneyError as e:
        print(f"JOURNEY FAILED ({name}): {e}", file=sys.stderr)
        sys.exit(1)
    except Exception:
        traceback.print_exc()
        print(f"JOURNEY FAILED ({name})", file=sys.stderr)
        sys.exit(1)
    print(f"journey passed: {name}")
