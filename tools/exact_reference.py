#!/usr/bin/env python3
"""Exact-arithmetic reference values for the tests of the spectrum transform (tests/dsp/test_fft.cpp,
tests/app/fft1_default_sine.dat) and of the engineering-unit text (tests/dsp/test_eng_format.cpp).
It shares no code with the program: it models the same steps with exact rationals.

Every value is a Python Fraction; each operation that the program evaluates in x87 extended
precision is rounded to a 64-bit significand, and each store into a double to a 53-bit one, both
to nearest with ties to even (no value here comes near the exponent limits). Sines are taken
from mpmath at 256 bits and then rounded to 64 bits, i.e. a correctly rounded extended sine.

Usage:
  exact_reference.py twiddles          stage increments and the twiddles of span 512, as hex floats
  exact_reference.py eng VALUE...      the k or M text of each value (and what a double
                                       multiplier would give)
  exact_reference.py spectrum CODES    the spectrum file of 500 byte codes (the raw-code column of
                                       waveform1_data.dat of the default simulated channel 1:
                                       x increment 1E-5, y increment 0.01, y reference 128)
"""
import sys
from fractions import Fraction as F

import mpmath

mpmath.mp.prec = 256


def rnd(q, p):
    q = F(q)
    if q == 0:
        return F(0)
    sign = -1 if q < 0 else 1
    a = abs(q)
    e = a.numerator.bit_length() - a.denominator.bit_length()
    if a < F(2) ** e:
        e -= 1
    assert F(2) ** e <= a < F(2) ** (e + 1)
    m = a * F(2) ** (p - 1 - e)
    n = m.numerator // m.denominator
    rem = m - n
    if rem > F(1, 2) or (rem == F(1, 2) and n % 2 == 1):
        n += 1
    return sign * F(n) * F(2) ** (e - p + 1)


def ext(q):
    return rnd(q, 64)


def dbl(q):
    return rnd(q, 53)


def to_fraction(x):
    man, exp = x.man_exp
    return F(int(man)) * F(2) ** int(exp)


def sin_ext(q):
    x = mpmath.mpf(q.numerator) / mpmath.mpf(q.denominator)
    return ext(to_fraction(mpmath.sin(x)))


TWO_PI = ext(F("6.28318530717959"))


def stage_angle(divisor):
    return dbl(ext(TWO_PI / divisor))


def twiddle_step(theta):
    s = sin_ext(theta / 2)
    return dbl(ext(ext(-2 * s) * s)), dbl(sin_ext(theta))


def advance(dre, dim, ure, uim):
    nre = dbl(ext(ext(ext(ure * dre) - ext(uim * dim)) + ure))
    nim = dbl(ext(ext(ext(uim * dre) + ext(ure * dim)) + uim))
    return nre, nim


