#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz corpora (fuzz/corpus/<target>/
seed-*). Inputs that fuzzing finds are merged in beside them by scripts/fuzz
--merge. Run from anywhere; it rewrites only the seed-* files."""

import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
CLIENT = b"MorvainControl-Tesslar-1A2B"


def text_answer(**override):
    headers = [
        (b"Device-ID", b"DEV-0042"),
        (b"Device-Name", b"Gate camera"),
        (b"UID", b"UID-7788"),
        (b"IP", b"192.168.1.64"),
        (b"MASK", b"255.255.255.0"),
        (b"MAC", b"00:1a:2b:3c:4d:5e"),
        (b"Gateway", b"192.168.1.1"),
        (b"Software-Version", b"V5.4.1"),
        (b"Web-Version", b"V4.0.1"),
        (b"Http-Port", b"8080"),
        (b"Dhcp", b"1"),
        (b"Fdns", b"8.8.8.8"),
        (b"Sdns", b"8.8.4.4"),
    ]
    out = b"HDS/1.0 200 OK\r\nCSeq:1\r\nClient-ID:" + CLIENT + b"\r\n"
    for name, value in headers:
        value = override.get(name.decode().replace("-", "_"), value)
        out += name + b":" + value + b"\r\n"
    return out + b"\r\n"


def field(text, width):
    return text[:width].ljust(width, b"\0")


def binary_answer(name=b"Lobby", version=b"67.1.61.5", mac=b"\x00\x1a\x2b\x3c\x4d\x5e",
                  port=8080):
    body = b"\x44\x48\x01\x08"
    for address in (b"10.0.77.20", b"255.255.255.0", b"10.0.77.1", b"8.8.8.8", b"8.8.4.4"):
        body += field(address, 16)
    body += mac + struct.pack("<H", port)
    body += field(b"UID-0001", 32) + field(name, 80)
    body += field(version, 16) + field(b"2.0.3", 16)
    body += field(b"admin", 32) + field(b"secret", 32)
    body += b"\x07\x01"
    return body


def record(selector, datagram):
    return bytes([selector]) + struct.pack("<H", len(datagram)) + datagram


def write(target, name, data):
    directory = HERE / "corpus" / target
    directory.mkdir(parents=True, exist_ok=True)
    (directory / ("seed-" + name)).write_bytes(data)


def main():
    full = text_answer()
    write("fuzz_text_answer", "full", full)
    for cut in (16, 40, 80, 120, 200, len(full) - 3):
        write("fuzz_text_answer", "cut-%d" % cut, full[:cut])
    write("fuzz_text_answer", "no-headers", b"HDS/1.0 200 OK\r\n" + CLIENT + b"\r\n")
    write("fuzz_text_answer", "other-client",
          full.replace(CLIENT, b"MorvainControl-Tesslar-FFFF"))
    write("fuzz_text_answer", "second-status",
          full.replace(b"HDS/1.0 200 OK", b"MCTP/1.0 200 OK"))
    write("fuzz_text_answer", "sdns-unterminated", full[:-4])
    write("fuzz_text_answer", "long-values",
          text_answer(Device_Name=b"n" * 300, MAC=b"0:1a:2B:3:4:5", Http_Port=b"70000"))
    write("fuzz_text_answer", "zero-inside", full.replace(b"8.8.4.4", b"8.8\0.4.4"))

    answer = binary_answer()
    write("fuzz_binary_answer", "full", answer)
    write("fuzz_binary_answer", "padded", answer + b"\0" * 22)
    for cut in (4, 90, 150, 250, 301):
        write("fuzz_binary_answer", "cut-%d" % cut, answer[:cut])
    write("fuzz_binary_answer", "probe", b"\x44\x48\x01\x01")
    write("fuzz_binary_answer", "command", b"\x44\x48\x02\x01" + answer[4:] + b"\0" * 22)
    write("fuzz_binary_answer", "unterminated",
          answer[:4] + b"\xff" * 298)
    write("fuzz_binary_answer", "long-name", binary_answer(name=b"N" * 80, version=b"66.9.99.9"))

    changed = binary_answer(name=b"Lobby renamed", port=81)
    write("fuzz_datagram_path", "both-ports",
          record(0, answer) + record(1, full) + record(3, text_answer(MAC=b"0:0:0:0:0:1")))
    write("fuzz_datagram_path", "update-and-stale",
          record(0, answer) + record(2, changed) + record(0, answer[:40]) +
          record(1, full) + record(1, full[:60]))

    for source in [ROOT / "data" / "config.xml"] + sorted((ROOT / "data" / "Language").glob("*.xml")):
        write("fuzz_xml_load", source.name, source.read_bytes())
    write("fuzz_xml_load", "bom-comments-entities",
          b"\xef\xbb\xbf<?xml version=\"1.0\"?><!-- c --><config><language> A&amp;B &#x4E2D;"
          b"</language><languagelist><language><text>A&amp;B</text><file>a.xml</file>"
          b"</language><x/><language><text>b</text></language></languagelist>"
          b"<search_interval>0x3C</search_interval></config>")
    write("fuzz_xml_load", "attributes-cdata",
          b"<config a=\"1\" b='&quot;'><![CDATA[<raw>]]><match_address><min> 20 </min>"
          b"<max>abc</max></match_address><language/><language>second</language></config>")

    for source in sorted((ROOT / "data" / "Language").glob("*.xml")):
        write("fuzz_language_pack", source.name, source.read_bytes())
    write("fuzz_language_pack", "hex-ids-duplicates",
          b"<config><dialoglist><dialog id=\"0x66\"><controllist>"
          b"<control id=\"0x3E9\" callback=\"1\"><columnlist><column width=\"40\">A</column>"
          b"<column>B</column></columnlist></control><control>zero</control>"
          b"<control id=\"1001\">second</control></controllist></dialog></dialoglist>"
          b"<menulist><menu id=\"129\"><itemlist><item index=\"9\" id=\"1\">x</item>"
          b"<item index=\"-1\">y</item><item index=\"4\" id=\"32780\">z</item></itemlist>"
          b"</menu></menulist><stringlist><string id=\"1\">one</string>"
          b"<string id=\"1\">again</string><string id=\"0x1\">hex</string></stringlist></config>")

    for i, text in enumerate([b"30", b"0x1E", b"1E", b"010", b"abc", b"-5", b"12 ", b"xyz",
                              b"2147483647", b"-2147483648", b"2147483648", b"0x", b"+-1",
                              b"7FFFFFFF", b"-0x80000000", b"+0", b""]):
        write("fuzz_text_to_int", "narrow-%02d" % i, b"\x00" + text)
    write("fuzz_text_to_int", "wide", b"\x01" + "3\u4e2d0".encode("utf-16-le"))

    # Kernel notifications in host (little-endian) order: a header of length,
    # type, flags, sequence and port, then the body of the message type.
    def notification(kind, body):
        return struct.pack("<IHHII", 16 + len(body), kind, 0, 0, 0) + body + b"\0" * (-len(body) % 4)
    new_address = notification(20, struct.pack("<BBBBI", 2, 24, 0, 0, 3))     # AF_INET /24 on link 3
    default_route = notification(25, struct.pack("<BBBBBBBBI", 2, 0, 0, 0, 254, 4, 0, 1, 0))
    link_gone = notification(17, struct.pack("<BBHiII", 0, 0, 1, 3, 0, 0))  # link 3
    events = new_address + default_route + link_gone
    write("fuzz_adapter_events", "three", events)
    write("fuzz_adapter_events", "cut", events[:40])
    write("fuzz_adapter_events", "lying-length", struct.pack("<I", 4096) + new_address[4:])
    onvif_seeds()


def onvif_answer(body, extra=b""):
    return (b'<?xml version="1.0" encoding="UTF-8"?>'
            b'<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope"'
            b' xmlns:tds="http://www.onvif.org/ver10/device/wsdl"'
            b' xmlns:tt="http://www.onvif.org/ver10/schema"'
            b' xmlns:ter="http://www.onvif.org/ver10/error"' + extra +
            b'><env:Header/><env:Body>' + body + b'</env:Body></env:Envelope>')


def onvif_seeds():
    target = "fuzz_onvif_response"
    write(target, "clock", onvif_answer(
        b"<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
        b"<tt:DateTimeType>NTP</tt:DateTimeType><tt:DaylightSavings>false</tt:DaylightSavings>"
        b"<tt:UTCDateTime><tt:Time><tt:Hour>4</tt:Hour><tt:Minute>49</tt:Minute>"
        b"<tt:Second>13</tt:Second></tt:Time><tt:Date><tt:Year>2026</tt:Year>"
        b"<tt:Month>12</tt:Month><tt:Day>8</tt:Day></tt:Date></tt:UTCDateTime>"
        b"</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>"))
    write(target, "capabilities", onvif_answer(
        b"<tds:GetServiceCapabilitiesResponse><tds:Capabilities><tds:Network/>"
        b'<tds:Security UsernameToken="true" HttpDigest="true"/>'
        b'<tds:System NetworkConfigNotSupported="false"/>'
        b"</tds:Capabilities></tds:GetServiceCapabilitiesResponse>"))
    write(target, "interfaces", onvif_answer(
        b'<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token="eth0">'
        b"<tt:Enabled>true</tt:Enabled><tt:Info><tt:Name>eth0</tt:Name>"
        b"<tt:HwAddress>00:11:22:33:44:55</tt:HwAddress></tt:Info><tt:IPv4>"
        b"<tt:Enabled>true</tt:Enabled><tt:Config><tt:Manual><tt:Address>192.168.1.64"
        b"</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:Manual>"
        b"<tt:DHCP>false</tt:DHCP></tt:Config></tt:IPv4></tds:NetworkInterfaces>"
        b"</tds:GetNetworkInterfacesResponse>"))
    write(target, "dns", onvif_answer(
        b"<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>false</tt:FromDHCP>"
        b"<tt:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>10.0.0.53</tt:IPv4Address>"
        b"</tt:DNSManual></tds:DNSInformation></tds:GetDNSResponse>"))
    write(target, "protocols", onvif_answer(
        b"<tds:GetNetworkProtocolsResponse><tds:NetworkProtocols><tt:Name>HTTP</tt:Name>"
        b"<tt:Enabled>true</tt:Enabled><tt:Port>80</tt:Port></tds:NetworkProtocols>"
        b"</tds:GetNetworkProtocolsResponse>"))
    write(target, "fault", onvif_answer(
        b"<env:Fault><env:Code><env:Value>env:Sender</env:Value><env:Subcode>"
        b"<env:Value>ter:InvalidArgVal</env:Value><env:Subcode><env:Value>"
        b"ter:InvalidIPv4Address</env:Value></env:Subcode></env:Subcode></env:Code>"
        b"<env:Reason><env:Text>Bad address</env:Text></env:Reason></env:Fault>"))
    write(target, "html", b"<html><body><h1>401 Unauthorized</h1></body></html>")


if __name__ == "__main__":
    main()
