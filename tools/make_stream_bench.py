#!/usr/bin/python3
"""Write a libpcap savefile holding one TCP connection of N data segments, for
timing the stream assembly: after the handshake the client sends N segments of
text lines, the server acknowledges every second one and answers every tenth
with a short line of its own.
Usage: make_stream_bench.py OUT.pcap N
"""
import struct
import sys


def csum(data):
    if len(data) % 2:
        data += b"\0"
    s = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while s >> 16:
        s = (s & 0xFFFF) + (s >> 16)
    return ~s & 0xFFFF


def frame(src, dst, sport, dport, seq, ack, flags, payload):
    tcp = struct.pack("!HHIIBBHHH", sport, dport, seq & 0xFFFFFFFF, ack & 0xFFFFFFFF, 5 << 4, flags, 65535, 0, 0)
    total = 20 + len(tcp) + len(payload)
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, total, 0, 0x4000, 64, 6, 0, src, dst)
    ip = ip[:10] + struct.pack("!H", csum(ip)) + ip[12:]
    macs = {b"\x0a\x00\x00\x01": b"\x02\x00\x00\x00\x00\x01", b"\x0a\x00\x00\x02": b"\x02\x00\x00\x00\x00\x02"}
    eth = macs[dst] + macs[src] + b"\x08\x00"
    return eth + ip + tcp + payload


def main():
    out, n = sys.argv[1], int(sys.argv[2])
    c, s = b"\x0a\x00\x00\x01", b"\x0a\x00\x00\x02"
    cp, sp = 40000, 8080
    cseq, sseq = 1000, 900000
    t = 1700000000 * 1000000
    with open(out, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))

        def put(data):
            nonlocal t
            t += 200
            f.write(struct.pack("<IIII", t // 1000000, t % 1000000, len(data), len(data)))
            f.write(data)

        put(frame(c, s, cp, sp, cseq, 0, 0x02, b""))
        put(frame(s, c, sp, cp, sseq, cseq + 1, 0x12, b""))
        cseq += 1
        sseq += 1
        put(frame(c, s, cp, sp, cseq, sseq, 0x10, b""))
        for k in range(n):
            line = (b"line %08d of the benchmark stream: the quick brown fox jumps over the lazy dog\r\n" % k) * 6
            put(frame(c, s, cp, sp, cseq, sseq, 0x18, line))
            cseq += len(line)
            if k % 10 == 9:
                reply = b"ok %08d\r\n" % k
                put(frame(s, c, sp, cp, sseq, cseq, 0x18, reply))
                sseq += len(reply)
            elif k % 2 == 1:
                put(frame(s, c, sp, cp, sseq, cseq, 0x10, b""))
        put(frame(c, s, cp, sp, cseq, sseq, 0x11, b""))
        put(frame(s, c, sp, cp, sseq, cseq + 1, 0x11, b""))


if __name__ == "__main__":
    main()
