#include "tools/render/gallery.h"

#include "effects/catalogue.h"
#include "picture/fit.h"
#include "tools/render/stills.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace mirel {

namespace {

struct TFamily {
    const char* Name;
    int Ranges[6][2]; // inclusive; unused rows are {0, 0}
};

const TFamily Families[] = {
    {"Edge and corner sweeps", {{1, 57}}},
    {"Curved and circular reveals", {{58, 59}, {69, 70}, {80, 85}}},
    {"Bars and criss-cross", {{60, 64}, {71, 75}, {86, 99}}},
    {"Uneven shreds", {{65, 68}, {76, 79}, {100, 109}}},
    {"Diagonals and sweeps", {{110, 117}, {143, 144}}},
    {"Fade, pivot and speckle", {{118, 127}}},
    {"Pushes", {{128, 135}}},
    {"Blinds and rotating shapes", {{136, 142}, {145, 150}}},
};

std::string Base64(const std::string& data)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (size_t i = 0; i < data.size(); i += 3) {
        const uint32_t a = uint8_t(data[i]), b = i + 1 < data.size() ? uint8_t(data[i + 1]) : 0,
                       c = i + 2 < data.size() ? uint8_t(data[i + 2]) : 0;
        const uint32_t v = a << 16 | b << 8 | c;
        out += table[v >> 18 & 63];
        out += table[v >> 12 & 63];
        out += i + 1 < data.size() ? table[v >> 6 & 63] : '=';
        out += i + 2 < data.size() ? table[v & 63] : '=';
    }
    return out;
}

