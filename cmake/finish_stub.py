#!/usr/bin/env python3
"""Turns the linked stub into the shipped image.

The combined file puts the settings block right after the stub image, so the
image must have a fixed size: the linked image may not exceed it and is
padded with zero bytes to exactly that size. The image must not contain a ZIP
signature either, or tools that scan for them would take the stub for the
start of the archive.
"""
import os
import sys

SIGNATURES = {
    "local header": b"PK\x03\x04",
    "central directory header": b"PK\x01\x02",
    "end of central directory": b"PK\x05\x06",
}


def finish(linked: bytes, image_size: int) -> bytes:
    if len(linked) > image_size:
        raise ValueError(f"stub image is {len(linked)} bytes, "
                         f"{len(linked) - image_size} over the budget of {image_size}")
    padded = linked + bytes(image_size - len(linked))
    for name, signature in SIGNATURES.items():
        at = padded.find(signature)
        if at >= 0:
            raise ValueError(f"stub image holds the {name} signature at offset {at}")
    return padded


def main(argv):
    if len(argv) != 4:
        print("usage: finish_stub.py LINKED OUTPUT IMAGE_SIZE", file=sys.stderr)
        return 2
    linked_path, output_path, image_size = argv[1], argv[2], int(argv[3])
    with open(linked_path, "rb") as f:
        linked = f.read()
    try:
        padded = finish(linked, image_size)
    except ValueError as error:
        print(f"finish_stub: error: {error}", file=sys.stderr)
        if os.path.exists(output_path):
            os.remove(output_path)  # never leave a stale image that looks finished
        return 1
    with open(output_path, "wb") as f:
        f.write(padded)
    print(f"stub image: {len(linked)} bytes linked, {image_size - len(linked)} bytes "
          f"of budget left, padded to {image_size}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
