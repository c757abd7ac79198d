"""The benchmark corpora: copies of files found on the machine, chosen in a
fixed order so that one machine always makes the same corpus, and the
archives Info-ZIP `zip` makes of them.

- `mixed/`: about 100 MB of text (headers, documentation), binaries
  (shared libraries, programs) and already-compressed files (gzip'd
  manuals, PNG icons).
- `small/`: 20,000 small files (at most 4 KB each) in their directories.
- `members-N/`: N tiny files for the scaling runs, zipped in an order that
  differs from the sorted order of the member list.
- `source/`: a real source tree, the machine's C and C++ headers (without
  Node's), with the Linux header tree and its names that differ only in
  letter case.
"""
import os
import random
import re
import shutil
import subprocess

# Names every tool and both code pages take as they are.
PLAIN_NAME = re.compile(r"^[A-Za-z0-9_+-][A-Za-z0-9._+-]*$")
FIXED_TIME = 1704067200  # 2024-01-01 00:00 UTC: the zip files do not depend on the copy time
MB = 1 << 20

# Each part of the mixed corpus: (folder, bytes wanted, smallest and
# largest file taken, roots searched in this order, file-name test). Small
# files are the small-file tree's business; the packed part skips them.
MIXED_PARTS = [
    ("text", 46 * MB, 1, 2 * MB, ["/usr/include", "/usr/share/doc", "/usr/lib/python3"],
     lambda name: not name.endswith((".gz", ".xz", ".bz2", ".png", ".jpg", ".pyc", ".zip"))),
    ("binary", 34 * MB, 1, 4 * MB, ["/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/lib"],
     lambda name: ".so" in name or name.endswith(".a") or "." not in name),
    ("packed", 20 * MB, 16 * 1024, 2 * MB, ["/usr/share/man", "/usr/share/icons", "/usr/share/doc", "/usr/share"],
     lambda name: name.endswith((".gz", ".png", ".xz", ".bz2", ".jpg"))),
]
SMALL_COUNT = 20000
SMALL_LIMIT = 4096
SMALL_ROOTS = ["/usr/include", "/usr/share/doc", "/usr/lib/python3", "/usr/share"]


def walk_files(root):
    """Regular files below `root` with plain names, in sorted order."""
    for directory, folders, files in os.walk(root):
        folders[:] = sorted(f for f in folders if PLAIN_NAME.match(f)
                            and not os.path.islink(os.path.join(directory, f)))
        for name in sorted(files):
            path = os.path.join(directory, name)
            if PLAIN_NAME.match(name) and os.path.isfile(path) and not os.path.islink(path):
                yield path


def copy_into(target_root, source, folder, taken_lower):
    """Copies `source` to folder/<its path>; False when the name would
    collide with one taken apart from letter case (Wine's Z: drive folds
    case)."""
    relative = os.path.join(folder, source.lstrip("/"))
    if relative.lower() in taken_lower:
        return False
    target = os.path.join(target_root, relative)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    try:
        shutil.copyfile(source, target)
    except OSError:
        return False
    taken_lower.add(relative.lower())
    return True


def fix_times(root):
    for directory, folders, files in os.walk(root):
        for name in files + folders:
            os.utime(os.path.join(directory, name), (FIXED_TIME, FIXED_TIME), follow_symlinks=False)
    os.utime(root, (FIXED_TIME, FIXED_TIME))


def make_mixed(root):
    taken = set()
    for folder, wanted, smallest, largest, roots, accept in MIXED_PARTS:
        total = 0
        for source_root in roots:
            for path in walk_files(source_root):
                if total >= wanted:
                    break
                size = os.path.getsize(path)
                if size < smallest or size > largest or not accept(os.path.basename(path)):
                    continue
                try:
                    with open(path, "rb"):
                        pass
                except OSError:
                    continue
                if copy_into(root, path, folder, taken):
                    total += size
    fix_times(root)


