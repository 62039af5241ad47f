#!/usr/bin/env python3
"""Tests of the Windows build under Wine: the binaries' imports and exports, start-up and its
failures, sharing of the template and the trace log, requests through pentrel-try.exe, the status
program's output. Each case group is one ctest test; `setup` makes the Wine prefix they share."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zipfile
from pathlib import Path

KEY = r"HKLM\SOFTWARE\ORV\Pentrel for MSIIS\1.0"
KEY_TEXT = r"SOFTWARE\ORV\Pentrel for MSIIS\1.0"
VALUE = "Wrapper File"
TEMPLATE = r"C:\pentrel\pt_wrap.htm"
UPS_FILE = r"C:\temp\ups.dev"
SOURCE = "Pentrel for MSIIS"

MSG_CONNECT = "Initialise: Unable to connect - ensure ORV UPS service is running"
MSG_REGISTRY = "Failed to query registry for wrapper file path"
MSG_TEMPLATE = "Initialise: pt_wrap.htm not found or unopenable!"
MSG_KEYWORD = "Keyword ORIGINAL_PAGE not found in pt_wrap.htm"

START_OK = ["", "OrvInit() went OK", KEY_TEXT, "Back on track"]
START_TO_REGISTRY = ["", "OrvInit() went OK", KEY_TEXT]
PASS_FLAGGED = ["PHTTP_FILTER_PREPROC_HEADERS", "Inside try", "END of Proc"]
CLEANUP = ["CleanUp() went OK"]

# A template with CR LF lines and no line end after the last: the filter keeps LF only.
TEMPLATE_BYTES = b"<html><body>\r\n<p>ORIGINAL_PAGE</p>\r\n</body></html>"
PREFIX = b"<html><body>\n<p>"
SUFFIX = b"</p>\n</body></html>\n"
WRAPPED_HEAD = b"HTTP/1.1 200 OK\r\nContent-type: text/html\r\n\r\n"

ON_LINE = "ups.status: OL CHRG\nbattery.runtime: 3000\n"
ON_BATTERY = "ups.status: OB DISCHRG\nbattery.runtime: 1500\n"  # 25 minutes

WINE_TIMEOUT = 90  # one Wine process; the first start in a prefix is the slow one


class Env:
    def __init__(self, args):
        self.args = args
        self.prefix = Path(args.prefix)
        self.drive_c = self.prefix / "drive_c"
        self.temp = self.drive_c / "temp"
        self.app = self.drive_c / "pentrel"
        self.failures = []
        self.cases = 0
        self.started = time.monotonic()

    # --- Wine ---------------------------------------------------------------------------------

    def base_env(self, debug="-all", extra=None, drop=()):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "KIVLINK_UPS", "QUERY_STRING")}
        env.update(WINEPREFIX=str(self.prefix), WINEDEBUG=debug,
                   WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64")
        env["KIVLINK_UPS"] = "sim:" + UPS_FILE
        env.update(extra or {})
        for name in drop:
            env.pop(name, None)
        return env

    def wine(self, *argv, debug="-all", extra=None, drop=(), timeout=WINE_TIMEOUT, cwd=None):
        # Files, not pipes: Wine's services, when this process starts them, inherit its standard
        # handles and would hold a pipe open long after the process has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.run([self.args.wine, *argv], cwd=cwd or self.app,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout,
                                  env=self.base_env(debug, extra, drop))
            out.seek(0)
            err.seek(0)
            return proc.returncode, out.read(), err.read()

    def reg_set(self, data):
        rc, out, err = self.wine("reg", "add", KEY, "/v", VALUE, "/t", "REG_SZ", "/d", data, "/f")
        if rc != 0:
            raise RuntimeError(f"reg add failed: {out!r} {err!r}")

    def reg_delete_key(self):
        self.wine("reg", "delete", KEY, "/f")  # fails harmlessly when the key is not there

    def reg_key_without_value(self):
        self.reg_delete_key()
        rc, out, err = self.wine("reg", "add", KEY, "/f")
        if rc != 0:
            raise RuntimeError(f"reg add (key) failed: {out!r} {err!r}")

    # --- files of the prefix ------------------------------------------------------------------

    def fresh_state(self, ups=ON_LINE, template=TEMPLATE_BYTES):
        for name in ("err.txt", "upsonbatt.txt", "response.bin", "release"):
            p = self.temp / name
            if p.is_dir():
                p.rmdir()
            elif p.exists():
                p.unlink()
        (self.temp / "ups.dev").write_text(ups)
        wrap = self.app / "pt_wrap.htm"
        if wrap.is_dir():
            wrap.rmdir()
        if template is None:
            if wrap.exists():
                wrap.unlink()
        else:
            wrap.write_bytes(template)

    def trace(self):
        """The trace log's lines; every line must end in CR LF."""
        path = self.temp / "err.txt"
        if not path.exists():
            return None
        data = path.read_bytes()
        if data and not data.endswith(b"\r\n"):
            self.fail("trace log", f"does not end in CR LF: {data[-20:]!r}")
        if re.search(rb"(?<!\r)\n", data) or re.search(rb"\r(?!\n)", data):
            self.fail("trace log", f"line end other than CR LF: {data!r}")
        return [l.decode("latin-1") for l in data.split(b"\r\n")[:-1]]

    # --- pentrel-try --------------------------------------------------------------------------

    def try_request(self, url, *options, debug="-all", extra=None, drop=()):
        argv = ["pentrel-try.exe", *options, "--response", r"C:\temp\response.bin", "PENTREL.dll", url]
        rc, out, err = self.wine(*argv, debug=debug, extra=extra, drop=drop)
        text = out.decode("latin-1").replace("\r\n", "\n")
        result = {"rc": rc, "stdout": text, "stderr": err.decode("latin-1")}
        for line in text.split("\n"):
            for field in ("status", "url", "GetFilterVersion"):
                if line.startswith(field + ": ") and field not in result:
                    result[field] = line[len(field) + 2:]
        response = self.temp / "response.bin"
        result["response"] = response.read_bytes() if response.exists() else None
        return result

    # --- checking -----------------------------------------------------------------------------

    def fail(self, case, message):
        self.failures.append(f"{case}: {message}")
        print(f"FAIL {case}: {message}", flush=True)

    def expect(self, case, what, got, want):
        if got != want:
            self.fail(case, f"{what}\n    got:  {got!r}\n    want: {want!r}")
            return False
        return True

    def done(self, case):
        self.cases += 1
        print(f"case {self.cases}: {case} ({time.monotonic() - self.started:.1f} s)", flush=True)

    def finish(self, group):
        if self.failures:
            print(f"{group}: {len(self.failures)} failure(s)")
            return 1
        print(f"{group}: all {self.cases} case(s) passed")
        return 0


