#!/usr/bin/env python3
"""Draws every picture of the main window into this folder.

Run with Debian's python3 and python3-pil: `python3 app/assets/draw_assets.py`. The output
is committed, so a build never needs this script; run it again after changing a picture.
"""
import math
import os

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
ACCENT = (247, 77, 103)
ACCENT_HOVER = (226, 52, 82)
WHITE = (255, 255, 255)
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SUPER = 4  # drawn this many times larger, then reduced, for smooth edges


def save_jpeg(image, name):
    image.convert("RGB").save(os.path.join(HERE, name), "JPEG", quality=90, optimize=True)


def canvas(width, height, colour):
    return Image.new("RGB", (width * SUPER, height * SUPER), colour)


def reduce(image, width, height):
    return image.resize((width, height), Image.LANCZOS)


def background():
    width, height = 1138, 500
    image = Image.new("RGB", (width, height), WHITE)
    art = Image.new("RGB", (width, height), (255, 238, 242))
    draw = ImageDraw.Draw(art)
    # Soft hills and a sun behind the pink shrimp-like swirl on the right.
    draw.ellipse((780, 40, 1020, 280), fill=(255, 214, 222))
    for index, colour in enumerate([(252, 196, 208), (249, 150, 170), ACCENT]):
        top = 300 + index * 55
        draw.ellipse((520 + index * 90, top, 1400, top + 420), fill=colour)
    for index in range(7):
        radius = 70 - index * 8
        centre_x = 900 - index * 34
        centre_y = 170 + int(math.sin(index / 1.3) * 30)
        draw.ellipse((centre_x - radius, centre_y - radius, centre_x + radius,
                      centre_y + radius), fill=(255, 120, 145), outline=WHITE, width=4)
    art = art.filter(ImageFilter.GaussianBlur(1))
    # Fade to white towards the left, where the controls lie.
    mask = Image.new("L", (width, height), 0)
    for x in range(width):
        value = 0 if x < 480 else min(255, int((x - 480) / 300 * 255))
        ImageDraw.Draw(mask).line((x, 0, x, height), fill=value)
    image.paste(art, (0, 0), mask)
    save_jpeg(image, "background.jpg")


def logo():
    width, height = 200, 190
    image = canvas(width, height, WHITE)
    draw = ImageDraw.Draw(image)
    s = SUPER
    draw.rounded_rectangle((20 * s, 10 * s, 180 * s, 170 * s), radius=40 * s, fill=ACCENT)
    font = ImageFont.truetype(FONT, 92 * s)
    draw.text((100 * s, 86 * s), "皮", font=font, fill=WHITE, anchor="mm")
    small = ImageFont.truetype(FONT, 16 * s)
    draw.text((100 * s, 182 * s), "Tarvo", font=small, fill=ACCENT, anchor="mm")
    save_jpeg(reduce(image, width, height), "logo.jpg")


def dot(name, colour):
    image = canvas(16, 16, WHITE)
    ImageDraw.Draw(image).ellipse((2 * SUPER, 2 * SUPER, 14 * SUPER, 14 * SUPER), fill=colour)
    save_jpeg(reduce(image, 16, 16), name)


def icon(name, symbol, colour=ACCENT):
    image = canvas(30, 30, colour)
    symbol(ImageDraw.Draw(image), SUPER)
    save_jpeg(reduce(image, 30, 30), name)


def link_symbol(draw, s):
    for offset in (0, 7):
        x, y = (7 + offset) * s, (11 + offset) * s
        draw.rounded_rectangle((x - 2 * s, y - 4 * s, x + 9 * s, y + 4 * s), radius=4 * s,
                               outline=WHITE, width=2 * s)


def camera_symbol(draw, s):
    draw.rounded_rectangle((6 * s, 10 * s, 19 * s, 20 * s), radius=2 * s, fill=WHITE)
    draw.polygon([(19 * s, 15 * s), (25 * s, 10 * s), (25 * s, 20 * s)], fill=WHITE)


def person_symbol(draw, s):
    draw.ellipse((11 * s, 6 * s, 19 * s, 14 * s), fill=WHITE)
    draw.pieslice((7 * s, 15 * s, 23 * s, 31 * s), 180, 360, fill=WHITE)


def download_symbol(draw, s):
    draw.rectangle((13 * s, 6 * s, 17 * s, 15 * s), fill=WHITE)
    draw.polygon([(9 * s, 14 * s), (21 * s, 14 * s), (15 * s, 20 * s)], fill=WHITE)
    draw.rectangle((8 * s, 22 * s, 22 * s, 24 * s), fill=WHITE)


def chevron_symbol(draw, s):
    draw.line([(12 * s, 8 * s), (19 * s, 15 * s), (12 * s, 22 * s)], fill=WHITE, width=3 * s,
              joint="curve")


def copy_symbol(draw, s):
    draw.rounded_rectangle((11 * s, 7 * s, 22 * s, 19 * s), radius=2 * s, outline=WHITE,
                           width=2 * s)
    draw.rounded_rectangle((7 * s, 11 * s, 18 * s, 23 * s), radius=2 * s, fill=WHITE)


def rest_button(name, colour):
    width, height = 98, 30
    image = canvas(width, height, WHITE)
    draw = ImageDraw.Draw(image)
    draw.rounded_rectangle((0, 0, width * SUPER - 1, height * SUPER - 1), radius=6 * SUPER,
                           fill=colour)
    font = ImageFont.truetype(FONT, 16 * SUPER)
    draw.text((width * SUPER // 2, height * SUPER // 2), "Rest", font=font, fill=WHITE,
              anchor="mm")
    save_jpeg(reduce(image, width, height), name)


def loading():
    width, height, count = 284, 297, 12
    frames = []
    for frame in range(count):
        image = canvas(width, height, WHITE)
        draw = ImageDraw.Draw(image)
        s = SUPER
        for index in range(count):
            angle = 2 * math.pi * index / count
            # The leading dot is full accent; the ones behind it fade to pale pink.
            age = (frame - index) % count
            fade = min(1.0, age / 8)
            colour = tuple(int(a + (b - a) * fade) for a, b in zip(ACCENT, (252, 222, 228)))
            x = width / 2 + math.sin(angle) * 90
            y = 130 - math.cos(angle) * 90
            radius = 16 if age == 0 else 13
            draw.ellipse(((x - radius) * s, (y - radius) * s, (x + radius) * s,
                          (y + radius) * s), fill=colour)
        font = ImageFont.truetype(FONT, 26 * s)
        draw.text((width * s // 2, 268 * s), "解析中…", font=font, fill=ACCENT, anchor="mm")
        frames.append(reduce(image, width, height).convert("P", palette=Image.ADAPTIVE,
                                                            colors=32))
    frames[0].save(os.path.join(HERE, "loading.gif"), save_all=True, append_images=frames[1:],
                   duration=80, loop=0, optimize=True)


def main():
    background()
    logo()
    dot("exit.jpg", (240, 72, 72))
    dot("about.jpg", (64, 196, 96))
    icon("link.jpg", link_symbol)
    icon("title.jpg", camera_symbol)
    icon("user.jpg", person_symbol)
    icon("download.jpg", download_symbol)
    icon("go.jpg", chevron_symbol)
    icon("go_hover.jpg", chevron_symbol, ACCENT_HOVER)
    icon("copy.jpg", copy_symbol)
    icon("copy_hover.jpg", copy_symbol, ACCENT_HOVER)
    rest_button("rest.jpg", ACCENT)
    rest_button("rest_hover.jpg", ACCENT_HOVER)
    loading()


if __name__ == "__main__":
    main()
