#!/usr/bin/env python3
"""Writes data/whois.xml, the program's server list, from IANA's data and whois_table.txt.

Usage: make_whois_xml.py [--check] [--table FILE] [--iana DIR] [--out FILE]
  --check  compare the existing output with what would be written; exit 1 if it differs
           (quietly: the places where IANA overrules the table are printed when writing).
  --iana   folder of tlds-alpha-by-domain.txt and whois-servers.tsv (default: iana/ here).
The table's format is described at its top. Every TLD of the root zone gets a zone; each
zone's port-43 server is IANA's where IANA names one, and none where it names none. Every
place where IANA overrules the table is printed.
"""

import argparse
import re
import sys
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
SECTIONS = ("generic", "cc", "new", "ip", "asn")  # order of the zones in the output
SPECIAL = ("ip", "asn")  # zones looked up by a fixed text, not by a name's ending
IANA_PAGE = "https://www.iana.org/domains/root/db/{tld}.html"


class TableError(Exception):
    pass


@dataclass
class ServerDef:
    name: str
    addresses: list
    web: str
    prefix: str = ""
    description: str = ""
    charset: str = ""


@dataclass
class Zone:
    suffix: str
    description: str
    servers: list  # of ServerDef
    section: str
    subzones: list = field(default_factory=list)

    @property
    def tld(self):
        return self.suffix.rsplit(".", 1)[-1]


def unquote(text):
    if len(text) >= 2 and text[0] == '"' and text[-1] == '"':
        return text[1:-1]
    if '"' in text:
        raise TableError(f"badly quoted field: {text}")
    return text


def parse_server(fields, where):
    name, addresses, web = (fields + ["", "", ""])[:3]
    prefix = unquote(fields[3]) if len(fields) > 3 else ""
    description = fields[4] if len(fields) > 4 else ""
    addrs = [a.strip() for a in addresses.split(",") if a.strip()]
    if not name or not addrs or not web:
        raise TableError(f"{where}: a server needs a name, an address and a web page")
    return ServerDef(name, addrs, web, prefix, description)


def parse_table(path):
    """The table's zones (in table order) and its character sets by server address."""
    servers, zones, charsets = {}, [], {}
    section, group, group_template, parent = None, None, "{Word}", None
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        where = f"{path.name}:{number}"
        if not raw.strip() or raw.lstrip().startswith("#"):
            continue
        indented = raw[0].isspace()
        fields = [f.strip() for f in raw.split("|")]
        head = fields[0]
        if head.startswith("server "):
            key = head.split(None, 1)[1]
            if key in servers:
                raise TableError(f"{where}: server {key} defined twice")
            servers[key] = parse_server(fields[1:], where)
            continue
        if head.startswith("charset "):
            address = head.split(None, 1)[1].lower()
            if len(fields) != 2 or not re.fullmatch(r"[a-z0-9][a-z0-9_.:-]*", fields[1].lower()):
                raise TableError(f"{where}: a character set line is: charset ADDRESS | NAME")
            if address in charsets:
                raise TableError(f"{where}: character set of {address} given twice")
            charsets[address] = fields[1].lower()
            continue
        if head.startswith("section "):
            section = head.split(None, 1)[1]
            if section not in SECTIONS:
                raise TableError(f"{where}: unknown section {section}")
            group, parent = None, None
            continue
        if head == "by" or head.startswith("by "):
            words = head.split(None, 1)
            group = words[1] if len(words) > 1 else None
            if group is not None and group not in servers:
                raise TableError(f"{where}: unknown server {group}")
            group_template = fields[1] if len(fields) > 1 else "{Word}"
            continue
        if section is None:
            raise TableError(f"{where}: zone before any section")

        if len(fields) == 1:  # a bare word in a group
            if group is None or section != "new" or not re.fullmatch(r"[a-z0-9-]+", head):
                raise TableError(f"{where}: bare zone name outside a group: {head}")
            zone = Zone("." + head, group_template.replace("{Word}", head.capitalize()),
                        [servers[group]], section)
        else:
            suffix, description = fields[0], fields[1]
            rest = fields[2:]
            if rest and rest[0].startswith("@"):
                own = parse_server([rest[0][1:]] + rest[1:], where)
                zone_servers = [own]
            elif rest and rest[0]:
                keys = [k.strip() for k in rest[0].split(",")]
                unknown = [k for k in keys if k not in servers]
                if unknown:
                    raise TableError(f"{where}: unknown server {unknown[0]}")
                zone_servers = [servers[k] for k in keys]
            elif group is not None:
                zone_servers = [servers[group]]
            else:
                zone_servers = []
            zone = Zone(suffix, description, zone_servers, section)

        if indented:
            if parent is None:
                raise TableError(f"{where}: sub-zone without a parent")
            if not zone.suffix.lower().endswith(parent.suffix.lower()):
                raise TableError(f"{where}: {zone.suffix} is not under {parent.suffix}")
            parent.subzones.append(zone)
        else:
            zones.append(zone)
            parent = zone
    return zones, charsets


