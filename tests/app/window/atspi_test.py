#!/usr/bin/env python3
"""The main window as assistive technology meets it, on a real X server.

Starts its own Xvfb, its own session bus and the accessibility bus on it
(at-spi2-core), a loopback web server and vettrix-window, then drives the
window from outside as a screen reader user would: keys go through the X
server (xdotool), everything is read back through AT-SPI. Any missing tool is
a failure with the reason, never a skip.

usage: atspi_test.py PATH/TO/vettrix-window
"""

import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

# Seconds for any one thing to happen. A loaded two-core machine running the
# other tests beside this one has taken over 20 s to show the window.
TIMEOUT = 60.0

PAGE = (b"<html><head><script>var x;</script></head>\n"
        b"<body>\n<form action=\"/go\"></form>\n<applet code=\"x\"></applet>\n</body></html>\n")


def fail(message):
    print("atspi_test: FAIL: " + message, file=sys.stderr, flush=True)
    sys.exit(1)


def need(tool, package):
    path = tool if os.path.isabs(tool) else shutil.which(tool)
    if not path or not os.access(path, os.X_OK):
        fail(f"{tool} is missing: install the Debian package {package} (scripts/deps.sh)")
    return path


def wait_for(what, condition, timeout=TIMEOUT, pump=None, otherwise=None):
    """Polls `condition` until it gives something true; on time-out fails,
    telling `otherwise()` (what there is instead) when given."""
    deadline = time.monotonic() + timeout
    while True:
        if pump:
            pump()
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            fail("timed out waiting for " + what + (": " + otherwise() if otherwise else ""))
        time.sleep(0.02)


class Handler(http.server.BaseHTTPRequestHandler):
    requests = 0  # pages served: one per check the window ran

    def do_GET(self):
        Handler.requests += 1
        self.send_response(200)
        self.send_header("Server", "AtspiTest/1.0")
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(PAGE)))
        self.end_headers()
        self.wfile.write(PAGE)

    def log_message(self, *args):
        pass


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Session:
    """Xvfb, a session bus and the accessibility bus, ended in reverse order."""

    def __init__(self):
        self.procs = []
        self.tmp = tempfile.TemporaryDirectory(prefix="vettrix-atspi-")

    def start(self, args, **kw):
        p = subprocess.Popen(args, **kw)
        self.procs.append(p)
        return p

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        self.tmp.cleanup()


def main():
    if len(sys.argv) != 2:
        fail("usage: atspi_test.py PATH/TO/vettrix-window")
    window_exe = sys.argv[1]
    if not os.access(window_exe, os.X_OK):
        fail(f"{window_exe} is not an executable program")
    xvfb = need("Xvfb", "xvfb")
    dbus = need("dbus-daemon", "dbus")
    xdotool = need("xdotool", "xdotool")
    launcher = need("/usr/libexec/at-spi-bus-launcher", "at-spi2-core")
    need("/usr/libexec/at-spi2-registryd", "at-spi2-core")
    try:
        import gi
        gi.require_version("Atspi", "2.0")
    except (ImportError, ValueError) as e:
        fail(f"the AT-SPI client library is missing ({e}): install python3-gi and "
             "gir1.2-atspi-2.0 (scripts/deps.sh)")

    s = Session()
    try:
        run(s, window_exe, xvfb, dbus, xdotool, launcher)
    finally:
        s.close()
    print("atspi_test: all checks passed")


