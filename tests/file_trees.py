"""Folders of files for the tests, written and read back; shared by the
tool tests and the end-to-end tests (each puts this folder on its import
path)."""
import os


def write_tree(root, files, first_stamp=None):
    """Writes `files` ({relative path: bytes}; a path ending in "/" is a
    folder) below `root`. With `first_stamp`, the files in sorted order get
    times two seconds apart from it, as DOS times have two-second steps."""
    for index, (name, data) in enumerate(sorted(files.items())):
        path = os.path.join(root, name)
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        if first_stamp is not None:
            stamp = first_stamp + 2 * index
            os.utime(path, (stamp, stamp))
    return root


def tree(root, directories=False):
    """Every file below `root` as {relative path with "/": content}; with
    `directories`, every directory too, as {path + "/": None}."""
    found = {}
    for directory, subdirectories, names in os.walk(root):
        relative = os.path.relpath(directory, root).replace(os.sep, "/")
        prefix = "" if relative == "." else relative + "/"
        if directories:
            found.update((prefix + name + "/", None) for name in subdirectories)
        for name in names:
            with open(os.path.join(directory, name), "rb") as f:
                found[prefix + name] = f.read()
    return found
