#!/usr/bin/env python3
"""Writes the example carrier tables of examples/ as binary "*.kvt" images.

Run from the repository root: python3 tools/make_example_tables.py
"""
import struct

RECORD = 940
CARRIERS = 100

# (offset, struct format) of the carrier record fields used here.
FIELDS = {
    "frequency_hz": (0, "<f"), "amplitude": (4, "<f"), "phase_deg": (8, "<f"),
    "symbol_rate": (12, "<f"), "modulation": (16, "<i"), "filter_type": (20, "<i"),
    "filter_length": (24, "<i"), "window_type": (28, "<i"), "filter_param": (32, "<f"),
    "deviation_hz": (36, "<f"), "prbs_poly_i": (40, "<I"), "prbs_seed_i": (44, "<I"),
    "prbs_poly_q": (48, "<I"), "prbs_seed_q": (52, "<I"), "data_source": (692, "<i"),
    "prbs_iq_equal": (700, "<i"),
}

DEFAULTS = {"amplitude": 1.0, "filter_length": 17, "prbs_poly_i": 3, "prbs_seed_i": 0xFEDCBA98,
            "prbs_poly_q": 3, "prbs_seed_q": 0xFEDCBA98, "prbs_iq_equal": 1}


def record(**fields):
    data = bytearray(RECORD)
    for name, value in {**DEFAULTS, **fields}.items():
        offset, fmt = FIELDS[name]
        struct.pack_into(fmt, data, offset, value)
    return bytes(data)


def table(path, comment, carriers):
    image = bytearray(b"V1.0".ljust(10, b"\0"))
    image += comment.encode("latin-1")[:199].ljust(200, b"\0")
    records = [record(**c) for c in carriers]
    records.append(record(frequency_hz=-1.0))
    while len(records) < CARRIERS:
        records.append(bytes(RECORD))
    image += b"".join(records)
    assert len(image) == 94210
    with open(path, "wb") as f:
        f.write(image)


MHZ = 1e6
table("examples/mixed.kvt", "Mixed table: QPSK, 8-PSK, GMSK, 2-FSK, AM tone, unmodulated", [
    dict(frequency_hz=10 * MHZ, symbol_rate=3.84 * MHZ, modulation=1, filter_type=3, filter_param=0.22),
    dict(frequency_hz=20 * MHZ, amplitude=0.8, symbol_rate=2.0 * MHZ, modulation=10, filter_type=1,
         filter_param=0.35),
    dict(frequency_hz=30 * MHZ, symbol_rate=0.270833 * MHZ, modulation=20, filter_type=4,
         filter_param=0.3, filter_length=5),
    dict(frequency_hz=35 * MHZ, symbol_rate=0.1 * MHZ, modulation=29, filter_type=2, filter_param=0.5,
         deviation_hz=50e3),
    dict(frequency_hz=40 * MHZ, amplitude=0.5, symbol_rate=10e3, modulation=17, filter_param=50.0),
    dict(frequency_hz=45 * MHZ, amplitude=0.25, modulation=0),
])
table("examples/cable64.kvt", "Four QAM-64 cable channels, root raised cosine 0.15", [
    dict(frequency_hz=(114 + 8 * k) * MHZ, symbol_rate=6.952 * MHZ, modulation=4, filter_type=3,
         filter_param=0.15, filter_length=33) for k in range(4)
])
