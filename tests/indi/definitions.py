#!/usr/bin/env python3
"""Prints the definitions of an INDI device's properties as one line each:
name, vector kind, permission, switch rule and element names, sorted.

usage: definitions.py PORT DEVICE [PROPERTY ...]

Reads what indiserver on localhost:PORT sends for getProperties until every
named property has been defined (or 10 s have passed).
"""
import re
import socket
import sys
import time
import xml.etree.ElementTree as ET


def definitions(port, device, wanted):
    found = {}
    buffer = ""
    with socket.create_connection(("localhost", port), timeout=10) as s:
        s.sendall(('<getProperties version="1.7" device="%s"/>\n' % device).encode())
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not wanted <= found.keys():
            s.settimeout(max(0.05, deadline - time.monotonic()))
            try:
                chunk = s.recv(65536)
            except socket.timeout:
                break
            if not chunk:
                break
            buffer += chunk.decode("utf-8", "replace")
            end = 0
            for match in re.finditer(r"<(def\w+Vector)\b.*?</\1>", buffer, re.S):
                vector = ET.fromstring(match.group(0))
                elements = sorted(child.get("name") for child in vector)
                found[vector.get("name")] = "%s %s perm=%s rule=%s elements=%s" % (
                    vector.get("name"), vector.tag, vector.get("perm"), vector.get("rule"), ",".join(elements))
                end = match.end()
            buffer = buffer[end:]
    return found


def main():
    port, device, wanted = int(sys.argv[1]), sys.argv[2], set(sys.argv[3:])
    found = definitions(port, device, wanted)
    for name in sorted(wanted):
        print(found.get(name, name + " missing"))


if __name__ == "__main__":
    main()
