#!/usr/bin/env bash
# Makes sure a CUPS PDF printer (printer-driver-cups-pdf) is the default printer for the printing
# suite, and tells the suite where its output lands: STATE_DIR/cups/outdir. Run as root it
# starts cupsd when none runs and adds the queue KelvoraPDF; otherwise it uses a default
# cups-pdf queue that is already there.
set -u
state=$2/cups
mkdir -p "$state"
rm -f "$state/outdir"
[ "$1" = start ] || exit 0

uses_cups_pdf() { lpstat -v "$1" 2>/dev/null | grep -q 'cups-pdf:'; }
default=$(lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p')
if [ -z "$default" ] || ! uses_cups_pdf "$default"; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "no default cups-pdf printer, and only root can add one (the printing test will say so)"
        exit 0
    fi
    if ! lpstat -r 2>/dev/null | grep -q "is running"; then
        setsid /usr/sbin/cupsd -f >"$state/cupsd.log" 2>&1 < /dev/null &
        for _ in $(seq 1 50); do
            lpstat -r 2>/dev/null | grep -q "is running" && break
            sleep 0.1
        done
    fi
    ppd=$(ls /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null | head -1)
    lpadmin -p KelvoraPDF -E -v cups-pdf:/ ${ppd:+-P "$ppd"} 2>/dev/null || { echo "lpadmin failed" >&2; exit 1; }
    # PostScript made by poppler keeps the text as text (ghostscript's makes Type 3 glyphs).
    lpadmin -p KelvoraPDF -o pdftops-renderer-default=pdftops
    lpadmin -d KelvoraPDF
    default=KelvoraPDF
fi
out=$(sed -n 's/^Out[[:space:]]\+//p' /etc/cups/cups-pdf.conf | tail -1)
out=${out:-'${HOME}/PDF'}
out=${out//'${HOME}'/$HOME}
out=${out//'${USER}'/$(id -un)}
mkdir -p "$out"
echo "$out" >"$state/outdir"
echo "default printer $default writes into $out"
