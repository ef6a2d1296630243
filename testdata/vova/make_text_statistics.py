#!/usr/bin/env python3
"""Writes text_statistics.txt: the text statistics of the shot that
SaveTextTest.cpp fills by hand, built here from the layout rules alone."""
import sys

out = []
def line(s): out.append(s)
def val(name, v): line("      %s = %s\n" % (name, v))
def d(name, v): val(name, "%d" % v)
def u(name, v): val(name, "%u" % v)
def f(name, v): val(name, "%f" % v)
def lst(vals, fmt="%u"): return "(" + " ".join(fmt % v for v in vals) + ")"

line("Frame:\n")
line("  Exposure Statistics:\n    config:\n")
d("bGlobalEnable", 1); d("bRegionEnable", 0)
u("ui16Left", 1); u("ui16Top", 2); u("ui16Width", 300); u("ui16Height", 200); f("fPixelMax", 0.75)
line("    content:\n")
val("globalClipped", lst([10 + k for k in range(4)]))
line("      # regionClipped[vertical][horizontal]\n")
for i in range(7):
    for j in range(7):
        val("regionClipped[%d][%d]" % (i, j), lst([i * 1000 + j * 10 + k for k in range(4)]))

line("\n  Histogram Statistics:\n    config:\n")
d("bGlobalEnable", 1); d("bRegionEnable", 1); f("fInputOffset", 0.5); f("fInputScale", 1.25)
u("ui16Left", 3); u("ui16Top", 4); u("ui16Width", 5); u("ui16Height", 6)
line("    content:\n")
val("globalHistogram", lst([k * k for k in range(64)]))
line("      # regionHistograms[vertical][horizontal]\n")
for i in range(7):
    for j in range(7):
        val("regionHistograms[%d][%d]" % (i, j), lst([i * 100 + j * 20 + k for k in range(16)]))

line("\n  Focus Statistics:\n    config:\n")
d("bGlobalEnable", 0); d("bRegionEnable", 1)
for k, n in enumerate(["ui16Left", "ui16Top", "ui16Width", "ui16Height", "ui16ROILeft", "ui16ROITop",
                       "ui16ROIWidth", "ui16ROIHeight"]):
    d(n, 10 + k)
line("    content:\n")
u("ROISharpness", 4000000000)
line("      # gridSharpness[vertical][horizontal]\n")
for i in range(7):
    for j in range(7):
        u("gridSharpness[%d][%d]" % (i, j), i * 7 + j)

line("\n  White Balance Statistics:\n    config:\n")
u("ui8ActiveROI", 2); f("fRGBOffset", 0.1); f("fYOffset", -0.2)
for k in range(2):
    for n, base in [("aRoiLeft", 1), ("aRoiTop", 3), ("aRoiWidth", 5), ("aRoiHeight", 7), ("aRMax", 9),
                    ("aGMax", 11), ("aBMax", 13), ("aYMax", 15)]:
        u("%s[%d]" % (n, k), base + k)
line("    content:\n")
for k in range(2):
    val("whitePatch[%d].channelAccumulated" % k, lst([100 * k + c for c in range(3)]))
    val("whitePatch[%d].channelCount" % k, lst([200 * k + c for c in range(3)]))
    val("averageColor[%d].channelCount" % k, lst([300 * k + c for c in range(3)]))
    val("highLuminance[%d].channelAccumulated" % k, lst([400 * k + c for c in range(3)]))
    u("highLuminance[%d].lumaCount" % k, 500 + k)

line("\n  Auto White Balance Statistics:\n    config:\n")
d("bEnable", 1); d("bDebugBitmap", 0)
for n, v in [("fLog2_R_Qeff", 0.5), ("fLog2_B_Qeff", -0.5), ("fRedDarkThresh", 0.01), ("fBlueDarkThresh", 0.02),
             ("fGreenDarkThresh", 0.03), ("fRedClipThresh", 0.9), ("fBlueClipThresh", 0.91),
             ("fGreenClipThresh", 0.92), ("fBbDist", 1.5)]:
    f(n, v)
u("ui16GridStartRow", 1); u("ui16GridStartColumn", 2); u("ui16GridTileWidth", 3); u("ui16GridTileHeight", 4)
val("aCurveCoeffX", lst([i * 0.1 for i in range(5)], "%f"))
val("aCurveCoeffY", lst([-i * 0.2 for i in range(5)], "%f"))
val("aCurveOffset", lst([i + 0.5 for i in range(5)], "%f"))
val("aCurveBoundary", lst([i * 2.0 for i in range(5)], "%f"))
line("    content:\n")
line("      # tileStats[vertical][horizontal]\n")
for i in range(7):
    for j in range(7):
        n = "autoWhiteBalanceStats.tileStats[%d][%d]" % (i, j)
        f(n + ".fCollectedRed", i + j * 0.5)
        f(n + ".fCollectedBlue", i * 0.25)
        f(n + ".fCollectedGreen", j * 1.5)
        u(n + ".numCFAs", i * 7 + j)

line("\n  Flicker Detection:\n    config:\n")
d("bEnable", 1); u("ui16VTot", 525); f("fFrameRate", 29.97)
u("ui16CoefDiff", 3); u("ui16NFThreshold", 4); u("ui32SceneChange", 5); u("ui8RShift", 6); u("ui8MinPN", 7)
u("ui8PN", 8); d("bReset", 0)
line("    content:\n")
line("      # status: 4=WAITING, 1=50Hz, 2=60Hz, 0=NO_FLICKER, 3=UNDERTERMINED\n")
d("flickerStatus", 2)

line("\n  Timestamps:\n    content:\n")
for k, n in enumerate(["ui32LinkedListUpdated", "ui32StartFrameIn", "ui32EndFrameIn", "ui32StartFrameOut",
                       "ui32EndFrameEncOut", "ui32EndFrameDispOut", "ui32InterruptServiced"]):
    u(n, k + 1)

line("\n  Defective Pixels:\n    config:\n")
line("      # bitmask of 1=DETECT, 2=WRITE, 4=READ\n")
u("eDPFEnable", 3); u("ui32NDefect", 3)
line("      # pair of coordinate (x, y)\n")
line("      apDefectInput = (1 2) (3 4) (5 6)\n")
u("ui16NbLines", 9); val("aSkip", "(1 2)"); val("aOffset", "(3 4)"); u("ui8Threshold", 10); f("fWeight", 0.5)
line("    content:\n")
u("ui32FixedPixels", 11); u("ui32MapModifications", 12); u("ui32DroppedMapModifications", 13)
u("ui32NOutCorrection", 3)
line("      # tuple of (x, y, data, confidence, status)\n")
# the block holds two of the three entries counted
line("      apDefectOutput = (5 7 291 171 1) (9 2 66 5 0)\n")

line("\n  Encoder Statistics\n    config:\n")
d("bEnable", 1); u("ui32NLines", 16); u("ui32KernelSubsampling", 2)
line("    content:\n")
line("      ui32NOutElements = 2\n")
line("      # pair of (counter, entropy)\n")
line("      apStatsOutput = (1000 2000) (3000 4000)\n")

sys.stdout.write("".join(out))
