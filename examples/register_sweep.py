#!/usr/bin/env python3
"""Sweeps a register through a range of values, reads each one back, and logs the pairs to CSV.

    python3 register_sweep.py --simulate sweep.csv
    python3 register_sweep.py --port COM3 --register 0x20 --step 0x1000 sweep.csv
"""

import argparse
import csv
import sys

import tr805q


def number(text):
    return int(text, 0)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("csv", help="the CSV file to write")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--port", help="COM number (3, COM3) or device path of the kit")
    where.add_argument("--simulate", action="store_true", help="use the simulated board in this process")
    parser.add_argument("--register", type=number, default=0x20, help="register address (default 0x20)")
    parser.add_argument("--device", type=int, default=1, choices=(1, 2, 3))
    parser.add_argument("--step", type=number, default=0x0800, help="value step (default 0x0800)")
    args = parser.parse_args()

    kit = tr805q.Kit.simulated() if args.simulate else tr805q.Kit(args.port)
    try:
        with kit, open(args.csv, "w", newline="") as out:
            log = csv.writer(out)
            log.writerow(["register", "written", "read", "match"])
            for value in range(0, 0x10000, args.step):
                kit.write(args.register, value, device=args.device)
                back = kit.read(args.register, device=args.device)
                log.writerow([f"0x{args.register:02X}", f"0x{value:04X}", f"0x{back:04X}", back == value])
    except tr805q.Error as e:
        sys.exit(f"register_sweep: {e}")
    print(f"register 0x{args.register:02X} swept, written to {args.csv}")


if __name__ == "__main__":
    main()
