#!/usr/bin/python3
"""Checks a SigMF recording as its readers see it.

    check_sigmf.py SCHEMA NAME [RF_NAME]

NAME.sigmf-meta against the schema (jsonschema), NAME.sigmf-data read with
numpy.fromfile in the datatype the metadata names, and then prints one JSON
line: the sample count, the spectrum's share of power inside each annotated
band (relative to the capture's centre), the record's seam (the largest
sample step across the wrap against the largest step inside), and with
RF_NAME the largest difference between the complex record shifted back up by
its centre and the real RF recording (both scaled to their own peak).
"""
import json
import sys

import jsonschema
import numpy as np

TYPES = {"cf32_le": "<c8", "ci16_le": "<i2", "rf32_le": "<f4", "ri16_le": "<i2"}


def load(name):
    meta = json.load(open(name + ".sigmf-meta"))
    datatype = meta["global"]["core:datatype"]
    data = np.fromfile(name + ".sigmf-data", dtype=TYPES[datatype])
    if datatype == "ci16_le":
        data = data[0::2].astype(np.float64) + 1j * data[1::2].astype(np.float64)
    return meta, data.astype(np.complex128 if datatype[0] == "c" else np.float64)


def main():
    schema = json.load(open(sys.argv[1]))
    meta, z = load(sys.argv[2])
    jsonschema.validate(meta, schema)
    n = len(z)
    fs = meta["global"]["core:sample_rate"]
    f0 = meta["captures"][0]["core:frequency"]
    spectrum = np.abs(np.fft.fft(z)) ** 2
    freq = np.fft.fftfreq(n, 1.0 / fs)
    bin_width = fs / n
    shares = []
    for a in meta["annotations"]:
        lo = a["core:freq_lower_edge"] - f0 - 2 * bin_width
        hi = a["core:freq_upper_edge"] - f0 + 2 * bin_width
        inside = (freq >= lo) & (freq <= hi)
        shares.append(float(spectrum[inside].sum() / spectrum.sum()))
    steps = np.abs(np.diff(z))
    out = {"samples": n, "shares": shares, "seam": float(abs(z[0] - z[-1])), "largest_step": float(steps.max()),
           "labels": [a["core:label"] for a in meta["annotations"]]}
    if len(sys.argv) > 3:
        rf_meta, rf = load(sys.argv[3])
        jsonschema.validate(rf_meta, schema)
        k = round(f0 * n / fs)
        turns = (k * np.arange(n, dtype=np.int64)) % n / n
        up = np.real(z * np.exp(2j * np.pi * turns))
        out["shift_error"] = float(np.max(np.abs(up / np.max(np.abs(up)) - rf / np.max(np.abs(rf)))))
    print(json.dumps(out))


if __name__ == "__main__":
    main()
