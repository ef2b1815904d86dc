#!/usr/bin/env python3
"""Install and uninstall against the file-system floor and a per-user NSIS peer.

For each payload size: lays out the trees under C:\\bench\\n<files> of the bench
prefix, builds the NSIS peer of the same tree with makensis, runs
install_bench.exe under Wine, and collects its results. Prints the medians,
the ratios and the cost per 1,000 files above the 1-file run (then the 1-file
comparison again on 15 runs), and writes
install_bench.csv and install_bench.png into the output folder.

Usage: install_bench.py BUILD_DIR OUT_DIR PREFIX RUNS SIZE...
"""
import os
import shutil
import statistics
import subprocess
import sys

FILE_BYTES = 4096
FOLDER_FILES = 100
STAND_INS = ["Uninstall.exe", "VuClient.exe", "DESKHubClient.exe", "KivClientSystem.dll"]
SERIES = ["ours", "floor", "nsis"]
PHASES = ["install", "uninstall"]
FIXED_COST_RUNS = 15

NSIS_SCRIPT = r"""
Unicode true
Target amd64-unicode
SetCompressor zlib
; Every file differs; comparing each with all before it makes big trees slow to build.
SetDatablockOptimize off
Name "Quellmoor Client (NSIS peer)"
OutFile "{out}"
RequestExecutionLevel user
InstallDir "$APPDATA\QuellmoorNsisPeer"
SilentInstall silent
SilentUnInstall silent
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuellmoorNsisPeer"

Section
  SetOutPath "$INSTDIR"
  File /r "{payload}/*"
  WriteRegStr HKCU "Software\Classes\.n4a" "" "VuClient.Document"
  WriteRegStr HKCU "Software\Classes\.n4a" "Content Type" "application/x-n4a"
  WriteRegStr HKCU "Software\Classes\VuClient.Document\shell\open\command" "" '"$INSTDIR\VuClient.exe" "%1"'
  WriteRegStr HKCU "Software\Classes\MIME\Database\Content Type\application/x-n4a" "Extension" ".n4a"
  WriteRegStr HKCU "Software\Classes\kivclient" "" "URL:kivclient"
  WriteRegStr HKCU "Software\Classes\kivclient" "URL Protocol" ""
  WriteRegStr HKCU "Software\Classes\kivclient\shell\open\command" "" '"$INSTDIR\VuClient.exe" urlSchema "%1"'
  RegDLL "$INSTDIR\KivClientSystem.dll"
  ; The client's own switch runs, as ours makes them: the RDP control, then the
  ; Defender exclusion after the links.
  ExecWait '"$INSTDIR\VuClient.exe" -regmsocx -silent'
  ExecWait '"$INSTDIR\VuClient.exe" -regocx -silent'
  CreateDirectory "$SMPROGRAMS\Quellmoor\Client"
  CreateShortCut "$SMPROGRAMS\Quellmoor\Client\Quellmoor Client.lnk" "$INSTDIR\DESKHubClient.exe"
  CreateShortCut "$SMPROGRAMS\Quellmoor\Client\Uninstall.lnk" "$INSTDIR\uninst.exe"
  CreateShortCut "$DESKTOP\Quellmoor Client.lnk" "$INSTDIR\DESKHubClient.exe"
  ExecWait '"$INSTDIR\VuClient.exe" -windefexcludeadd'
  WriteUninstaller "$INSTDIR\uninst.exe"
  WriteRegStr HKCU "${{UNINSTALL_KEY}}" "DisplayName" "Quellmoor Client (NSIS peer)"
  WriteRegStr HKCU "${{UNINSTALL_KEY}}" "UninstallString" '"$INSTDIR\uninst.exe"'
SectionEnd

Section Uninstall
  UnRegDLL "$INSTDIR\KivClientSystem.dll"
  ExecWait '"$INSTDIR\VuClient.exe" -regmsocx -silent'
  ExecWait '"$INSTDIR\VuClient.exe" -windefexcluderem'
  DeleteRegKey HKCU "Software\Classes\.n4a"
  DeleteRegKey HKCU "Software\Classes\VuClient.Document"
  DeleteRegKey HKCU "Software\Classes\MIME\Database\Content Type\application/x-n4a"
  DeleteRegKey HKCU "Software\Classes\kivclient"
  Delete "$DESKTOP\Quellmoor Client.lnk"
  Delete "$SMPROGRAMS\Quellmoor\Client\Quellmoor Client.lnk"
  Delete "$SMPROGRAMS\Quellmoor\Client\Uninstall.lnk"
  RMDir "$SMPROGRAMS\Quellmoor\Client"
  RMDir "$SMPROGRAMS\Quellmoor"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKCU "${{UNINSTALL_KEY}}"
SectionEnd
"""


def file_bytes(index):
    """4 KiB of text-like bytes that differ per file (compressible as program data is)."""
    state = (index * 2654435761 + 12345) & 0xFFFFFFFF
    out = bytearray(FILE_BYTES)
    for i in range(FILE_BYTES):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = 0x20 + ((state >> 16) & 0x3F)
    return bytes(out)


def write_tree(root, files, bin_dir, contents):
    os.makedirs(root)
    for index in range(files):
        folder = os.path.join(root, "data", f"d{index // FOLDER_FILES:03}")
        if index % FOLDER_FILES == 0:
            os.makedirs(folder)
        with open(os.path.join(folder, f"f{index % FOLDER_FILES:02}.bin"), "wb") as out:
            # The index first, so that no two files are alike (NSIS stores alike data once).
            out.write(b"%08d" % index + contents[index % len(contents)][8:])
    if bin_dir:
        for name in STAND_INS:
            shutil.copy2(os.path.join(bin_dir, name), os.path.join(root, name))


