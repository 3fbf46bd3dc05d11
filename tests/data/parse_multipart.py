#!/usr/bin/env python3
"""Parses a multipart/form-data body with Python's email package and prints
one line per part: field name, file name (or "-"), content type, charset
(or "-"), transfer encoding (or "-") and the decoded data; the texts as
UTF-8 in hexadecimal, the data in hexadecimal.

Usage: parse_multipart.py BODY-FILE CONTENT-TYPE
"""
import email.parser
import email.policy
import sys


def hex_or_dash(text):
    return "-" if text is None else str(text).encode("utf-8").hex() or "-"


def main():
    body_file, content_type = sys.argv[1], sys.argv[2]
    with open(body_file, "rb") as f:
        body = f.read()
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode("ascii") + b"\r\nMIME-Version: 1.0\r\n\r\n" + body)
    if not message.is_multipart():
        sys.exit("not multipart")
    for part in message.get_payload():
        params = part["content-disposition"].params
        print(hex_or_dash(params.get("name")), hex_or_dash(params.get("filename")),
              hex_or_dash(part.get("content-type") and part.get_content_type()),
              hex_or_dash(part.get_content_charset()), hex_or_dash(part.get("content-transfer-encoding")),
              part.get_payload(decode=True).hex() or "-")


if __name__ == "__main__":
    main()
