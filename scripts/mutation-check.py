#!/usr/bin/env python3
"""Plants one fault at a time in the product code and runs the host suite.

Each fault below is a small edit of the kind the suite once let through: a
wrong Windows Installer value, a start-up decision taken the wrong way, a
step that goes on after an early end, a name match that takes a near miss,
a port past COM4, a fallback after a retry, a call left out where the end
state looks the same. A fault the suite does not notice is "missed". Faults
that change nothing a run can show are marked equivalent and not counted.

    ./scripts/mutation-check.py            # every fault (about 30 s each)
    ./scripts/mutation-check.py 3 7        # only these

The source is put back after each fault, also when the script is stopped.
Needs the host build (./scripts/build.sh host). Exit 1 when one is missed.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTS = os.path.join(ROOT, "build", "host", "tests", "host", "zep_host_tests")

# (kind, file, the text as it stands, the fault, equivalent?)
FAULTS = [
    ("exit code", "common/run_state.h", "kExitNewerVersion = 1638", "kExitNewerVersion = 1639", False),
    ("exit code", "common/run_state.h", "kExitPackageRejected = 1625", "kExitPackageRejected = 1602", False),
    ("exit code", "common/run_state.h", "kExitRestartStarted = 1641", "kExitRestartStarted = 1640", False),
    ("exit code", "common/run_state.h", "kExitLogFailure = 1622", "kExitLogFailure = 1621", False),
    ("exit code", "common/run_state.h", "kExitNotInstalled = 1605", "kExitNotInstalled = 1604", False),
    ("start-up", "common/startup.cpp", "if (options.Ok() && !options.Unattended()) {",
     "if (!options.Unattended()) {", False),
    ("start-up", "common/startup.cpp", "(!mutex.ok && mutex.error == kErrAccessDenied)", "false", False),
    ("start-up", "common/startup.cpp", "if (!options.logPath.empty()) {\n            begin(",
     "if (true) {\n            begin(", False),
    ("start-up", "common/startup.cpp", "begin(TraceLog::Start::Append);\n        RefuseCommandLine",
     "begin(TraceLog::Start::Fresh);\n        RefuseCommandLine", False),
    ("early end", "installer/desired_state.cpp", "if (!AcceptsInstallation(portCode)) sys_.EndProcess();",
     "AcceptsInstallation(portCode);", False),
    ("early end", "installer/desired_state.cpp", "if (!before.printersListed) {", "if (false) {", False),
    # The end of the run asks again before it restarts, and /norestart never gets here.
    ("early end", "common/restart.cpp", "if (run.Unattended() && run.Failed()) {", "if (false) {", True),
    ("refusal", "installer/desired_state.cpp", "else if (!known)", "else if (false)", False),
    ("refusal", "installer/desired_state.cpp", "state.value.data.find_first_not_of('\\0', 0) < 4", "true", False),
    ("refusal", "common/command_line.cpp", 'if (chosen_[i]) return Fail("/model "', 'if (false) return Fail("/model "',
     False),
    ("exit code", "installer/desired_state.cpp", "plan_.restart = plan_.driver || plan_.inf || plan_.uninstaller;",
     "plan_.restart = plan_.driver || plan_.inf;", False),
    ("near miss", "removal/product_state.cpp", "rest.size() < 4 ||", "rest.size() < 3 ||", False),
    ("near miss", "removal/product_state.cpp", " || rest.back() != ')')", ")", False),
    ("COM5 to COM8", "common/product.cpp", "portIndex > 7", "portIndex > 3", False),
    ("calls made", "installer/staging.cpp", "if (everyone.ok && admins.ok && system.ok) {",
     "if (everyone.ok && admins.ok) {", False),
    ("persisting fault", "installer/staging.cpp", "if (!made.ok) made = kernel.CreateDirectoryA(path);", "", False),
    (".old", "installer/staging.cpp", "if (moved) kernel.rename(old, dest);", "", False),
    (".old", "common/files.cpp", " && gone.error != kErrPathNotFound", "", False),
    ("check after", "installer/desired_state.cpp",
     'sys_.log.WriteLog("NOT INSTALLED : %s", what.c_str());\n            sys_.run.StepFailed();',
     'sys_.log.WriteLog("NOT INSTALLED : %s", what.c_str());', False),
    ("check after", "uninstaller/uninstaller_dlg.cpp",
     'sys_.log.WriteLog("NOT REMOVED : %s", what.c_str());\n            sys_.run.StepFailed();',
     'sys_.log.WriteLog("NOT REMOVED : %s", what.c_str());', False),
    ("queued at restart", "uninstaller/uninstaller_dlg.cpp",
     "if (kernel.GetFileAttributesA(copy).ok) sys_.DeleteAtRestart(copy);", "", False),
]


def run(cmd, seconds):
    try:
        return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=seconds).returncode
    except subprocess.TimeoutExpired:
        return -1


def build():
    return run(["cmake", "--build", "--preset", "host", "--target", "zep_host_tests", "-j2"], 900) == 0


def main():
    chosen = [int(a) for a in sys.argv[1:]] or range(1, len(FAULTS) + 1)
    if not build():
        sys.exit("the host build fails as it stands: ./scripts/build.sh host first")
    caught = missed = equivalent = stale = 0
    for n in chosen:
        kind, name, text, fault, same = FAULTS[n - 1]
        path = os.path.join(ROOT, name)
        with open(path) as f:
            source = f.read()
        if source.count(text) != 1:
            # The code moved on: the table needs the fault written anew.
            print(f"{n:2} STALE      {kind}: {name}: {text!r} is not there once")
            stale += 1
            continue
        try:
            with open(path, "w") as f:
                f.write(source.replace(text, fault))
            if not build():
                verdict = "NO BUILD"
                stale += 1
            elif run([TESTS, "--gtest_brief=1"], 600) != 0:
                verdict = "caught"
                caught += 1
            elif same:
                verdict = "equivalent"
                equivalent += 1
            else:
                verdict = "MISSED"
                missed += 1
        finally:
            with open(path, "w") as f:
                f.write(source)
        print(f"{n:2} {verdict:10} {kind}: {name}: {text.splitlines()[0].strip()}", flush=True)
    build()
    counted = caught + missed
    share = 100 * caught // counted if counted else 0
    print(f"caught {caught} of {counted} ({share} %); equivalent {equivalent}; not applied {stale}")
    sys.exit(1 if missed or stale else 0)


if __name__ == "__main__":
    main()