std::string Escape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Slug(std::string_view name)
{
    std::string out;
    for (const char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += char(std::tolower(static_cast<unsigned char>(c)));
        else if (!out.empty() && out.back() != '-')
            out += '-';
    return out;
}

constexpr const char* PageHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>mirel-render: transition styles</title>
<style>
body { background: #1b1b1b; color: #e8e8e8; font: 14px/1.4 sans-serif; margin: 16px; }
h1 { font-size: 20px; margin: 0 0 8px; }
nav { display: flex; flex-wrap: wrap; gap: 6px; margin: 8px 0; align-items: center; }
nav button { background: #333; color: inherit; border: 1px solid #555; border-radius: 4px; padding: 4px 10px;
  cursor: pointer; font: inherit; }
nav button[aria-pressed="true"] { background: #4a6fa5; border-color: #6d93cc; }
nav input { background: #222; color: inherit; border: 1px solid #555; border-radius: 4px; padding: 4px 8px; }
main { display: grid; grid-template-columns: repeat(auto-fill, minmax(172px, 1fr)); gap: 10px; }
figure { margin: 0; background: #262626; padding: 6px; border-radius: 4px; }
figure img { display: block; width: 100%; height: auto; image-rendering: auto; }
figcaption { font-size: 12px; margin-top: 4px; }
figcaption b { color: #9cc3ff; }
figure[hidden] { display: none; }
</style>
</head>
<body>
<h1>Transition styles</h1>
<p>Each preview plays the style from the old picture to the new one. Give the number or the name to
<code>--style</code>.</p>
<nav id="families"><button type="button" data-family="" aria-pressed="true">All</button>
)";

constexpr const char* PageTail = R"(</main>
<script>
"use strict";
const figures = Array.from(document.querySelectorAll("main figure"));
const buttons = Array.from(document.querySelectorAll("#families button"));
const search = document.getElementById("search");
const status = document.getElementById("status");
let family = "";
function update() {
  const words = search.value.trim().toLowerCase();
  let shown = 0;
  for (const f of figures) {
    const visible = (family === "" || f.dataset.family === family) &&
      (words === "" || f.dataset.name.includes(words) || f.dataset.style === words);
    f.hidden = !visible;
    if (visible) shown++;
  }
  const decoded = figures.filter(f => { const i = f.querySelector("img"); return i.complete && i.naturalWidth > 0; });
  status.textContent = shown + " of " + figures.length + " styles shown, " + decoded.length + " previews decoded";
}
function choose(name) {
  const chosen = buttons.find(b => b.dataset.family === name) || buttons[0];
  family = chosen.dataset.family;
  for (const b of buttons) b.setAttribute("aria-pressed", String(b === chosen));
  update();
}
for (const b of buttons) {
  b.addEventListener("click", () => {
    history.replaceState(null, "", b.dataset.family ? "#" + b.dataset.family : location.pathname);
    choose(b.dataset.family);
  });
}
search.addEventListener("input", update);
window.addEventListener("load", update);
window.addEventListener("hashchange", () => choose(location.hash.slice(1)));
// A link may name a family: index.html#pushes.
choose(location.hash.slice(1));
</script>
</body>
</html>
)";

} // namespace

const char* StyleFamily(int style)
{
    for (const TFamily& family : Families)
        for (const auto& range : family.Ranges)
            if (range[0] && style >= range[0] && style <= range[1])
                return family.Name;
    return "";
}

void WriteGallery(const TBitmap& old, const TBitmap& image, const TGalleryOptions& options)
{
    std::string folder = options.Folder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
        if (mkdir(folder.c_str(), 0777) != 0)
            throw std::runtime_error(folder + ": cannot create the folder: " + std::strerror(errno));
    } else if (!S_ISDIR(st.st_mode)) {
        throw std::runtime_error(folder + ": not a folder");
    }
    TPendingFile page(folder + "/index.html", options.Overwrite);

    const int32_t w = 160, h = std::max<int32_t>(1, int32_t(int64_t{160} * image.Height() / std::max(1, image.Width())));
    TBitmap cellOld, cellNew;
    FitPicture(old, w, h, TFitMode::Stretch, cellOld);
    FitPicture(image, w, h, TFitMode::Stretch, cellNew);
    const int64_t holdFrames = std::max<int64_t>(1, std::llround(options.Hold * options.Rate.Num / options.Rate.Den));

    std::string html = PageHead;
    for (const TFamily& family : Families)
        html += std::string("<button type=\"button\" data-family=\"") + Slug(family.Name) + "\">" +
                Escape(family.Name) + "</button>\n";
    html += "<input id=\"search\" type=\"search\" placeholder=\"name or number\" aria-label=\"Filter by name or "
            "number\">\n<span id=\"status\" role=\"status\"></span>\n</nav>\n<main>\n";
    const std::vector<int32_t> values =
        TransitionProgress(TransitionFrames(DefaultTransitionSeconds(options.Step), options.Rate), false);
    TProgressBar bar("gallery", MaxShowStyle);
    for (int style = 1; style <= MaxShowStyle; ++style) {
        CheckInterrupted();
        TWebPAnimator animator(w, h, options.Rate, page.Final());
        PlayTransition(cellOld, cellNew, style, options.Step, values, [&](const TBitmap& frame, size_t i) {
            animator.Add(frame, i == 0 || i + 1 == values.size() ? holdFrames : 1);
        });
        const std::string name = Escape(StyleName(style));
        std::string lowerName(StyleName(style));
        std::transform(lowerName.begin(), lowerName.end(), lowerName.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        html += "<figure data-style=\"" + std::to_string(style) + "\" data-family=\"" + Slug(StyleFamily(style)) +
                "\" data-name=\"" + Escape(lowerName) + "\"><img width=\"" + std::to_string(w) + "\" height=\"" +
                std::to_string(h) + "\" alt=\"" + name + "\" src=\"data:image/webp;base64," +
                Base64(animator.Assemble()) + "\"><figcaption><b>" + std::to_string(style) + "</b> " + name +
                "</figcaption></figure>\n";
        bar.Advance();
    }
    html += PageTail;
    const int fd = page.TakeFd();
    std::FILE* file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        throw std::runtime_error(page.Final() + ": cannot write");
    }
    const bool ok = std::fwrite(html.data(), 1, html.size(), file) == html.size();
    if (std::fclose(file) != 0 || !ok)
        throw std::runtime_error(page.Final() + ": cannot write: " + std::strerror(errno));
    page.Commit();
}

} // namespace mirel