def check(zones):
    seen = set()

    def walk(zone_list):
        for zone in zone_list:
            key = zone.suffix.lower()
            if key in seen:
                raise TableError(f"zone {zone.suffix} listed twice")
            seen.add(key)
            # The suffix is used as a file-name mask: keep it to plain host-name text.
            if not re.fullmatch(r"\.?[a-z0-9-]+(\.[a-z0-9-]+)*", key):
                raise TableError(f"zone suffix {zone.suffix!r} is not a plain name")
            if zone.section in SPECIAL:
                if key != zone.section or zone.subzones:
                    raise TableError(f"section {zone.section} holds one zone, {zone.section}")
            elif not key.startswith("."):
                raise TableError(f"zone suffix {zone.suffix} lacks its leading dot")
            if not zone.description:
                raise TableError(f"zone {zone.suffix} has no description")
            for server in zone.servers:
                for address in server.addresses:
                    if not re.fullmatch(r"[A-Za-z0-9.{}-]+(:[0-9]+)?", address):
                        raise TableError(f"zone {zone.suffix}: bad address {address!r}")
            walk(zone.subzones)

    walk(zones)


def read_root(path):
    """The TLDs of the root zone, lower case, in file order."""
    lines = path.read_text(encoding="ascii").splitlines()
    return [line.strip().lower() for line in lines if line.strip() and not line.startswith("#")]


def read_iana_servers(path):
    """IANA's port-43 server by zone (TLDs and second-level zones), lower case."""
    servers = {}
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        fields = [f.strip().lower() for f in line.split("\t")]
        if len(fields) != 2 or not all(fields) or fields[0] in servers:
            raise TableError(f"{path.name}:{number}: expected one ZONE<tab>SERVER line per zone")
        servers[fields[0]] = fields[1]
    return servers


def concrete(zone):
    """The zone's servers, one per address, with "{tld}" filled in."""
    return [
        ServerDef(s.name, [a.replace("{tld}", zone.tld)], s.web, s.prefix, s.description)
        for s in zone.servers
        for a in s.addresses
    ]


def reconcile(zone, iana, notes):
    """IANA's server for the zone (or none), described by the table's entry where it has one."""
    ours = concrete(zone)
    addresses = [s.addresses[0].lower() for s in ours]
    if iana is None:
        if ours:
            notes.append(f"{zone.suffix}: IANA lists no port-43 server; dropped {', '.join(addresses)}")
        return []
    if iana in addresses:
        if addresses != [iana]:
            dropped = ", ".join(a for a in addresses if a != iana)
            notes.append(f"{zone.suffix}: IANA lists {iana} alone; dropped {dropped}")
        return [ours[addresses.index(iana)]]
    if ours:
        notes.append(f"{zone.suffix}: IANA lists {iana}, the table {', '.join(addresses)}")
        # The same registry on another host, as a rule: its name and pages still hold, a
        # query prefix made for the old host may not.
        return [ServerDef(ours[0].name, [iana], ours[0].web, "", ours[0].description)]
    return [ServerDef(f"Registry of {zone.suffix}", [iana], "-")]


def unicode_description(tld):
    if tld.startswith("xn--"):
        return tld[4:].encode("ascii").decode("punycode")  # the Unicode form of an IDN TLD
    return tld.upper() if len(tld) == 2 else tld.capitalize()


def merge_iana(zones, root, iana, notes):
    """The table's zones overruled and completed by IANA's data: one zone per root TLD."""
    root_set, merged, by_tld = set(root), [], {}
    for zone in zones:
        if zone.section in SPECIAL:
            merged.append(zone)
            continue
        tld = zone.suffix[1:].lower()
        if "." in tld:
            raise TableError(f"top-level zone {zone.suffix} is not a TLD")
        if tld not in root_set:
            notes.append(f"{zone.suffix}: not in the root zone; dropped")
            continue
        zone.servers = reconcile(zone, iana.get(tld), notes)
        by_tld[tld] = zone
        merged.append(zone)
    for tld in root:
        if tld not in by_tld:
            zone = Zone("." + tld, unicode_description(tld), [], "cc" if len(tld) == 2 else "new")
            zone.servers = reconcile(zone, iana.get(tld), notes)
            by_tld[tld] = zone
            merged.append(zone)
    for zone in by_tld.values():
        for sub in zone.subzones:
            key = sub.suffix[1:].lower()
            if key in iana:
                sub.servers = reconcile(sub, iana[key], notes)
    for key, address in iana.items():
        if "." not in key:
            if key not in root_set:
                raise TableError(f"IANA's server list names {key}, which is not in the root zone")
            continue
        parent = by_tld.get(key.rsplit(".", 1)[1])
        if parent is None:
            raise TableError(f"second-level zone {key} has no parent in the root zone")
        if all(sub.suffix.lower() != "." + key for sub in parent.subzones):
            sub = Zone("." + key, f"{parent.description} ({key})", [], parent.section)
            sub.servers = reconcile(sub, address, notes)
            parent.subzones.append(sub)
            notes.append(f".{key}: not in the table; added under {parent.suffix}")
    return merged


