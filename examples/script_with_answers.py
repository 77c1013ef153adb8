#!/usr/bin/env python3
"""Runs a script on the board and answers its dialogs from Python instead of a window.

    python3 script_with_answers.py --simulate
    python3 script_with_answers.py --port COM3 my_script.mbs --gain 0x1F

Without a script file, a small one is written into a temporary folder and run: it asks
whether to go on, asks for a gain, and writes it to register 0x20.
"""

import argparse
import pathlib
import sys
import tempfile

import tr805q

SAMPLE = """\
gain    word    0
        dialogyesno "Set the gain now?" gain
        dialogentry "Gain (hex or decimal)" gain
        write gain *$20 1
        disp "gain set to %x" gain
        stop
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("script", nargs="?", help="the .mbs script (default: a small sample)")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--port", help="COM number (3, COM3) or device path of the kit")
    where.add_argument("--simulate", action="store_true", help="use the simulated board in this process")
    parser.add_argument("--gain", default="0x1F", help="what the entry dialog is answered with")
    args = parser.parse_args()

    def on_dialog(kind, prompt, proposed):
        print(f"[{kind}] {prompt}" + (f" (proposed {proposed})" if proposed is not None else ""))
        if kind == "entry":
            return args.gain
        return True  # OK, Yes; None would abort the script

    with tempfile.TemporaryDirectory() as folder:
        script = pathlib.Path(args.script) if args.script else pathlib.Path(folder, "sample.mbs")
        if not args.script:
            script.write_text(SAMPLE)
        kit = tr805q.Kit.simulated() if args.simulate else tr805q.Kit(args.port)
        try:
            with kit:
                result = kit.run_script(script, on_dialog=on_dialog, on_text=lambda line: print("  " + line),
                                        timeout=60, listing_dir=folder)
                if result.status == "finished" and not args.script:
                    print(f"register 0x20 now reads 0x{kit.read(0x20):04X}")
        except tr805q.Error as e:
            sys.exit(f"script_with_answers: {e}")
    if result.status != "finished":
        sys.exit(f"script_with_answers: the script ended with {result.status}")


if __name__ == "__main__":
    main()