def make_small(root):
    taken = set()
    count = 0
    for source_root in SMALL_ROOTS:
        for path in walk_files(source_root):
            if count >= SMALL_COUNT:
                break
            size = os.path.getsize(path)
            if 0 < size <= SMALL_LIMIT and copy_into(root, path, "small", taken):
                count += 1
    fix_times(root)


SOURCE_ROOT = "/usr/include"
SOURCE_SKIPPED = {"node"}


def make_source(root):
    """The header tree as it is, case twins included; links are left out."""
    for directory, folders, files in os.walk(SOURCE_ROOT):
        folders[:] = sorted(f for f in folders if f not in SOURCE_SKIPPED
                            and not os.path.islink(os.path.join(directory, f)))
        for name in sorted(files):
            source = os.path.join(directory, name)
            if os.path.islink(source) or not os.path.isfile(source):
                continue
            target = os.path.join(root, "include", os.path.relpath(source, SOURCE_ROOT))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            try:
                shutil.copyfile(source, target)
            except OSError:
                continue
    fix_times(root)


def make_members(root, count):
    """`count` tiny files, 50 to a folder."""
    rng = random.Random(count)
    for i in range(count):
        path = os.path.join(root, f"d{i // 50:03d}", f"file{i:05d}_{rng.randrange(1 << 30):x}.txt")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as out:
            out.write(f"member {i}\n" * (1 + i % 7))
    fix_times(root)


def entries(root, shuffled):
    """The folder's entries for `zip -@`: folders before what they hold,
    sorted or in a seeded shuffled order."""
    names = []
    for directory, folders, files in os.walk(root):
        folders.sort()
        relative = os.path.relpath(directory, root)
        if relative != ".":
            names.append(relative + "/")
        names.extend(os.path.normpath(os.path.join(relative, f)) for f in sorted(files))
    if shuffled:
        rng = random.Random(20000)
        rng.shuffle(names)
    return names


def zip_folder(root, archive, options, shuffled):
    if os.path.exists(archive):
        os.remove(archive)
    listing = "\n".join(entries(root, shuffled)) + "\n"
    subprocess.run(["zip", "-q", "-X", *options, "-@", os.path.abspath(archive)],
                   cwd=root, input=listing.encode(), check=True)


def tree_size(root):
    total = files = 0
    for directory, _, names in os.walk(root):
        for name in names:
            total += os.path.getsize(os.path.join(directory, name))
            files += 1
    return total, files


def ensure(work, password, log):
    """Makes whatever is missing under `work`; returns the archives by name:
    {label: zip path}."""
    corpus = os.path.join(work, "corpus")
    mixed = os.path.join(corpus, "mixed")
    small = os.path.join(corpus, "small")
    source = os.path.join(corpus, "source")
    trees = [(mixed, make_mixed, "the mixed corpus from files on this machine"),
             (small, make_small, "the small-file tree"), (source, make_source, "the source tree")]
    trees += [(os.path.join(corpus, f"members-{count}"), lambda folder, count=count: make_members(folder, count), None)
              for count in (1000, 5000, 20000)]
    for folder, make, what in trees:
        if not os.path.isfile(folder + ".complete"):
            if what:
                log("making " + what)
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            make(folder)
            open(folder + ".complete", "w").close()

    archives = {
        "deflated": (mixed, ["-9"], False),
        "stored": (mixed, ["-0"], False),
        "encrypted": (mixed, ["-9", "-P", password], False),
        "small-files": (small, ["-9"], True),
        "small-stored": (small, ["-0"], True),
        "source-deflated": (source, ["-9"], False),
        "source-stored": (source, ["-0"], False),
        "members-1000": (os.path.join(corpus, "members-1000"), ["-9"], True),
        "members-5000": (os.path.join(corpus, "members-5000"), ["-9"], True),
        "members-20000": (os.path.join(corpus, "members-20000"), ["-9"], True),
    }
    made = {}
    for label, (root, options, shuffled) in archives.items():
        archive = os.path.join(work, label + ".zip")
        if not os.path.isfile(archive):
            log(f"zipping {label}")
            zip_folder(root, archive, options, shuffled)
        made[label] = archive
    return made