EVENT_LINE = re.compile(r"^[0-9a-f]+:err:eventlog:ReportEventW L\"(.*)\"$")
REPORT_A = re.compile(r"^[0-9a-f]+:fixme:advapi:ReportEventA \(([^)]*)\)")
REGISTER_A = re.compile(r"^[0-9a-f]+:fixme:advapi:RegisterEventSourceA \((.*)\): stub$")
DEREGISTER = re.compile(r"^[0-9a-f]+:fixme:advapi:DeregisterEventSource ")
# Wine's event log is a stub that prints each call; these channels show what ReportEventA was given.
EVENT_DEBUG = "-all,err+eventlog,fixme+advapi"


def events(stderr):
    """[(arguments of ReportEventA, [its strings])] from Wine's debug output, plus the counts of
    RegisterEventSourceA (with its arguments) and DeregisterEventSource calls."""
    reports, registers, deregisters = [], [], 0
    for line in stderr.splitlines():
        if m := REGISTER_A.match(line):
            registers.append(m.group(1))
        elif m := REPORT_A.match(line):
            args = m.group(1).split(",")
            # handle, type, category, id, sid, count, data size, strings, data
            reports.append(((args[1], args[2], args[3], args[4], args[5], args[6], args[8]), []))
        elif m := EVENT_LINE.match(line):
            if reports:
                reports[-1][1].append(m.group(1))
        elif DEREGISTER.match(line):
            deregisters += 1
    return reports, registers, deregisters


ERROR_EVENT_ARGS = ("0x0001", "0x0000", "0x00000000", "0000000000000000", "0x0002", "0x00000000",
                    "0000000000000000")


