#!/usr/bin/python3
"""Exports the published centrelines of a real worm sample to CSV.

Reads /skeletons (frames x points x 2, x then y, crop pixel coordinates) from
an HDF5 features file and writes one CSV line per centreline point:

    frame,point,x,y

`frame` is the crop's index (0 for 00000.png; movie frame k built by
dukon-frames-to-avi is crop k-1), `point` the index along the centreline.
Frames whose centreline holds any NaN (no published pose) are left out.

Usage: centrelines.py FEATURES.h5 OUT.csv
Exit status: 0 on success, 2 on a usage error, 3 when h5py is not installed
(Debian: python3-h5py), 1 when the file cannot be read.
"""

import math
import sys


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: centrelines.py FEATURES.h5 OUT.csv\n")
        return 2
    try:
        import h5py
    except ImportError:
        sys.stderr.write("centrelines.py: h5py is not installed (python3-h5py)\n")
        return 3
    try:
        with h5py.File(argv[1], "r") as f:
            skeletons = f["skeletons"][()]
    except (OSError, KeyError) as e:
        sys.stderr.write("centrelines.py: cannot read /skeletons of %s: %s\n" % (argv[1], e))
        return 1
    if skeletons.ndim != 3 or skeletons.shape[2] != 2:
        sys.stderr.write("centrelines.py: /skeletons has shape %s, want (frames, points, 2)\n"
                         % (skeletons.shape,))
        return 1
    frames = 0
    with open(argv[2], "w") as out:
        out.write("frame,point,x,y\n")
        for k, line in enumerate(skeletons):
            if any(math.isnan(v) for v in line.ravel()):
                continue
            frames += 1
            for j, (x, y) in enumerate(line):
                out.write("%d,%d,%.3f,%.3f\n" % (k, j, x, y))
    print("wrote %d centrelines of %d frames to %s" % (frames, len(skeletons), argv[2]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