def run(s, window_exe, xvfb, dbus, xdotool, launcher):
    # A display of our own: Xvfb tells the number it took.
    r, w = os.pipe()
    s.start([xvfb, "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             "-noreset"], pass_fds=(w,), stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as f:
        number = f.readline().strip()
    if not number:
        fail("Xvfb did not start")
    env = dict(os.environ)
    env["DISPLAY"] = ":" + number
    for k in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "AT_SPI_BUS_ADDRESS", "http_proxy",
              "HTTP_PROXY", "all_proxy", "ALL_PROXY", "XDG_RUNTIME_DIR"):
        env.pop(k, None)
    env["XDG_RUNTIME_DIR"] = s.tmp.name
    env["HOME"] = s.tmp.name
    env["NO_AT_BRIDGE"] = "0"

    # A session bus of our own, and the accessibility bus on it.
    bus = s.start([dbus, "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                  env=env, text=True)
    address = bus.stdout.readline().strip()
    if not address:
        fail("dbus-daemon did not start a session bus")
    env["DBUS_SESSION_BUS_ADDRESS"] = address
    s.start([launcher, "--launch-immediately", "--a11y=1"], env=env,
            stderr=subprocess.DEVNULL)
    os.environ.update({k: env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                           "XDG_RUNTIME_DIR")})
    os.environ.pop("AT_SPI_BUS_ADDRESS", None)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    page = f"http://127.0.0.1:{server.server_address[1]}/page"
    dead = f"http://127.0.0.1:{closed_port()}/"

    from gi.repository import Atspi, GLib
    wait_for("the accessibility bus", lambda: subprocess.run(
        ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
         "org.a11y.Bus.GetAddress"], env=env, capture_output=True).returncode == 0)
    Atspi.init()
    context = GLib.MainContext.default()

    def pump():
        while context.iteration(False):
            pass

    # Rows arriving and going. The table sends row insertions and removals
    # and the cells made and gone; Qt's bridge (6.4) passes these on to AT-SPI
    # as children added to and removed from the table, which is what a screen
    # reader hears. The bridge sends removals only to clients that also listen
    # for state changes, as screen readers do, so this client listens for both.
    events = {"add": 0, "remove": 0}
    # Cells the list said were selected or focused, by name.
    cell_events = {"selected": [], "focused": []}

    def on_event(event):
        for what, names in cell_events.items():
            if event.type == "object:state-changed:" + what and event.detail1 == 1:
                try:
                    names.append(event.source.get_name())
                except GLib.Error:
                    names.append(None)
        try:
            if event.source is None or event.source.get_role() != Atspi.Role.TABLE:
                return
        except GLib.Error:
            return
        for kind in events:
            if event.type.startswith("object:children-changed:" + kind):
                events[kind] += 1

    listener = Atspi.EventListener.new(on_event)
    listener.register("object:children-changed")
    listener.register("object:state-changed")

    wenv = dict(env)
    wenv["QT_QPA_PLATFORM"] = "xcb"
    wenv["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    wenv["QT_ACCESSIBILITY"] = "1"
    window = s.start([window_exe], env=wenv)

    desktop = Atspi.get_desktop(0)

    def find_app():
        if window.poll() is not None:
            fail(f"vettrix-window ended with status {window.returncode}")
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == window.pid:
                return app
        return None

    app = wait_for("the window on the accessibility bus", find_app, pump=pump)

    def walk(node, out):
        out.append(node)
        for i in range(node.get_child_count()):
            c = node.get_child_at_index(i)
            if c is not None:
                walk(c, out)
        return out

    def tree():
        return ", ".join(f"{n.get_role().value_nick} '{n.get_name()}'" for n in walk(app, []))

    def named(role, name):
        def look():
            for n in walk(app, []):
                if n.get_role() == role and n.get_name() == name:
                    return n
            return None
        found = wait_for(f"{role.value_nick} '{name}'", look, pump=pump, timeout=TIMEOUT,
                         otherwise=tree)
        return found

    frame = named(Atspi.Role.FRAME, "Vettrix")
    text1 = named(Atspi.Role.TEXT, "Web Site:")
    text2 = named(Atspi.Role.TEXT, "Web Site Source Code:")
    text3 = named(Atspi.Role.TEXT, "Found CD-ROM marker")
    text4 = named(Atspi.Role.TEXT, "Copied finding label")
    table = named(Atspi.Role.TABLE, "Web Site Description:")
    button = named(Atspi.Role.PUSH_BUTTON, "Check Source")
    group = named(Atspi.Role.PANEL, "Web site")
    status_bar = wait_for("the status bar", lambda: next(
        (n for n in walk(app, []) if n.get_role() == Atspi.Role.STATUS_BAR), None), pump=pump)

    def status():
        for n in walk(status_bar, []):
            if n.get_role() == Atspi.Role.LABEL and n.get_name() not in ("", None) \
                    and not n.get_name().startswith("Ln "):
                return n.get_name()
        return ""

    def state(node, st):
        return node.get_state_set().contains(st)

    # Only the window of the frame role; hidden working boxes are not shown.
    frames = [n.get_name() for n in walk(app, []) if n.get_role() == Atspi.Role.FRAME and
              state(n, Atspi.StateType.SHOWING)]
    if frames != ["Vettrix"]:
        fail(f"{frames} are shown with the frame role; only the window should be")
    for hidden in (text3, text4):
        if state(hidden, Atspi.StateType.SHOWING) or state(hidden, Atspi.StateType.VISIBLE):
            fail(f"'{hidden.get_name()}' is reported as shown though nobody can see it")
    # Labels name their controls.
    for control, label in ((text1, "Web Site:"), (table, "Web Site Description:"),
                           (text2, "Web Site Source Code:")):
        rels = [r for r in control.get_relation_set()
                if r.get_relation_type() == Atspi.RelationType.LABELLED_BY]
        if not rels or rels[0].get_target(0).get_name() != label:
            fail(f"'{control.get_name()}' is not labelled by its label")

    # Keys go to the window through the X server.
    xid = wait_for("the window on the X server", lambda: subprocess.run(
        [xdotool, "search", "--onlyvisible", "--pid", str(window.pid), "--name", "^Vettrix$"], env=env,
        capture_output=True, text=True).stdout.split(), pump=pump)[0]

    def keys(*args):
        subprocess.run([xdotool, *args], env=env, check=True)
        pump()

    keys("windowfocus", xid)
    wait_for("the address box to have the focus at start-up",
             lambda: state(text1, Atspi.StateType.FOCUSED), pump=pump)

    # Type an address, press Enter, wait for the list.
    keys("type", "--delay", "2", page)
    keys("key", "Return")
    wait_for("the findings", lambda: table.get_n_rows() == 3, pump=pump)
    wait_for("the status line after the check",
             lambda: status().startswith("HTTP 200 \u00b7 ") and "3 findings" in status(),
             pump=pump)
    wait_for("the table to tell of its new rows", lambda: events["add"] >= 3, pump=pump)
    if events["remove"]:
        fail("the table told of rows removed from an empty list")
    labels = [table.get_accessible_at(r, 0).get_name() for r in range(table.get_n_rows())]
    if labels != ["Scripting", "Applet", "Forms"]:
        fail(f"the table's rows are {labels}")
    if table.get_n_columns() != 2 or table.get_column_description(1) != "Description":
        fail("the table does not have the Detected and Description columns")

    # Selecting a row through the table moves the source box's caret to where
    # the risk sits.
    if not table.add_row_selection(1):
        fail("the table refused to select a row")
    wait_for("the row to be selected", lambda: table.is_row_selected(1), pump=pump)
    if table.get_selected_rows() != [1]:
        fail(f"selected rows are {table.get_selected_rows()}")
    wait_for("the list to tell which cell was selected",
             lambda: "Applet" in cell_events["selected"], pump=pump,
             otherwise=lambda: f"it told of {cell_events['selected']}")
    if set(cell_events["selected"]) != {"Applet"}:
        fail(f"selecting the Applet row told of the cells {cell_events['selected']}")
    where = PAGE.decode().index("<applet")
    wait_for("the reading caret at the applet",
             lambda: text2.get_caret_offset() == where, pump=pump)
    # Cells are not focused while the list is not.
    cell = table.get_accessible_at(1, 0)
    if state(cell, Atspi.StateType.FOCUSED):
        fail("a cell reports focus while the address box has it")

    # Tab goes round the form but never stops on the hidden boxes.
    seen = set()
    for _ in range(8):
        keys("key", "Tab")
        focused = wait_for("some control to take the focus", lambda: next(
            (n for n in (text1, text2, table, button, text3, text4)
             if state(n, Atspi.StateType.FOCUSED) or
             (n is table and any(state(table.get_accessible_at(r, 0), Atspi.StateType.FOCUSED)
                                 for r in range(table.get_n_rows())))), None), pump=pump)
        seen.add(focused.get_name())
        if focused in (text3, text4):
            fail(f"Tab reached '{focused.get_name()}'")
    if seen != {"Web Site:", "Web Site Source Code:", "Web Site Description:", "Check Source"}:
        fail(f"Tab went to {sorted(seen)}")
    # Focus in the list is told as focus on the current row's first cell.
    if "Applet" not in cell_events["focused"]:
        fail(f"focus in the list was told as focus on {cell_events['focused']}")

    # Key auto-repeat through the X server. Holding a key in the address box
    # types it again and again (so the server repeats keys), and holding Space
    # on the button checks the page once, when Space goes up.
    text1.grab_focus()
    wait_for("the address box", lambda: state(text1, Atspi.StateType.FOCUSED), pump=pump)
    keys("key", "ctrl+a")
    keys("keydown", "x")
    time.sleep(1.2)
    keys("keyup", "x")
    typed = wait_for("the held key's repeats", lambda: text1.get_text(0, -1), pump=pump)
    if not typed.startswith("xxx"):
        fail(f"the X server does not repeat a held key ('{typed}'): nothing to test the button on")
    keys("key", "ctrl+a")
    keys("type", "--delay", "2", page)
    keys("key", "Tab")
    wait_for("the check button", lambda: state(button, Atspi.StateType.FOCUSED), pump=pump)
    served = Handler.requests
    keys("keydown", "space")
    time.sleep(1.5)
    if Handler.requests != served:
        fail(f"holding Space checked the page {Handler.requests - served} times before it went up")
    keys("keyup", "space")
    wait_for("the check on Space going up", lambda: Handler.requests > served, pump=pump)
    time.sleep(0.3)
    if Handler.requests != served + 1:
        fail(f"holding Space checked the page {Handler.requests - served} times, not once")

    # An extra mouse button on the check button clicks nothing.
    ext = button.get_extents(Atspi.CoordType.SCREEN)
    before = status()
    keys("mousemove", str(ext.x + ext.width // 2), str(ext.y + ext.height // 2))
    keys("click", "8")
    keys("click", "9")
    time.sleep(0.3)
    pump()
    if status() != before:
        fail(f"a Back or Forward button clicked the check button: '{status()}'")

    # The failure path: a loopback port nobody listens on.
    keys("windowfocus", xid)
    text1.grab_focus()
    wait_for("the address box", lambda: state(text1, Atspi.StateType.FOCUSED), pump=pump)
    keys("key", "ctrl+a")
    keys("type", "--delay", "2", dead)
    keys("key", "Return")
    wait_for("the failure on the status line",
             lambda: status().startswith(f"Could not fetch {dead}: "), pump=pump)
    if table.get_n_rows() != 0:
        fail("the old page's findings stayed under the failed address")
    # Three rows of two cells went.
    wait_for("the table to tell that its rows went", lambda: events["remove"] >= 6, pump=pump)
    if "the source shown is from " + page not in status():
        fail(f"the status line does not say whose source is shown: '{status()}'")
    server_line = [n for n in walk(group, []) if n.get_role() == Atspi.Role.LABEL and
                   n.get_name().startswith("Web Server:")]
    if [n.get_name() for n in server_line] != ["Web Server: (fetch failed)"]:
        fail(f"the server line says {[n.get_name() for n in server_line]}")
    listener.deregister("object:children-changed")
    listener.deregister("object:state-changed")


if __name__ == "__main__":
    main()