def check_events(env, case, stderr, messages):
    reports, registers, deregisters = events(stderr)
    env.expect(case, "event strings", [s for _, s in reports], [[SOURCE, m] for m in messages])
    for args, _ in reports:
        env.expect(case, "ReportEventA arguments (type, category, id, sid, strings, data size, data)",
                   args, ERROR_EVENT_ARGS)
    env.expect(case, "RegisterEventSourceA calls", registers, ['"","Pentrel for MSIIS"'] * len(messages))
    env.expect(case, "DeregisterEventSource calls", deregisters, len(messages))


def url_stem(url):
    return ["PHTTP_FILTER_PREPROC_HEADERS", "Inside try", "Inside GetError", "500", "GetUrlHeader", url,
            "After GetUrlHeader", "After GetURlHeader"]


# --- groups -------------------------------------------------------------------------------------

def setup(env):
    if env.prefix.exists():
        subprocess.run([env.args.wineserver, "-k"], env=env.base_env(), timeout=60,
                       stdin=subprocess.DEVNULL, capture_output=True)
        shutil.rmtree(env.prefix)
    env.prefix.parent.mkdir(parents=True, exist_ok=True)
    started = time.monotonic()
    proc = subprocess.run([env.args.wineboot, "-i"], env=env.base_env(), timeout=300,
                          stdin=subprocess.DEVNULL, capture_output=True)
    if proc.returncode != 0:
        print(proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1"))
        env.fail("setup", f"wineboot -i failed with {proc.returncode}")
        return env.finish("setup")
    subprocess.run([env.args.wineserver, "-w"], env=env.base_env(), timeout=120,
                   stdin=subprocess.DEVNULL, capture_output=True)
    # One wineserver with its services for the whole run (cleanup ends it): otherwise each group
    # waits for them to start afresh. Neither may hold ctest's output pipes.
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                 env=env.base_env(), timeout=120)
    subprocess.run([env.args.wineserver, "-p"], start_new_session=True, **quiet)
    subprocess.run([env.args.wine, "cmd", "/c", "exit"], start_new_session=True, **quiet)
    print(f"prefix made in {time.monotonic() - started:.1f} s")
    env.temp.mkdir(parents=True, exist_ok=True)
    env.app.mkdir(parents=True, exist_ok=True)
    # Filter, kivlink and the tools in one folder, as the install kit lays them out.
    for name in ("filter", "kivlink", "try_", "holdopen", "notfy"):
        path = getattr(env.args, name)
        if path:
            shutil.copy2(path, env.app)
    return env.finish("setup")


def cleanup(env):
    subprocess.run([env.args.wineserver, "-k"], env=env.base_env(), timeout=60,
                   stdin=subprocess.DEVNULL, capture_output=True)
    return env.finish("cleanup")


ALLOWED_DLLS = {"kernel32.dll", "msvcrt.dll", "advapi32.dll", "ws2_32.dll", "kivlink.dll"}


def exports(env):
    def dump(path):
        return subprocess.run([env.args.objdump, "-p", path], capture_output=True, text=True,
                              timeout=60, check=True).stdout

    def imports(text):
        """{dll: [names]} from objdump's import tables."""
        table, current = {}, None
        for line in text.splitlines():
            if m := re.match(r"^\s*DLL Name: (\S+)", line):
                current = m.group(1).lower()
                table[current] = []
            elif current and (m := re.match(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)):
                table[current].append(m.group(1))
            elif not line.strip():
                current = None if current and table[current] else current
        return table

    def exported(text):
        m = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\s+\[\s*\d+\] \S+\n)*)", text)
        return re.findall(r"\] (\S+)", m.group(1)) if m else []

    binaries = [("PENTREL.dll", env.args.filter), ("kivlink.dll", env.args.kivlink),
                ("pentrel-try.exe", env.args.try_), ("pt_notfy.exe", env.args.notfy)]
    for name, path in binaries:
        if not path:
            continue
        text = dump(path)
        env.expect(name, "PE32+ (x86-64)", "Magic\t\t\t020b" in text, True)
        table = imports(text)
        extra = sorted(set(table) - ALLOWED_DLLS)
        # A MinGW runtime DLL here (libstdc++-6, libgcc_s_seh-1, libwinpthread-1) would be missing
        # on the server.
        env.expect(name, "imported DLLs outside the system ones", extra, [])
        if name == "PENTREL.dll":
            env.expect(name, "exports", sorted(exported(text)), ["GetFilterVersion", "HttpFilterProc"])
            env.expect(name, "imports from kivlink.dll", sorted(table.get("kivlink.dll", [])),
                       ["InitClient", "OrvGet"])
        if name == "kivlink.dll":
            got = set(exported(text))
            env.expect(name, "exports InitClient and OrvGet", {"InitClient", "OrvGet"} <= got, True)
        if name == "pt_notfy.exe":
            env.expect(name, "imports nothing of the project", "kivlink.dll" in table, False)
        env.done(name)
    return env.finish("exports")


