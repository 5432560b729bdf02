#!/usr/bin/python3
"""Drives a real LibreOffice over UNO for the edit-cycle tests.

usage: office_driver.py DOCUMENT PROFILE_DIR
Starts a headless soffice with its own profile, opens DOCUMENT for editing and answers on
standard output, one line per step: "opened", then for each line of standard input:
  edit TEXT   puts TEXT into cell A1 and saves the document in its own format -> "saved"
  close       closes the document -> "closed"
  quit        ends the suite -> "bye", then exits
Anything that goes wrong is printed as "error ..." and ends the driver.
"""
import os
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def say(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def main():
    document, profile = sys.argv[1], sys.argv[2]
    pipe = "velquor_%d" % os.getpid()
    office = subprocess.Popen(
        ["soffice", "--headless", "--invisible", "--nologo", "--norestore",
         "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
         "--accept=pipe,name=%s;urp;" % pipe],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        context = None
        for _ in range(300):
            try:
                context = resolver.resolve(
                    "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                time.sleep(0.1)
        if context is None:
            say("error: no connection to soffice")
            return 1
        desktop = context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", context)
        doc = desktop.loadComponentFromURL(
            uno.systemPathToFileUrl(document), "_blank", 0, (prop("Hidden", True),))
        if doc is None:
            say("error: the document did not open")
            return 1
        say("opened")
        for line in sys.stdin:
            command, _, argument = line.rstrip("\n").partition(" ")
            if command == "edit":
                doc.Sheets.getByIndex(0).getCellByPosition(0, 0).setString(argument)
                doc.store()
                say("saved")
            elif command == "close":
                doc.close(True)
                say("closed")
            elif command == "quit":
                break
        try:
            desktop.terminate()
        except Exception:
            pass  # the bridge goes down with the suite
        say("bye")
        return 0
    except Exception as e:  # the test reads this line
        say("error: %s" % e)
        return 1
    finally:
        try:
            office.wait(timeout=20)
        except subprocess.TimeoutExpired:
            office.kill()


if __name__ == "__main__":
    sys.exit(main())
