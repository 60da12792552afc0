#!/usr/bin/env python3
"""Reads the time of one program run out of a Wine trace.

The trace comes from WINEDEBUG=+timestamp,+pid,+relay with the registry
value HKCU\\Software\\Wine\\Debug\\RelayInclude limited to the calls below,
so every line that matters reads

    <seconds since boot>:<pid>:<tid>:Call <dll>.<function>(<args>) ret=...
    <seconds since boot>:<pid>:<tid>:Ret  <dll>.<function>() retval=... ret=...

    wine_pauses.py TRACE LAUNCH

TRACE is the program's standard error (child processes such as net.exe
write there too: only the process of the first line counts); LAUNCH is the
clock of Wine's time stamps (CLOCK_MONOTONIC_RAW, not /proc/uptime, which
runs apart from it) read just before the program was started. Prints one
line of key=value pairs:

    wall      launch to the program's ExitProcess call (s)
    floor     the sum of the program's own Sleep calls (s): the time a run
              cannot go below
    pauses    the number of those calls
    user      time the program spent waiting for the user (s): its wizard
              dialogs (CreateDialogParamA with an owner, from its return to
              DestroyWindow of that window), its message boxes (MessageBoxA,
              call to return) and, in a dialog that waits for a button
              before it starts its worker, the time from its last
              EnableWindow(..., TRUE) to the worker's start (_beginthreadex);
              without the hiding below
    hide      time Wine spent hiding windows: with no window manager on the
              X server, Wine waits for each hidden window to be withdrawn
              until its 2 s timeout and then logs
              "fixme:event:wait_for_withdrawn_state ... wait timed out"
    hides     the number of those waits
    work      wall minus user and hide: the program's own time
    ratio     wall / floor
    work_ratio  work / floor
    waits     each wait for the user (s, before hiding), joined by "+"
"""
import re
import sys

WITHDRAW_TIMEOUT = 2.0  # winex11's wait for a withdrawn window
LINE = re.compile(r'^(\d+\.\d+):([0-9a-f]+):([0-9a-f]+):(Call|Ret) +([A-Za-z0-9_]+)\.([A-Za-z0-9_]+)\((.*)$')


def parse(path):
    events = []
    pid = None
    with open(path, errors='replace') as f:
        for raw in f:
            m = re.match(r'^(\d+\.\d+):([0-9a-f]+):', raw)
            if not m:
                continue
            if pid is None:
                pid = m.group(2)
            if m.group(2) != pid:
                continue
            if 'wait_for_withdrawn_state' in raw and 'timed out' in raw:
                events.append((float(m.group(1)), '', 'Hide', '', ''))
                continue
            m = LINE.match(raw.rstrip('\n'))
            if not m:
                continue
            ts, _, tid, kind, _dll, fn, rest = m.groups()
            events.append((float(ts), tid, kind, fn, rest))
    return events


def args_of(rest):
    # "a,b,c) ret=..." -> ["a", "b", "c"]; strings in the arguments hold no
    # commas for the calls counted here except MessageBoxA, whose text is
    # not needed.
    return rest.split(')', 1)[0].split(',')


def retval(rest):
    m = re.search(r'retval=([0-9a-f]+)', rest)
    return int(m.group(1), 16) if m else None


def union(intervals):
    merged = []
    for start, end in sorted(intervals):
        if merged and start <= merged[-1][1]:
            merged[-1][1] = max(merged[-1][1], end)
        else:
            merged.append([start, end])
    return merged


def length(intervals):
    return sum(end - start for start, end in union(intervals))


def measure(events, launch):
    floor_ms = 0
    pauses = 0
    waits = []           # (start, end) of each wait for the user
    hides = []           # (start, end) of each of Wine's withdraw waits
    exit_ts = None
    box_calls = {}       # tid -> MessageBoxA call time
    owner_of = {}        # tid -> owner of the CreateDialogParamA in progress
    owned = {}           # hwnd -> creation time of a dialog with an owner
    enabling = {}        # tid -> the EnableWindow call in progress enables
    last_enable = None   # last EnableWindow(..., TRUE) return before the worker
    worker_started = False
    for ts, tid, kind, fn, rest in events:
        if kind == 'Call':
            if fn == 'Sleep':
                floor_ms += int(args_of(rest)[0], 16)
                pauses += 1
            elif fn == 'ExitProcess' and exit_ts is None:
                exit_ts = ts
            elif fn == 'MessageBoxA':
                box_calls[tid] = ts
            elif fn == 'CreateDialogParamA':
                owner_of[tid] = int(args_of(rest)[2], 16)
            elif fn == 'DestroyWindow':
                hwnd = int(args_of(rest)[0], 16)
                if hwnd in owned:
                    waits.append((owned.pop(hwnd), ts))
            elif fn == 'EnableWindow':
                enabling[tid] = int(args_of(rest)[1], 16) != 0
            elif fn == '_beginthreadex' and not worker_started:
                worker_started = True
                if last_enable is not None:
                    waits.append((last_enable, ts))
        elif kind == 'Hide':
            hides.append((ts - WITHDRAW_TIMEOUT, ts))
        else:
            if fn == 'MessageBoxA' and tid in box_calls:
                waits.append((box_calls.pop(tid), ts))
            elif fn == 'CreateDialogParamA':
                hwnd = retval(rest)
                if hwnd and owner_of.pop(tid, 0):
                    owned[hwnd] = ts
            elif fn == 'EnableWindow':
                if enabling.pop(tid, False) and not worker_started:
                    last_enable = ts
    if exit_ts is None:
        raise SystemExit('wine_pauses: no ExitProcess call in the trace')
    wall = exit_ts - launch
    floor = floor_ms / 1000.0
    hide = length(hides)
    both = length(waits + hides)
    work = wall - both
    return {
        'wall': wall, 'floor': floor, 'pauses': pauses, 'user': both - hide, 'hide': hide,
        'hides': len(hides), 'work': work,
        'ratio': wall / floor if floor else float('nan'),
        'work_ratio': work / floor if floor else float('nan'),
        'waits': '+'.join('%.2f' % (end - start) for start, end in waits) or '0',
    }


def main():
    if len(sys.argv) != 3:
        raise SystemExit('usage: wine_pauses.py TRACE LAUNCH')
    result = measure(parse(sys.argv[1]), float(sys.argv[2]))
    print(' '.join('%s=%s' % (k, ('%.3f' % v) if isinstance(v, float) else v) for k, v in result.items()))


if __name__ == '__main__':
    main()
