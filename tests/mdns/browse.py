#!/usr/bin/python3
"""Independent DNS-SD browser (python3-zeroconf) for the mDNS namespace test.

Waits for one "_hearthpad._tcp.local." service, resolves it and compares it
with the expectation given as JSON on the command line; prints "found" with
the details, or "mismatch". Then it waits for the service to be withdrawn and
prints "removed". Exit status 0 only when everything matched and the service
was removed.
"""
import hashlib
import json
import queue
import sys
import time

from zeroconf import IPVersion, ServiceBrowser, ServiceStateChange, Zeroconf

TYPE = "_hearthpad._tcp.local."


def describe(name, info):
    props = {k.decode(): (v.decode() if v is not None else None) for k, v in info.properties.items()}
    return {
        "name": name,
        "server": info.server,
        "addresses": sorted(info.parsed_addresses(IPVersion.All)),
        "port": info.port,
        "txt": props,
    }


def main():
    expect = json.loads(sys.argv[1])
    timeout = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    # The fingerprint is worked out here, from the key alone.
    expect["txt"]["fp"] = hashlib.sha256(bytes.fromhex(expect.pop("key"))).hexdigest()[:16]

    events = queue.Queue()

    def on_change(zeroconf, service_type, name, state_change):
        events.put((state_change, name))

    zc = Zeroconf(ip_version=IPVersion.V4Only)
    ServiceBrowser(zc, TYPE, handlers=[on_change])
    deadline = time.monotonic() + timeout
    found = None
    ok = False
    while time.monotonic() < deadline:
        try:
            change, name = events.get(timeout=0.2)
        except queue.Empty:
            continue
        if change is ServiceStateChange.Added and found is None:
            want = {
                "name": expect["instance"] + "." + TYPE,
                "server": expect["server"],
                "addresses": sorted(expect["addresses"]),
                "port": expect["port"],
                "txt": expect["txt"],
            }
            # A first answer may hold only some of the address records (A
            # and AAAA can come in separate packets): ask again until all are
            # there or time runs out.
            while True:
                info = zc.get_service_info(TYPE, name, timeout=3000)
                if info is not None:
                    found = describe(name, info)
                    ok = found == want
                if ok or time.monotonic() >= deadline:
                    break
                if found is not None:
                    print("partial", json.dumps(found, ensure_ascii=False), flush=True)
                time.sleep(0.3)
            if found is None:
                print("unresolved", name, flush=True)
                break
            print("found" if ok else "mismatch", json.dumps(found, ensure_ascii=False), flush=True)
            if not ok:
                print("expected", json.dumps(want, ensure_ascii=False), flush=True)
                break
        elif change is ServiceStateChange.Removed and found is not None and name == found["name"]:
            print("removed", name, flush=True)
            zc.close()
            return 0 if ok else 1
    if found is None:
        print("nothing found", flush=True)
    elif ok:
        print("not removed", flush=True)
    zc.close()
    return 1


if __name__ == "__main__":
    sys.exit(main())
