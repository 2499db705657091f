"""Where Wine 8 does otherwise than Windows and a Python test accepts what Wine does: the
C++ tests' WineFact (tests/support/wine_support.h). A test states both behaviours where it
relies on them; each is said once in the run's output."""

_said = set()


def wine_fact(windows, wine):
    if (windows, wine) in _said:
        return
    _said.add((windows, wine))
    print(f"[ WINE FACT ] Windows: {windows}.\n              Wine: {wine}.", flush=True)