def apply_charsets(zones, charsets, notes):
    """Puts the table's character sets on the servers; a set no server uses is reported."""
    used = set()

    def walk(zone_list):
        for zone in zone_list:
            zone.servers = concrete(zone)
            for server in zone.servers:
                address = server.addresses[0].lower()
                server.charset = charsets.get(address, "")
                if server.charset:
                    used.add(address)
            walk(zone.subzones)

    walk(zones)
    for address in sorted(set(charsets) - used):
        notes.append(f"charset {address}: no zone lists that server")


def sort_zones(zones):
    def key(zone):
        return (SECTIONS.index(zone.section), zone.suffix.lower())

    for zone in zones:
        zone.subzones = sort_zones(zone.subzones)
    return sorted(zones, key=key)


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def value(lines, indent, tag, text):
    pad = "  " * indent
    lines.append(f"{pad}<{tag}>{escape(text)}</{tag}>" if text else f"{pad}<{tag}/>")


def write_zones(lines, zones, indent):
    pad = "  " * indent
    lines.append(f"{pad}<domains>")
    for zone in zones:
        lines.append(f"{pad}  <domain>")
        value(lines, indent + 2, "suffix", zone.suffix)
        value(lines, indent + 2, "description", zone.description)
        if zone.servers:
            lines.append(f"{pad}    <servers>")
            for server in zone.servers:
                web = server.web if server.web != "-" else IANA_PAGE
                for address in server.addresses:
                    lines.append(f"{pad}      <server>")
                    fill = lambda text: text.replace("{tld}", zone.tld)
                    value(lines, indent + 4, "name", server.name)
                    value(lines, indent + 4, "address", fill(address))
                    value(lines, indent + 4, "webinterface", fill(web))
                    value(lines, indent + 4, "online", "")
                    value(lines, indent + 4, "description", server.description)
                    if server.prefix:
                        value(lines, indent + 4, "whois_prefix", server.prefix)
                    if server.charset:
                        value(lines, indent + 4, "charset", server.charset)
                    value(lines, indent + 4, "rating", "0")
                    lines.append(f"{pad}      </server>")
            lines.append(f"{pad}    </servers>")
        if zone.subzones:
            write_zones(lines, zone.subzones, indent + 2)
        lines.append(f"{pad}  </domain>")
    lines.append(f"{pad}</domains>")


def render(zones):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<whois>"]
    write_zones(lines, zones, 1)
    lines.append("</whois>")
    return "\n".join(lines) + "\n"


def count(zones):
    total = len(zones)
    for zone in zones:
        total += count(zone.subzones)
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--table", type=Path, default=HERE / "whois_table.txt")
    parser.add_argument("--iana", type=Path, default=HERE / "iana")
    parser.add_argument("--out", type=Path, default=HERE.parent.parent / "data" / "whois.xml")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    notes = []
    try:
        zones, charsets = parse_table(args.table)
        check(zones)
        root = read_root(args.iana / "tlds-alpha-by-domain.txt")
        iana = read_iana_servers(args.iana / "whois-servers.tsv")
        zones = merge_iana(zones, root, iana, notes)
        apply_charsets(zones, charsets, notes)
        check(zones)
    except TableError as error:
        sys.exit(f"make_whois_xml: {error}")
    zones = sort_zones(zones)
    text = render(zones)
    ET.fromstring(text.encode("utf-8"))  # refuse to write a document that does not parse

    if args.check:
        current = args.out.read_text(encoding="utf-8") if args.out.exists() else None
        if current != text:
            sys.exit(f"make_whois_xml: {args.out} is not what the table gives; run me")
        return
    for note in notes:
        print(note if note.startswith("charset") else f"IANA over the table: {note}")
    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(text, encoding="utf-8")
    print(f"{args.out}: {len(zones)} top-level zones, {count(zones)} zones in all")


if __name__ == "__main__":
    main()
