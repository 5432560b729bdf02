#!/usr/bin/python3
"""Signs in through the accessibility interface only, as a screen reader user or an
outside-in UI tool would: the program is started on an X display with the AT-SPI bus, the
login dialog is found by its title, its three fields and OK by their accessible names, the
fields are filled and OK pressed through AT-SPI, and the service must see the sign-in.

Runs inside `dbus-run-session -- login_by_accessibility.py <velquor> <devserver>`; it starts
an X server (Xvfb) of its own.
Nothing here knows the program's widgets or their object names."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

import pyatspi


def wait_for(what, check, seconds=30.0, dump=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = check()
        if found:
            return found
        time.sleep(0.2)
    if dump is not None:  # what there was instead
        for node in walk(dump):
            try:
                print(f"  {node.getRoleName()}: {node.name!r}", file=sys.stderr)
            except Exception:
                pass
    raise SystemExit(f"not found within {seconds:.0f} s: {what}")


def walk(node, depth=0):
    if node is None or depth > 30:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:  # a node that went away meanwhile
            continue
        yield from walk(child, depth + 1)


def find(root, role, name_test):
    for node in walk(root):
        try:
            if node.getRole() in role and name_test(node.name or ""):
                return node
        except Exception:
            continue
    return None


def is_login_title(name):
    # "VELQUOR - ログイン", the name carrying the server's suffix where there is one.
    return name.startswith("VELQUOR") and " - ログイン" in name


def start_display():
    """Xvfb on a free display number, answered once the server accepts connections."""
    read, write = os.pipe()
    display = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                                "-nolisten", "tcp"], pass_fds=(write,))
    os.close(write)
    with os.fdopen(read) as answer:
        number = answer.readline().strip()
    if not number:
        raise SystemExit("Xvfb did not start")
    return display, ":" + number


def start_devserver(devserver, data):
    server = subprocess.Popen([devserver, "--port", "0", "--seed", "demo", "--test-hooks",
                               "--data", data], stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline().strip()
    if not line.startswith("listening on"):
        raise SystemExit(f"devserver did not start: {line!r}")
    return server, int(line.rsplit(":", 1)[1])


def main():
    exe, devserver = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="velquor-a11y-")
    server = program = bus = display = None
    try:
        display, display_name = start_display()
        server, port = start_devserver(devserver, os.path.join(work, "server"))
        install = os.path.join(work, "install")
        os.makedirs(os.path.join(install, "vqrdata"))
        shutil.copy(exe, os.path.join(install, "velquor"))
        settings = f"hostName=127.0.0.1\r\nhttpPort={port}\r\nsecure=0\r\n"
        with open(os.path.join(install, "vqrdata", "server.vqr"), "wb") as f:
            f.write(b"\xff\xfe" + settings.encode("utf-16-le"))

        bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        home = os.path.join(work, "home")
        runtime = os.path.join(work, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env = dict(os.environ, DISPLAY=display_name, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_RUNTIME_DIR=runtime, LANG="C.UTF-8", QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        env.pop("VELQUOR_SUPPORT_MODE", None)
        program = subprocess.Popen([os.path.join(install, "velquor")], cwd=install, env=env)

        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_for("the program on the AT-SPI desktop",
                       lambda: find(desktop, {pyatspi.ROLE_APPLICATION},
                                    lambda n: n == "velquor"))
        dialog = wait_for("the login dialog",
                          lambda: find(app, {pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME},
                                       is_login_title),
                          dump=app)
        text_roles = {pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_ENTRY}
        values = {"事業所ID": "demo", "ログインID": "yamada", "パスワード": "yamada-pass"}
        for name, value in values.items():
            field = wait_for(f"the field {name}",
                             lambda: find(dialog, text_roles, lambda n: n == name))
            editable = field.queryEditableText()
            editable.setTextContents(value)
        ok = wait_for("the OK button",
                      lambda: find(dialog, {pyatspi.ROLE_PUSH_BUTTON}, lambda n: n == "OK"))
        wait_for("OK enabled", lambda: ok.getState().contains(pyatspi.STATE_ENABLED), 10)
        ok.queryAction().doAction(0)

        def signed_in():
            url = f"http://127.0.0.1:{port}/__devserver/log?op=login"
            with urllib.request.urlopen(url, timeout=5) as answer:
                return " 200" in answer.read().decode()

        wait_for("the sign-in on the service", signed_in)
        wait_for("the login dialog closed",
                 lambda: find(app, {pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME},
                              is_login_title) is None, 30)
        print("signed in through the accessibility interface")
        return 0
    finally:
        for process in (program, bus, server, display):
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