def startup(env):
    long_name = lambda total: "C:\\pentrel\\" + "w" * (total - len("C:\\pentrel\\") - 4) + ".htm"
    path127, path128 = long_name(127), long_name(128)
    assert len(path127) == 127 and len(path128) == 128

    def registry(data):
        return lambda: env.reg_set(data)

    def template_at(data, path, content=TEMPLATE_BYTES):
        def prepare():
            env.reg_set(data)
            (env.drive_c / path.replace("\\", "/")).write_bytes(content)
        return prepare

    def template_is_directory():
        env.reg_set(TEMPLATE)
        (env.app / "pt_wrap.htm").unlink()
        (env.app / "pt_wrap.htm").mkdir()

    # name, preparation, KIVLINK_UPS override, template bytes, trace lines of start-up, event messages
    cases = [
        # Passes only if Wine hands KIVLINK_UPS (sim: an existing file) through to the process.
        ("start-up succeeds", registry(TEMPLATE), None, TEMPLATE_BYTES, START_OK, []),
        ("UPS service not reachable", registry(TEMPLATE), "sim:C:\\temp\\no-such-ups.dev",
         TEMPLATE_BYTES, ["OrvInit failed", MSG_CONNECT], [MSG_CONNECT]),
        ("key missing", env.reg_delete_key, None, TEMPLATE_BYTES, START_TO_REGISTRY + [MSG_REGISTRY],
         [MSG_REGISTRY]),
        ("value missing", env.reg_key_without_value, None, TEMPLATE_BYTES,
         START_TO_REGISTRY + [MSG_REGISTRY], [MSG_REGISTRY]),
        ("path of 127 characters", template_at(path127, path127[3:]), None, TEMPLATE_BYTES, START_OK, []),
        ("path of 128 characters", template_at(path128, path128[3:]), None, TEMPLATE_BYTES,
         START_TO_REGISTRY + [MSG_REGISTRY], [MSG_REGISTRY]),
        ("template missing", registry(TEMPLATE), None, None, START_TO_REGISTRY + [MSG_TEMPLATE],
         [MSG_TEMPLATE]),
        ("template is a directory", template_is_directory, None, TEMPLATE_BYTES,
         START_TO_REGISTRY + [MSG_TEMPLATE], [MSG_TEMPLATE]),
        ("keyword missing", registry(TEMPLATE), None, b"<p>original_page</p>\r\nORIGINAL_\r\nPAGE\r\n",
         START_OK + [MSG_KEYWORD], [MSG_KEYWORD]),
    ]
    for name, prepare, ups, template, start_lines, messages in cases:
        env.fresh_state(template=template)
        prepare()
        extra = {"KIVLINK_UPS": ups} if ups else None
        r = env.try_request("/logo.gif", debug=EVENT_DEBUG, extra=extra)
        env.expect(name, "exit status", r["rc"], 0)
        # The registration does not depend on start-up.
        env.expect(name, "GetFilterVersion", r.get("GetFilterVersion"),
                   'TRUE, flags 0x84003, filter version 1, "pentrel Filter"')
        env.expect(name, "status", r.get("status"), "SF_STATUS_REQ_NEXT_NOTIFICATION (0x8000002)")
        request_lines = url_stem("/logo.gif") + ["END of Proc"] if not messages else PASS_FLAGGED
        env.expect(name, "trace", env.trace(), start_lines + request_lines + CLEANUP)
        check_events(env, name, r["stderr"], messages)
        env.done(name)
    for p in (path127, path128):
        (env.drive_c / p[3:].replace("\\", "/")).unlink(missing_ok=True)
    return env.finish("startup")


