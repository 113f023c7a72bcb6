#!/usr/bin/python3
"""Draws the skin bitmaps, the icons and alert.wav into res/.

Run it again after changing a look: /usr/bin/python3 tools/gen_resources.py
Needs python3-pil and fonts-noto-cjk (Debian packages).
"""
import math
import os
import struct
import wave

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.join(HERE, "..", "res")
CJK = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
CJK_BOLD = "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc"

W, H = 530, 319
SEPARATOR = 93
FOOTER_TOP = 288
FRAME = (31, 58, 110)
HEADER_TOP = (255, 255, 255)
HEADER_BOTTOM = (205, 225, 247)
FOOTER = (214, 230, 247)
ACCENT = (40, 90, 170)


def font(size, bold=False, index=2):
    # Index 2 of the Noto CJK collection is the Simplified Chinese face.
    return ImageFont.truetype(CJK_BOLD if bold else CJK, size, index=index)


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def header_colour(y):
    return lerp(HEADER_TOP, HEADER_BOTTOM, max(0, min(1, (y - 1) / (SEPARATOR - 1))))


# The banner's two lines and the big buttons' labels, per language ("" is Chinese, the
# program's own; "en" is drawn beside it as bmpNNN_en.png).
BANNER = {"": ("多个网页  后台实时监控", "页面更新  邮件即时通知"),
          "en": ("Many pages, watched for you", "A change? Told at once")}
LABELS = {"": ("开始", "停止"), "en": ("Start", "Stop")}


