"""The WCON step of a batch run, as the workflow calls it:

    python3 -m dukon_results.wcon_step --analysis OUT/status/NAME.analysis.json \
        --status OUT/status/NAME.wcon.json

Writes NAME.wcon into the movie's results folder when its analysis
succeeded, wholly or in part (status ok or partial). The status record is the analysis record plus "wcon" (the file's
path, or null) and, when the export failed, "wcon_error". The step always
exits 0, so that one movie's failure stops no other.
"""

import argparse
import json
import sys
from pathlib import Path

from .errors import READ_ERRORS
from .files import replace_atomically


def wcon_step(analysis, status, zipped=False):
    """Exports the analysed movie of the record `analysis`; writes and
    returns the status record."""
    from .wcon import write_wcon

    record = json.loads(Path(analysis).read_text(encoding="utf-8"))
    record["wcon"] = None
    if record.get("status") in ("ok", "partial"):
        try:
            record["wcon"] = str(write_wcon(record["results"], record["name"],
                                            zipped=zipped).path)
        except Exception as e:  # any failure is this movie's, recorded
            record["wcon_error"] = (str(e) if isinstance(e, READ_ERRORS)
                                    else f"{type(e).__name__}: {e}")
    status = Path(status)
    status.parent.mkdir(parents=True, exist_ok=True)
    text = json.dumps(record, indent=1) + "\n"
    replace_atomically(status, lambda tmp: tmp.write_text(text, encoding="utf-8"))
    return record


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m dukon_results.wcon_step")
    parser.add_argument("--analysis", required=True, help="status record of the analysis")
    parser.add_argument("--status", required=True, help="status record to write")
    parser.add_argument("--zip", action="store_true", help="write NAME.wcon.zip instead")
    args = parser.parse_args(argv)
    wcon_step(args.analysis, args.status, args.zip)
    return 0


if __name__ == "__main__":
    sys.exit(main())
