"""make demo: the whole protocol on a synthetic data set with known answers.

Three banks and a coordinator, every step of the protocol for every pair of banks, and a
check of every answer; ends with a PASS or FAIL line. Arguments are passed on to
`python -m veltrane_tools.match` (see its --help), e.g. --num-payments 5000.
"""
import os
import sys

try:
    from veltrane_tools import match
except ImportError:  # running from a source tree whose tools are not installed
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
    from veltrane_tools import match

sys.exit(match.main(sys.argv[1:]))