class Holder:
    """holdopen.exe keeping a file open in another Wine process until released."""

    def __init__(self, env, path, mode):
        self.env = env
        self.release = env.temp / "release"
        self.release.unlink(missing_ok=True)
        self.proc = subprocess.Popen([env.args.wine, "holdopen.exe", path, r"C:\temp\release", mode],
                                     cwd=env.app, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=env.base_env())
        self.line = b""
        reader = threading.Thread(target=lambda: setattr(self, "line", self.proc.stdout.readline()))
        reader.start()
        reader.join(WINE_TIMEOUT)
        if not self.line.startswith(b"held"):
            self.close()
            raise RuntimeError(f"holdopen did not open {path}: {self.proc.stderr.read()!r}")

    def close(self):
        self.release.touch()
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.release.unlink(missing_ok=True)


def sharing(env):
    env.reg_set(TEMPLATE)

    # The template held by another process, with or without sharing: start-up opens it without
    # sharing, so any other handle stops it.
    for mode in ("none", "read"):
        env.fresh_state()
        holder = Holder(env, TEMPLATE, mode)
        try:
            r = env.try_request("/logo.gif", debug=EVENT_DEBUG)
        finally:
            holder.close()
        case = f"template held by a reader ({mode} shared)"
        env.expect(case, "trace", env.trace(),
                   START_TO_REGISTRY + [MSG_TEMPLATE] + PASS_FLAGGED + CLEANUP)
        check_events(env, case, r["stderr"], [MSG_TEMPLATE])
        env.done(case)

    # Released, the same template opens: it was the other handle that stopped it.
    env.fresh_state()
    env.try_request("/logo.gif")
    env.expect("template released", "trace", env.trace(),
               START_OK + url_stem("/logo.gif") + ["END of Proc"] + CLEANUP)
    env.done("template released")

    # The trace log held open, shared, by a reader-writer: lines are still appended.
    env.fresh_state()
    (env.temp / "err.txt").write_bytes(b"before\r\n")
    holder = Holder(env, r"C:\temp\err.txt", "all")
    try:
        env.try_request("/logo.gif")
    finally:
        holder.close()
    env.expect("trace log held with sharing", "trace", env.trace(),
               ["before"] + START_OK + url_stem("/logo.gif") + ["END of Proc"] + CLEANUP)
    env.done("trace log held with sharing")

    # Held without sharing: every line is dropped and the filter works all the same.
    env.fresh_state(ups=ON_BATTERY)
    (env.temp / "err.txt").write_bytes(b"before\r\n")
    holder = Holder(env, r"C:\temp\err.txt", "none")
    try:
        r = env.try_request("/index.htm")
    finally:
        holder.close()
    case = "trace log held without sharing"
    env.expect(case, "trace", env.trace(), ["before"])
    env.expect(case, "status", r.get("status"), "SF_STATUS_REQ_FINISHED_KEEP_CONN (0x8000001)")
    env.expect(case, "response", r["response"], WRAPPED_HEAD + PREFIX + b"/index.htm" + SUFFIX)
    env.done(case)
    return env.finish("sharing")