def run_size(build, prefix, out_dir, files, runs, contents):
    bin_dir = os.path.join(build, "bin")
    size_dir = os.path.join(prefix, "drive_c", "bench", f"n{files}")
    shutil.rmtree(size_dir, ignore_errors=True)
    # One tree more than runs: install_bench.exe warms up on the first.
    for run in range(runs + 1):
        write_tree(os.path.join(size_dir, f"ours{run}"), files, None, contents)
        write_tree(os.path.join(size_dir, f"floor{run}"), files, None, contents)
    payload = os.path.join(out_dir, f"nsis_payload_{files}")
    shutil.rmtree(payload, ignore_errors=True)
    write_tree(payload, files, bin_dir, contents)
    script = os.path.join(out_dir, f"nsis_peer_{files}.nsi")
    with open(script, "w") as out:
        out.write(NSIS_SCRIPT.format(out=os.path.join(size_dir, "nsis_setup.exe"), payload=payload))
    subprocess.run(["makensis", "-V2", script], check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(payload)

    env = dict(os.environ, WINEPREFIX_OVERRIDE=prefix)
    output = subprocess.run([os.path.join(build, "wine-run.sh"), "install_bench.exe", str(files),
                             str(runs)], env=env, check=True, capture_output=True, text=True).stdout
    shutil.rmtree(size_dir, ignore_errors=True)
    results = {}
    for line in output.splitlines():
        fields = line.split()
        if fields and fields[0] == "result":
            results.setdefault((fields[2], fields[3]), []).append(float(fields[4]))
        elif fields and fields[0] == "problem":
            print(f"  warning: {files} files: {fields[2]}", flush=True)
    return {key: statistics.median(values) for key, values in results.items()}


def print_table(medians, sizes):
    print()
    for phase in PHASES:
        print(f"{phase} (median seconds)")
        print(f"{'files':>7} {'ours':>8} {'floor':>8} {'nsis':>8} {'ours/floor':>11} {'ours/nsis':>10}")
        for files in sizes:
            row = [medians[files][(s, phase)] for s in SERIES]
            print(f"{files:>7} {row[0]:8.3f} {row[1]:8.3f} {row[2]:8.3f} "
                  f"{row[0] / max(row[1], 1e-6):11.1f} {row[0] / row[2]:10.2f}")
        base = sizes[0]
        print(f"{phase}: seconds per 1,000 files above the {base}-file run")
        print(f"{'files':>7} {'ours':>8} {'floor':>8} {'nsis':>8} {'ours/floor':>11} {'ours/nsis':>10}")
        for files in sizes[1:]:
            per = [(medians[files][(s, phase)] - medians[base][(s, phase)]) * 1000 / (files - base)
                   for s in SERIES]
            ratio_floor = per[0] / per[1] if abs(per[1]) > 1e-6 else float("nan")
            ratio_nsis = per[0] / per[2] if abs(per[2]) > 1e-6 else float("nan")
            print(f"{files:>7} {per[0]:8.4f} {per[1]:8.4f} {per[2]:8.4f} "
                  f"{ratio_floor:11.2f} {ratio_nsis:10.2f}")
        print()


def plot(medians, sizes, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    figure, axes = plt.subplots(1, 2, figsize=(11, 4.5))
    for axis, phase in zip(axes, PHASES):
        for series, style in zip(SERIES, ["o-", "s--", "^-."]):
            axis.plot(sizes, [medians[f][(series, phase)] for f in sizes], style, label=series)
        axis.set_title(f"{phase} (median of runs)")
        axis.set_xlabel("files (4 KiB each, folders of 100)")
        axis.set_ylabel("seconds")
        axis.grid(True, alpha=0.3)
        axis.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=100)


def main():
    build, out_dir, prefix, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    sizes = sorted(int(s) for s in sys.argv[5:])
    os.makedirs(out_dir, exist_ok=True)
    contents = [file_bytes(i) for i in range(64)]
    medians = {}
    for files in sizes:
        print(f"{files} files, {runs} run(s) ...", flush=True)
        medians[files] = run_size(build, prefix, out_dir, files, runs, contents)
        # Each size's medians at once, so that a cut-short run keeps what it measured.
        print("  " + ", ".join(f"{series} {phase} {medians[files][(series, phase)]:.3f} s"
                               for phase in PHASES for series in SERIES), flush=True)
    with open(os.path.join(out_dir, "install_bench.csv"), "w") as out:
        out.write("files,series,phase,median_seconds\n")
        for files in sizes:
            for (series, phase), value in sorted(medians[files].items()):
                out.write(f"{files},{series},{phase},{value:.4f}\n")
    print_table(medians, sizes)
    if sizes[0] == 1:
        # The fixed cost is mostly process starts, whose times scatter by a few
        # hundredths of a second: its comparison again, on more runs.
        print(f"1 file, {FIXED_COST_RUNS} runs ...", flush=True)
        fixed = run_size(build, prefix, out_dir, 1, FIXED_COST_RUNS, contents)
        for phase in PHASES:
            ours, nsis = fixed[("ours", phase)], fixed[("nsis", phase)]
            print(f"  {phase}: ours {ours:.3f} s, nsis {nsis:.3f} s, ours/nsis {ours / nsis:.2f}")
        print()
    png = os.path.join(out_dir, "install_bench.png")
    plot(medians, sizes, png)
    print(f"plot: {png}")


if __name__ == "__main__":
    main()