def background(lang=""):
    img = Image.new("RGB", (W, H), (255, 255, 255))
    d = ImageDraw.Draw(img)
    for y in range(1, SEPARATOR):
        d.line([(1, y), (W - 2, y)], fill=header_colour(y))
    d.line([(1, SEPARATOR), (W - 2, SEPARATOR)], fill=(120, 150, 200))
    d.rectangle([1, FOOTER_TOP, W - 2, H - 2], fill=FOOTER)
    d.line([(1, FOOTER_TOP), (W - 2, FOOTER_TOP)], fill=(170, 195, 230))
    d.rectangle([0, 0, W - 1, H - 1], outline=FRAME)
    # Title and slogans.
    d.text((12, 4), "HalvexSentrel", font=ImageFont.truetype(
        "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 15), fill=FRAME)
    first, second = BANNER[lang]
    d.text((300, 34), first, font=font(15, True), fill=ACCENT)
    d.text((300, 58), second, font=font(15, True), fill=(60, 120, 70))
    # A small radar mark between the slogans and the buttons.
    cx, cy = 250, 58
    for r, c in ((22, (190, 210, 240)), (15, (160, 190, 235)), (8, (120, 160, 225))):
        d.ellipse([cx - r, cy - r, cx + r, cy + r], outline=c, width=2)
    d.line([(cx, cy), (cx + 16, cy - 14)], fill=ACCENT, width=2)
    d.ellipse([cx - 3, cy - 3, cx + 3, cy + 3], fill=ACCENT)
    return img


BG = background()


def backdrop(x, y, w, h):
    return BG.crop((x, y, x + w, y + h)).copy()


def big_button(x, y, label, kind, state):
    """Start/Stop: flat when normal, framed when active, framed and lighter on hover."""
    w, h = 60, 54
    img = backdrop(x, y, w, h)
    d = ImageDraw.Draw(img)
    if state in ("active", "hover"):
        fill = (255, 255, 255) if state == "hover" else (232, 241, 252)
        d.rounded_rectangle([0, 0, w - 1, h - 1], radius=6, fill=fill,
                            outline=(90, 130, 200) if state == "active" else (130, 165, 220), width=1)
    colour = (40, 150, 70) if kind == "start" else (200, 55, 50)
    if state == "normal":
        colour = lerp(colour, (150, 160, 175), 0.55)
    if state == "hover":
        colour = lerp(colour, (255, 255, 255), 0.15)
    cx, cy = w // 2, 19
    if kind == "start":
        d.polygon([(cx - 8, cy - 11), (cx - 8, cy + 11), (cx + 11, cy)], fill=colour)
    else:
        d.rounded_rectangle([cx - 9, cy - 9, cx + 9, cy + 9], radius=2, fill=colour)
    f = font(14, True)
    tw = d.textlength(label, font=f)
    text_colour = (40, 40, 40) if state != "normal" else (110, 115, 125)
    d.text(((w - tw) / 2, 32), label, font=f, fill=text_colour)
    return img


def caption_button(x, w, glyph, lit):
    h = 17
    img = backdrop(x, 1, w, h)
    d = ImageDraw.Draw(img)
    fg = (70, 90, 120)
    if lit:
        if glyph == "cross":
            d.rectangle([0, 0, w - 1, h - 1], fill=(215, 50, 45))
            fg = (255, 255, 255)
        else:
            d.rectangle([0, 0, w - 1, h - 1], fill=(180, 205, 240), outline=(110, 145, 205))
            fg = (20, 50, 110)
    cx, cy = w // 2, h // 2
    if glyph == "arrow":
        d.polygon([(cx - 5, cy - 2), (cx + 5, cy - 2), (cx, cy + 3)], fill=fg)
    elif glyph == "bar":
        d.rectangle([cx - 5, cy + 2, cx + 5, cy + 3], fill=fg)
    else:
        d.line([(cx - 4, cy - 4), (cx + 4, cy + 4)], fill=fg, width=2)
        d.line([(cx - 4, cy + 4), (cx + 4, cy - 4)], fill=fg, width=2)
    return img


def icon(size, kind):
    """128 application, 155 resting tray icon (blue), 154 blink image (orange alert)."""
    s = size * 4  # drawn large, scaled down smoothly
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    base = (40, 100, 190) if kind != 154 else (235, 110, 20)
    d.ellipse([s * 0.06, s * 0.06, s * 0.94, s * 0.94], fill=base + (255,))
    d.ellipse([s * 0.2, s * 0.2, s * 0.8, s * 0.8], outline=(255, 255, 255, 200), width=max(2, s // 20))
    if kind == 154:
        d.rectangle([s * 0.44, s * 0.24, s * 0.56, s * 0.6], fill=(255, 255, 255, 255))
        d.ellipse([s * 0.44, s * 0.66, s * 0.56, s * 0.78], fill=(255, 255, 255, 255))
    else:
        c = s / 2
        d.line([(c, c), (s * 0.76, s * 0.28)], fill=(255, 255, 255, 255), width=max(3, s // 12))
        d.ellipse([c - s * 0.08, c - s * 0.08, c + s * 0.08, c + s * 0.08], fill=(255, 255, 255, 255))
        if kind == 128:
            d.ellipse([s * 0.62, s * 0.06, s * 0.94, s * 0.38], fill=(60, 190, 90, 255))
    return img.resize((size, size), Image.LANCZOS)


def chime(path):
    rate, dur = 22050, 0.7
    frames = bytearray()
    notes = ((0.0, 880.0), (0.16, 1318.5))
    for i in range(int(rate * dur)):
        t = i / rate
        v = 0.0
        for start, f in notes:
            if t >= start:
                u = t - start
                env = math.exp(-u * 6.0) * min(1.0, u * 200)
                v += env * (math.sin(2 * math.pi * f * u) + 0.25 * math.sin(4 * math.pi * f * u))
        frames += struct.pack("<h", int(max(-1, min(1, v * 0.35)) * 32767))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def main():
    os.makedirs(RES, exist_ok=True)

    def save(img, name):
        img.save(os.path.join(RES, name), optimize=True)

    global BG
    for lang in ("", "en"):
        suffix = "_" + lang if lang else ""
        BG = background(lang)
        save(BG, "bmp129%s.png" % suffix)
        start, stop = LABELS[lang]
        for ident, label, kind, state in (
            (144, start, "start", "normal"), (150, start, "start", "active"), (151, start, "start", "hover"),
            (145, stop, "stop", "normal"), (147, stop, "stop", "active"), (146, stop, "stop", "hover"),
        ):
            save(big_button(20 if kind == "start" else 90, 30, label, kind, state),
                 "bmp%d%s.png" % (ident, suffix))
    BG = background()
    for ident, x, w, glyph, lit in (
        (134, W - 100, 27, "arrow", False), (135, W - 100, 27, "arrow", True),
        (137, W - 73, 27, "bar", False), (136, W - 73, 27, "bar", True),
        (139, W - 46, 35, "cross", False), (140, W - 46, 35, "cross", True),
    ):
        save(caption_button(x, w, glyph, lit), "bmp%d.png" % ident)
    # Unused image numbers of the button range stay drawn so every ID resolves.
    for ident in (138, 141, 142, 143, 148, 149):
        save(caption_button(W - 46, 35, "cross", False) if ident < 144 else
             big_button(20, 30, "", "start", "normal"), "bmp%d.png" % ident)
    for kind in (128, 154, 155):
        for size in (16, 32, 48):
            save(icon(size, kind), "ico%d_%d.png" % (kind, size))
    # Larger application icons for desktops and software centres; installed, not embedded.
    os.makedirs(os.path.join(RES, "icons"), exist_ok=True)
    for size in (128, 256):
        save(icon(size, 128), os.path.join("icons", "sentrel_%d.png" % size))
    chime(os.path.join(RES, "alert.wav"))


if __name__ == "__main__":
    main()
