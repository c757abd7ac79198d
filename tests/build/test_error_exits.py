"""What tests/build/error_exits.py (scripts/coverage) counts as an error
exit of the decoder, and how it reads a region's count."""
import unittest

from error_exits import count_at, find_exits


class ErrorExitsTest(unittest.TestCase):
    def test_finds_returns_and_status_assignments_only(self):
        cases = [
            ("if (x) return kDataError;", [(1, 15)]),
            ("status = kDataError;", [(1, 10)]),
            ("status = ok ? kInflateOk : kDataError;", [(1, 28)]),
            ("return a && b ? kDataError : kInflateOk;", [(1, 17)]),
            ("  default: return kDataError;", [(1, 19)]),
            ("if (status != kDataError) return status;", []),
            ("kDataError = 1,  // the enumerator", []),
            ("// return kDataError;\n/* status = kDataError; */", []),
            ("f();\nif (y) {\n    status = kDataError;\n}", [(3, 14)]),
        ]
        for text, exits in cases:
            with self.subTest(text=text):
                self.assertEqual(find_exits(text), exits)

    def test_a_region_count_is_the_last_segment_at_or_before(self):
        # [line, column, count, has count, region entry, gap]
        segments = [[1, 1, 5, True, True, False], [1, 15, 0, True, True, False],
                    [1, 26, 5, True, False, False], [3, 1, 0, False, False, False]]
        for line, column, count in [(1, 1, 5), (1, 14, 5), (1, 15, 0), (1, 30, 5), (3, 4, None)]:
            with self.subTest(line=line, column=column):
                self.assertEqual(count_at(segments, line, column), count)


if __name__ == "__main__":
    unittest.main()