def requests(env):
    env.reg_set(TEMPLATE)
    NEXT = "SF_STATUS_REQ_NEXT_NOTIFICATION (0x8000002)"
    DONE = "SF_STATUS_REQ_FINISHED_KEEP_CONN (0x8000001)"
    ERROR = "SF_STATUS_REQ_ERROR (0x8000004)"
    CHECKED = ["Inside CheckIsValidExtension"]
    ONLINE_LINES = ["LINE GOOD", "0"]
    BATTERY_LINES = ["LINE_BAD == 0!"]
    WRAP_LINES = ["Begin new handling", "Before strcpy"] * 2
    CGI = "/cgi-bin/pt_notfy.exe"

    def wrapped(url):
        return WRAPPED_HEAD + PREFIX + url + SUFFIX

    def marker_file():
        (env.temp / "upsonbatt.txt").write_text("")

    def marker_directory():
        (env.temp / "upsonbatt.txt").mkdir()

    # name, UPS, preparation, URL, options, status, URL afterwards, response, request trace, events
    cases = [
        ("page on line", ON_LINE, None, "/Index.HTM", [], NEXT, "/Index.HTM (unchanged)", None,
         url_stem("/Index.HTM") + CHECKED + ["No .orv"] + ONLINE_LINES, []),
        ("not a page, on battery", ON_BATTERY, None, "/pentrel/onbattery.gif", [], NEXT,
         "/pentrel/onbattery.gif (unchanged)", None, url_stem("/pentrel/onbattery.gif"), []),
        ("page on battery", ON_BATTERY, None, "/Index.HTM", [], DONE, "/Index.HTM (unchanged)",
         wrapped(b"/index.htm"),
         url_stem("/Index.HTM") + CHECKED + ["No .orv"] + BATTERY_LINES + WRAP_LINES, []),
        ("program on battery", ON_BATTERY, None, "/cgi-bin/search.exe?q=x", [], DONE,
         "/cgi-bin/search.exe?q=x (unchanged)", wrapped(b"/cgi-bin/search.exe?q=x"),
         url_stem("/cgi-bin/search.exe?q=x") + CHECKED + ["No .orv"] + BATTERY_LINES + WRAP_LINES, []),
        ("battery marker file, on line", ON_LINE, marker_file, "/a.html", [], DONE,
         "/a.html (unchanged)", wrapped(b"/a.html"),
         url_stem("/a.html") + CHECKED + ["No .orv"] + ONLINE_LINES + WRAP_LINES, []),
        ("battery marker is a directory", ON_LINE, marker_directory, "/a.html", [], DONE,
         "/a.html (unchanged)", wrapped(b"/a.html"),
         url_stem("/a.html") + CHECKED + ["No .orv"] + ONLINE_LINES + WRAP_LINES, []),
        ("marked page on battery", ON_BATTERY, None, "/Index.htm.orv", [], NEXT,
         "/index.htm (rewritten)", None,
         url_stem("/Index.htm.orv") + CHECKED
         + ["Takeaway .orv from header text", "SetUrlHeader", "/index.htm", "newURLHeader", "/index.htm"],
         []),
        ("status program on line", ON_LINE, None, CGI + ".orv", [], NEXT, CGI + "?-1 (rewritten)", None,
         url_stem(CGI + ".orv") + CHECKED
         + ["Takeaway .orv from header text", "PT_CGI found", "AppendUpsInfoToCgiUrl"] + ONLINE_LINES
         + ["newURLHeader ON_LINE", CGI + "?-1", "newURLHeader", CGI + "?-1"], []),
        ("status program on battery", ON_BATTERY, None, CGI + ".orv", [], NEXT, CGI + "?25 (rewritten)",
         None,
         url_stem(CGI + ".orv") + CHECKED
         + ["Takeaway .orv from header text", "PT_CGI found", "AppendUpsInfoToCgiUrl"] + BATTERY_LINES
         + [CGI + "?25", "newURLHeader", CGI + "?25"], []),
        ("every response callback fails", ON_BATTERY, None, "/index.htm",
         ["--fail-add-headers", "--fail-send-headers", "--fail-write"], ERROR, "/index.htm (unchanged)",
         None,
         url_stem("/index.htm") + CHECKED + ["No .orv"] + BATTERY_LINES + WRAP_LINES
         + ["AddResponseHeaders failed ->Content-type not set ok", "ServerSupportFunction failed!",
            "WriteClient failed!"], []),
        ("header read fails", ON_BATTERY, None, "/index.htm", ["--fail-get-header"], NEXT,
         "/index.htm (unchanged)", None,
         url_stem("/index.htm")[:5] + ["Failed to Get Header SEVERE"], ["Failed to Get Header SEVERE"]),
        ("header write fails", ON_LINE, None, "/index.htm.orv", ["--fail-set-header"], NEXT,
         "/index.htm.orv (unchanged)", None,
         url_stem("/index.htm.orv") + CHECKED
         + ["Takeaway .orv from header text", "SetUrlHeader", "Failed to Set Header SEVERE"],
         ["Failed to Set Header SEVERE"]),
    ]
    for name, ups, prepare, url, options, status, url_after, response, lines, messages in cases:
        env.fresh_state(ups=ups)
        if prepare:
            prepare()
        r = env.try_request(url, *options, debug=EVENT_DEBUG)
        env.expect(name, "exit status", r["rc"], 0)
        env.expect(name, "status", r.get("status"), status)
        env.expect(name, "url", r.get("url"), url_after)
        env.expect(name, "response", r["response"] or None, response)
        env.expect(name, "trace", env.trace(), START_OK + lines + ["END of Proc"] + CLEANUP)
        check_events(env, name, r["stderr"], messages)
        env.done(name)
    return env.finish("requests")


