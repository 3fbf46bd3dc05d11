#!/usr/bin/env python3
"""Parses a multipart/form-data body with Python's email package and prints
one line per part: field name, file name (or "-"), content type, charset
(or "-"), transfer encoding (or "-") and the decoded data; the texts as
UTF-8 in hexadecimal, the data in hexadecimal.

Usage: parse_multipart.py BODY-FILE CONTENT-TYPE
"""
import email.header
import email.parser
import email.utils
import sys


def decoded_text(raw):
    if raw is None:
        return None
    if isinstance(raw, tuple):  # RFC 2231 form
        raw = email.utils.collapse_rfc2231_value(raw)
    return str(email.header.make_header(email.header.decode_header(raw)))


def hex_or_dash(text):
    return "-" if text is None else text.encode("utf-8").hex() or "-"


def main():
    body_file, content_type = sys.argv[1], sys.argv[2]
    with open(body_file, "rb") as f:
        body = f.read()
    message = email.parser.BytesParser().parsebytes(
        b"Content-Type: " + content_type.encode("ascii") + b"\r\nMIME-Version: 1.0\r\n\r\n" + body)
    if not message.is_multipart():
        sys.exit("not multipart")
    if message.defects:
        sys.exit("defects: %r" % message.defects)
    for part in message.get_payload():
        if part.defects:
            sys.exit("part defects: %r" % part.defects)
        name = decoded_text(part.get_param("name", header="content-disposition"))
        filename = decoded_text(part.get_param("filename", header="content-disposition"))
        data = part.get_payload(decode=True)
        print(hex_or_dash(name), hex_or_dash(filename), hex_or_dash(part.get("content-type") and part.get_content_type()),
              hex_or_dash(part.get_content_charset()), hex_or_dash(part.get("content-transfer-encoding")),
              data.hex() or "-")


if __name__ == "__main__":
    main()