def complex_fft(d, nn, sign):
    L = 2 * nn
    q = 1
    for t in range(1, nn + 1):
        p = 2 * t - 1
        if q > p:
            d[q], d[p] = d[p], d[q]
            d[q + 1], d[p + 1] = d[p + 1], d[q + 1]
        h = L // 2
        while h >= 2 and q > h:
            q -= h
            h //= 2
        q += h
    span = 2
    while L > span:
        step = 2 * span
        dre, dim = twiddle_step(stage_angle(sign * span))
        ure, uim = F(1), F(0)
        for t in range(1, span // 2 + 1):
            first = 2 * t - 1
            for g in range(0, (L - first) // step + 1):
                p = first + g * step
                r = p + span
                tr = ext(ext(ure * d[r]) - ext(uim * d[r + 1]))
                ti = ext(ext(ure * d[r + 1]) + ext(uim * d[r]))
                d[r] = ext(d[p] - tr)
                d[r + 1] = ext(d[p + 1] - ti)
                d[p] = ext(d[p] + tr)
                d[p + 1] = ext(d[p + 1] + ti)
            ure, uim = advance(dre, dim, ure, uim)
        span = step


def real_fft_forward(d, n):
    theta = stage_angle(2 * n)
    k1, k2 = F(1, 2), F(-1, 2)
    complex_fft(d, n, 1)
    d[2 * n + 1] = d[1]
    d[2 * n + 2] = d[2]
    dre, dim = twiddle_step(theta)
    ure, uim = F(1), F(0)
    for i in range(1, n // 2 + 2):
        p1, p2 = 2 * i - 1, 2 * i
        p3 = 2 * n + 3 - p2
        p4 = p3 + 1
        cr, ci = ure, uim
        ar = ext(k1 * ext(d[p1] + d[p3]))
        ai = ext(k1 * ext(d[p2] - d[p4]))
        br = ext(-k2 * ext(d[p2] + d[p4]))
        bi = ext(k2 * ext(d[p1] - d[p3]))
        d[p1] = ext(ext(ar + ext(cr * br)) - ext(ci * bi))
        d[p2] = ext(ext(ai + ext(cr * bi)) + ext(ci * br))
        d[p3] = ext(ext(ar - ext(cr * br)) + ext(ci * bi))
        d[p4] = ext(ext(-ai + ext(cr * bi)) + ext(ci * br))
        ure, uim = advance(dre, dim, ure, uim)
    d[2] = d[2 * n + 1]


def sqrt_ext(q):
    x = mpmath.sqrt(mpmath.mpf(q.numerator) / mpmath.mpf(q.denominator))
    return ext(to_fraction(x))


def sci_field(v, width):
    """Sign position, d.ddd (width - 8 significant digits), E, exponent sign, four digits;
    the digit after the last one kept decides the rounding (5 or more rounds up)."""
    digits = width - 8
    if v == 0:
        return " " + "0." + "0" * (digits - 1) + "E+0000"
    sign = "-" if v < 0 else " "
    a = abs(v)
    e = 0
    while a >= 10 ** (e + 1):
        e += 1
    while a < F(10) ** e:
        e -= 1
    scaled = a / F(10) ** (e - digits)  # digits+1 digits before the point
    whole = scaled.numerator // scaled.denominator
    kept, nxt = divmod(whole, 10)
    if nxt >= 5:
        kept += 1
    if kept >= 10 ** digits:
        kept //= 10
        e += 1
    t = str(kept)
    exp = ("-" if e < 0 else "+") + "%04d" % abs(e)
    return sign + t[0] + "." + t[1:] + "E" + exp


def spectrum_file(codes, points, xincrement, yincrement, yreference, yorigin):
    volts = [F(0)] * (points + 1)
    for j in range(1, points + 1):
        v = ext(ext((codes[j] - yreference) * yincrement) + 0)
        volts[j] = dbl(ext(v + yorigin))
    d = [F(0)] * 1027
    used = min(max(points - 1, 0), 1024)
    for j in range(1, used + 1):
        d[j] = volts[j]
    for k in range(used + 1, 1025):
        d[k] = d[k - 1]
    real_fft_forward(d, 512)
    T = ext(xincrement * 1024)
    freq = [F(0)] * 1025
    amp = [F(0)] * 1025
    peak = F(0)
    for i in range(1, 513):
        m = sqrt_ext(ext(ext(d[2 * i - 1] * d[2 * i - 1]) + ext(d[2 * i] * d[2 * i])))
        freq[i] = dbl(ext((i - 1) / T))
        amp[i] = dbl(m)
        if m > peak:
            peak = amp[i]
    for i in range(1, 513):
        amp[i] = dbl(ext(amp[i] / peak))
    lines = ["   Frequency  " + "   Amplitude  "]
    for i in range(1, points + 1):
        lines.append(" " + sci_field(freq[i], 23) + " " + sci_field(amp[i], 23))
    return "".join(l + "\r\n" for l in lines)


def eng_text(x, multiplier, suffix):
    """y = x * multiplier rounded once into a double; thousandths rounded half to even."""
    y = dbl(ext(F(x) * multiplier))
    t = ext(y * 1000)
    r = t.numerator // t.denominator
    rem = t - r
    if rem > F(1, 2) or (rem == F(1, 2) and r % 2 == 1):
        r += 1
    whole, frac = divmod(r, 1000)
    text = str(whole) if frac == 0 else ("%d.%03d" % (whole, frac)).rstrip("0")
    return text + suffix


def main():
    what = sys.argv[1]
    if what == "twiddles":
        for span in (4, 32, 256, 512, 1024):
            theta = stage_angle(span)
            dre, dim = twiddle_step(theta)
            print("span", span, "theta", float(theta).hex(), "dre", float(dre).hex(),
                  "dim", float(dim).hex())
        theta = stage_angle(512)
        dre, dim = twiddle_step(theta)
        ure, uim = F(1), F(0)
        for t in range(1, 257):
            print("twiddle", t - 1, float(ure).hex(), float(uim).hex())
            ure, uim = advance(dre, dim, ure, uim)
    elif what == "eng":
        for x in sys.argv[2:]:
            xv = F(float(x))
            for lim, mult, suf in ((1100000, "1e-6", " M"), (1100, "1e-3", " k")):
                if xv > lim:
                    print(x, repr(eng_text(xv, ext(F(mult)), suf)),
                          "double multiplier:", repr(eng_text(xv, dbl(F(mult)), suf)))
                    break
    elif what == "spectrum":
        codes = [0] + [int(c) for c in open(sys.argv[2]).read().split()]
        points = len(codes) - 1
        sys.stdout.write(spectrum_file(codes, points, dbl(F("1e-5")), dbl(F("1e-2")), 128,
                                       F(0)))


if __name__ == "__main__":
    main()