def try_tool(env):
    env.fresh_state()
    env.reg_set(TEMPLATE)
    # name, arguments, exit status, text expected on stdout or stderr
    cases = [
        ("no arguments", [], 2, "Usage: pentrel-try"),
        ("URL missing", ["PENTREL.dll"], 2, "expected FILTER-LIBRARY and URL"),
        ("unknown option", ["--fail-everything", "PENTREL.dll", "/a.htm"], 2, "unknown option"),
        ("option value missing", ["PENTREL.dll", "/a.htm", "--response"], 2, "--response needs"),
        ("help", ["--help"], 0, "--fail-send-headers"),
        ("library missing", ["NoSuch.dll", "/a.htm"], 3, "cannot load NoSuch.dll"),
        ("not a library", ["pt_wrap.htm", "/a.htm"], 3, "cannot load pt_wrap.htm"),
        ("no filter entry points", ["kivlink.dll", "/a.htm"], 3,
         "does not export GetFilterVersion and HttpFilterProc"),
    ]
    for name, argv, rc, text in cases:
        got_rc, out, err = env.wine("pentrel-try.exe", *argv)
        env.expect(name, "exit status", got_rc, rc)
        both = (out + err).decode("latin-1")
        env.expect(name, f"output mentions {text!r}", text in both, True)
        env.done(name)
    # A request header and the tool's own report of the callbacks.
    r = env.try_request("/index.htm", "--header", "Host: www.example.org")
    env.expect("callbacks listed", "GetHeader line",
               'call: GetHeader("url", 500 bytes) = "/index.htm" -> TRUE' in r["stdout"], True)
    env.done("callbacks listed")
    return env.finish("try_tool")


def statuspage(env):
    head = (b"Content-type: text/html\r\n\r\n\r\n"
            b'<meta http-equiv="Refresh" content="15">\r\n'
            b"<HTML><HEAD><TITLE>Server NO err</TITLE>\r\n"
            b"</HEAD> \r\n"
            b"<BODY BGCOLOR=WHITE>\r\n")
    tail = b"</BODY></HTML>\r\n"
    online = (b'<IMG SRC="/pentrel/online.gif" ALIGN=RIGHT BORDER=0>\r\n'
              b"<B><FONT SIZE=4> UPS On Line!  </FONT></B>\r\n")

    def battery(shown):
        return (b'<IMG SRC="/pentrel/onbattery.gif" ALIGN=RIGHT BORDER=0>\r\n'
                b"<B><FONT SIZE=4> Runtime remaining: " + shown + b" minutes </FONT></B>\r\n")

    # query (None: not set at all), the status lines expected
    cases = [
        (None, b""),
        ("-1", online),
        ("   -1", online),
        ("-1abc", online),
        ("-01", online),
        ("", battery(b"")),
        ("25", battery(b"25")),
        ("0", battery(b"0")),
        ("-2", battery(b"-2")),
        ("+1", battery(b"+1")),
        ("abc", battery(b"abc")),
        ("%2D1", battery(b"%2D1")),
        ("<b>&\"'x", battery(b"&lt;b&gt;&amp;&quot;&#39;x")),
        ("99999999999", battery(b"99999999999")),
    ]
    for query, status in cases:
        name = f"QUERY_STRING={query!r}"
        if query is None:
            rc, out, err = env.wine("pt_notfy.exe", drop=("QUERY_STRING",))
        else:
            rc, out, err = env.wine("pt_notfy.exe", extra={"QUERY_STRING": query})
        env.expect(name, "exit status", rc, 0)
        env.expect(name, "output", out, head + status + tail)
        env.done(name)
    return env.finish("statuspage")


