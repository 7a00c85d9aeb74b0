"""Line-oriented text protocols: HTTP, an FTP session with a passive data
connection, SMTP, POP3, IMAP, SSDP, RTSP with SDP, TELNET and syslog."""
from scapy.all import IP, TCP, UDP, Ether, Raw

CLIENT_MAC = "00:1b:21:3a:4f:01"
SERVER_MAC = "00:50:56:c0:00:08"
CLIENT = "192.168.10.23"
SERVER = "192.168.10.5"


def _tcp(client_to_server, cport, sport, flags, seq, ack, payload=b""):
    if client_to_server:
        p = Ether(src=CLIENT_MAC, dst=SERVER_MAC) / IP(src=CLIENT, dst=SERVER, id=seq & 0xFFFF) / \
            TCP(sport=cport, dport=sport, flags=flags, seq=seq, ack=ack, window=64240)
    else:
        p = Ether(src=SERVER_MAC, dst=CLIENT_MAC) / IP(src=SERVER, dst=CLIENT, id=seq & 0xFFFF) / \
            TCP(sport=sport, dport=cport, flags=flags, seq=seq, ack=ack, window=65535)
    return p / Raw(payload) if payload else p


class Conversation:
    """A TCP connection whose sequence numbers follow the payload sent."""

    def __init__(self, cport, sport, cseq=1000, sseq=5000):
        self.cport, self.sport, self.c, self.s = cport, sport, cseq, sseq

    def client(self, payload=b"", flags="PA"):
        p = _tcp(True, self.cport, self.sport, flags, self.c, self.s, payload)
        self.c += len(payload) + (1 if "S" in flags or "F" in flags else 0)
        return p

    def server(self, payload=b"", flags="PA"):
        p = _tcp(False, self.cport, self.sport, flags, self.s, self.c, payload)
        self.s += len(payload) + (1 if "S" in flags or "F" in flags else 0)
        return p


def http():
    t = Conversation(40410, 80)
    return [
        t.client(b"POST /form HTTP/1.1\r\nHost: www.example.test\r\nContent-Type: text/plain\r\n"
                 b"Content-Length: 11\r\n\r\nhello=world"),
        t.server(b"HTTP/1.1 200 OK\r\nServer: zelpan-sample\r\nContent-Length: 3\r\n\r\nok\n"),
    ]


def ftp():
    t = Conversation(40420, 21)
    f = [
        t.server(b"220 zelpan sample FTP server ready\r\n"),
        t.client(b"USER anonymous\r\n"),
        t.server(b"230-Welcome, archive user\r\n230-Be nice\r\n230 Login successful.\r\n"),
        t.client(b"PASV\r\n"),
        t.server(b"227 Entering Passive Mode (192,168,10,5,156,65).\r\n"),  # port 40001
        t.client(b"RETR readme.txt\r\n"),
    ]
    d = Conversation(40421, 40001, 9000, 20000)
    f += [
        d.client(flags="S"),
        d.server(flags="SA"),
        d.client(flags="A"),
        t.server(b"150 Opening BINARY mode data connection for readme.txt (40 bytes).\r\n"),
        d.server(b"This is the sample readme.\r\nSecond line\n"),
        d.server(flags="FA"),
        d.client(flags="FA"),
        t.server(b"226 Transfer complete.\r\n"),
        t.client(b"QUIT\r\n"),
        t.server(b"221 Goodbye.\r\n"),
    ]
    return f


def smtp():
    t = Conversation(40430, 25)
    return [
        t.server(b"220 mail.example.test ESMTP ready\r\n"),
        t.client(b"EHLO client.example.test\r\n"),
        t.server(b"250-mail.example.test\r\n250-SIZE 10240000\r\n250 8BITMIME\r\n"),
        t.client(b"MAIL FROM:<alice@example.test>\r\n"),
        t.client(b"Subject: sample\r\n\r\nHello Bob.\r\n.\r\n"),
    ]


def pop3():
    t = Conversation(40440, 110)
    return [
        t.server(b"+OK POP3 server ready\r\n"),
        t.client(b"USER alice\r\n"),
        t.client(b"RETR 1\r\n"),
        t.server(b"+OK 40 octets\r\nSubject: hi\r\n\r\nSee you at noon.\r\n.\r\n"),
    ]


def imap():
    t = Conversation(40450, 143)
    return [
        t.server(b"* OK IMAP4rev1 service ready\r\n"),
        t.client(b"A001 LOGIN alice secret\r\n"),
        t.server(b"A001 OK LOGIN completed\r\n"),
        t.client(b"A002 SELECT INBOX\r\n"),
        t.server(b"* 18 EXISTS\r\n* FLAGS (\\Answered \\Seen)\r\nA002 OK [READ-WRITE] SELECT completed\r\n"),
    ]


def others():
    f = []
    # SSDP search over UDP
    f.append(Ether(src=CLIENT_MAC, dst="01:00:5e:7f:ff:fa") / IP(src=CLIENT, dst="239.255.255.250", ttl=4) /
             UDP(sport=50000, dport=1900) /
             Raw(b"M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 2\r\n"
                 b"ST: ssdp:all\r\n\r\n"))
    # RTSP DESCRIBE and its reply carrying SDP
    t = Conversation(40460, 554)
    sdp = (b"v=0\r\no=- 2890844526 2890842807 IN IP4 192.168.10.5\r\ns=Sample stream\r\n"
           b"c=IN IP4 192.168.10.5\r\nt=0 0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n")
    f.append(t.client(b"DESCRIBE rtsp://192.168.10.5/stream RTSP/1.0\r\nCSeq: 2\r\nAccept: application/sdp\r\n\r\n"))
    f.append(t.server(b"RTSP/1.0 200 OK\r\nCSeq: 2\r\nContent-Type: application/sdp\r\nContent-Length: %d\r\n\r\n"
                      % len(sdp) + sdp))
    f.append(t.server(b"$\x00\x00\x08" + bytes(range(8))))
    # TELNET negotiation and text
    t = Conversation(40470, 23)
    f.append(t.server(b"\xff\xfd\x18\xff\xfd\x20\xff\xfb\x01"))
    f.append(t.client(b"\xff\xfa\x18\x00VT100\xff\xf0"))
    f.append(t.server(b"login: "))
    # syslog
    f.append(Ether(src=CLIENT_MAC, dst=SERVER_MAC) / IP(src=CLIENT, dst=SERVER) / UDP(sport=514, dport=514) /
             Raw(b"<13>Dec  8 08:00:00 client zelpan: sample message"))
    return f


def frames():
    return http() + ftp() + smtp() + pop3() + imap() + others()