def kit(env):
    """The ZIP install kit, unpacked as C:\\Pentrel the way the install guide says, works as laid out."""
    out = env.prefix.parent / "kit-out"
    shutil.rmtree(out, ignore_errors=True)
    proc = subprocess.run([env.args.cpack, "-G", "ZIP", "-B", str(out)], cwd=env.args.build_dir,
                          capture_output=True, text=True, timeout=300)
    if not env.expect("cpack", "exit status", proc.returncode, 0):
        print(proc.stdout, proc.stderr)
        return env.finish("kit")
    zips = sorted(out.glob("*.zip"))
    env.expect("cpack", "one ZIP", len(zips), 1)
    root = env.drive_c / "Pentrel"
    shutil.rmtree(root, ignore_errors=True)
    with zipfile.ZipFile(zips[0]) as z:
        names = z.namelist()
        top = {n.split("/")[0] for n in names}
        env.expect("zip", "one top folder", len(top), 1)
        z.extractall(env.drive_c)
    (env.drive_c / top.pop()).rename(root)
    site = Path(env.args.source_dir) / "site"
    wanted = ["bin/PENTREL.dll", "bin/kivlink.dll", "bin/pentrel-try.exe", "pentrel.reg",
              "INSTALL-IIS.md"]
    if env.args.notfy:
        wanted += ["bin/pt_notfy.exe", "cgi-bin/pt_notfy.exe"]
    if (site / "pt_wrap.htm").exists():
        wanted.append("share/pentrel/site/pt_wrap.htm")
    for gif in ("online.gif", "onbattery.gif"):
        if (site / "htdocs" / "pentrel" / gif).exists():
            wanted.append("share/pentrel/site/htdocs/pentrel/" + gif)
    env.expect("zip", "files missing", [w for w in wanted if not (root / w).exists()], [])
    env.done("kit contents")

    # The kit's own registry file names the kit's template.
    env.reg_delete_key()
    rc, out_, err = env.wine("reg", "import", r"C:\Pentrel\pentrel.reg")
    env.expect("reg import pentrel.reg", "exit status", rc, 0)
    template = root / "share/pentrel/site/pt_wrap.htm"
    if template.exists():
        env.fresh_state(ups=ON_BATTERY)
        rc, out_, err = env.wine(r"C:\Pentrel\bin\pentrel-try.exe", "--response", r"C:\temp\response.bin",
                                 r"C:\Pentrel\bin\PENTREL.dll", "/index.htm", cwd=env.temp)
        env.expect("kit filter", "exit status", rc, 0)
        env.expect("kit filter", "trace begins", (env.trace() or [])[:4], START_OK)
        text = template.read_bytes().replace(b"\r\n", b"\n")
        if not text.endswith(b"\n"):
            text += b"\n"
        body = text.replace(b"ORIGINAL_PAGE", b"/index.htm", 1)
        env.expect("kit filter", "response", (env.temp / "response.bin").read_bytes(), WRAPPED_HEAD + body)
        env.done("kit filter with its pentrel.reg and template")
    if env.args.notfy:
        rc, out_, err = env.wine(r"C:\Pentrel\cgi-bin\pt_notfy.exe", extra={"QUERY_STRING": "-1"},
                                 cwd=env.temp)
        env.expect("kit status page", "on line", b"UPS On Line!" in out_, True)
        env.done("kit status page")
    shutil.rmtree(out, ignore_errors=True)
    return env.finish("kit")


GROUPS = {"setup": setup, "cleanup": cleanup, "exports": exports, "startup": startup,
          "sharing": sharing, "requests": requests, "try_tool": try_tool, "statuspage": statuspage, "kit": kit}


def main():
    p = argparse.ArgumentParser(description=__doc__)
    for opt in ("prefix", "wine", "wineserver", "wineboot", "objdump", "filter", "kivlink",
                "holdopen", "cpack", "build-dir", "source-dir"):
        p.add_argument("--" + opt, required=opt in ("prefix", "wine", "wineserver", "wineboot"))
    p.add_argument("--try", dest="try_")
    p.add_argument("--notfy")
    p.add_argument("group", choices=sorted(GROUPS))
    args = p.parse_args()
    env = Env(args)
    try:
        return GROUPS[args.group](env)
    except (subprocess.TimeoutExpired, RuntimeError, OSError) as e:
        env.fail(args.group, f"{type(e).__name__}: {e}")
        return env.finish(args.group)


if __name__ == "__main__":
    sys.exit(main())
