// Test helpers for binary images.
#include "blobs.h"

#include <algorithm> // std::count_if
#include <utility>   // std::pair

namespace testsupport {

int Bitmap::count() const
{
    return static_cast<int>(std::count_if(px.begin(), px.end(), [](uint8_t v) { return v != 0; }));
}

Bitmap random_blob(std::mt19937 &rng, int width, int height, int cells)
{
    Bitmap b(width, height);
    std::vector<std::pair<int, int>> set{{width / 2, height / 2}};
    b.at(width / 2, height / 2) = 1;
    const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
    for (int tries = 0; static_cast<int>(set.size()) < cells && tries < cells * 20; ++tries) {
        auto [x, y] = set[std::uniform_int_distribution<size_t>(0, set.size() - 1)(rng)];
        int d = std::uniform_int_distribution<int>(0, 3)(rng);
        int nx = x + dx[d], ny = y + dy[d];
        if (nx < 0 || ny < 0 || nx >= width || ny >= height || b.at(nx, ny))
            continue;
        b.at(nx, ny) = 1;
        set.push_back({nx, ny});
    }
    return b;
}

Bitmap random_noise(std::mt19937 &rng, int width, int height, double p)
{
    Bitmap b(width, height);
    std::bernoulli_distribution on(p);
    for (auto &v : b.px)
        v = on(rng) ? 1 : 0;
    return b;
}

Bitmap fill_holes(const Bitmap &b)
{
    // Flood the background from a one-pixel frame around the image.
    const int w = b.width + 2, h = b.height + 2;
    std::vector<uint8_t> outside(static_cast<size_t>(w) * h, 0);
    std::vector<std::pair<int, int>> stack{{0, 0}};
    outside[0] = 1;
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                    continue;
                uint8_t &o = outside[static_cast<size_t>(ny) * w + nx];
                if (o || b.in(nx - 1, ny - 1))
                    continue;
                o = 1;
                stack.push_back({nx, ny});
            }
    }
    Bitmap filled(b.width, b.height);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            filled.at(x, y) = outside[static_cast<size_t>(y + 1) * w + x + 1] ? 0 : 1;
    return filled;
}

std::vector<Bitmap> components(const Bitmap &b)
{
    std::vector<Bitmap> out;
    std::vector<int> label(b.px.size(), -1);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            if (!b.in(x, y) || label[static_cast<size_t>(y) * b.width + x] >= 0)
                continue;
            Bitmap c(b.width, b.height);
            std::vector<std::pair<int, int>> stack{{x, y}};
            label[static_cast<size_t>(y) * b.width + x] = static_cast<int>(out.size());
            while (!stack.empty()) {
                auto [cx, cy] = stack.back();
                stack.pop_back();
                c.at(cx, cy) = 1;
                const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
                for (int d = 0; d < 4; ++d) {
                    int nx = cx + dx[d], ny = cy + dy[d];
                    if (!b.in(nx, ny) || label[static_cast<size_t>(ny) * b.width + nx] >= 0)
                        continue;
                    label[static_cast<size_t>(ny) * b.width + nx] = static_cast<int>(out.size());
                    stack.push_back({nx, ny});
                }
            }
            out.push_back(std::move(c));
        }
    return out;
}

// A step in direction d from corner (cx, cy) runs along a boundary edge with
// the region on the walker's left when the left pixel is set and the right one is not.
static bool edge(const Bitmap &b, int cx, int cy, int d)
{
    switch (d) {
    case 0: // up: west pixel on the left
        return b.in(cx - 1, cy - 1) && !b.in(cx, cy - 1);
    case 1: // left: south pixel on the left
        return b.in(cx - 1, cy) && !b.in(cx - 1, cy - 1);
    case 2: // down: east pixel on the left
        return b.in(cx, cy) && !b.in(cx - 1, cy);
    default: // right: north pixel on the left
        return b.in(cx, cy - 1) && !b.in(cx, cy);
    }
}

Outline trace(const Bitmap &b)
{
    Outline o;
    int sx = -1, sy = -1;
    for (int y = 0; y < b.height && sx < 0; ++y)
        for (int x = 0; x < b.width; ++x)
            if (b.in(x, y)) {
                sx = x;
                sy = y;
                break;
            }
    if (sx < 0)
        return o;
    o.x = sx;
    o.y = sy;
    const int dx[] = {0, -1, 0, 1}, dy[] = {-1, 0, 1, 0};
    int cx = sx, cy = sy, d = 2;
    do {
        cx += dx[d];
        cy += dy[d];
        o.digits.push_back(static_cast<char>('0' + d));
        // Turning left first keeps diagonal neighbours apart (4-connectivity).
        const int order[] = {(d + 1) % 4, d, (d + 3) % 4, (d + 2) % 4};
        for (int nd : order)
            if (edge(b, cx, cy, nd)) {
                d = nd;
                break;
            }
    } while (!(cx == sx && cy == sy && d == 2));
    return o;
}

Bitmap from_bytes(const unsigned char *bytes, int width, int height)
{
    Bitmap b(width, height);
    for (size_t i = 0; i < b.px.size(); ++i)
        b.px[i] = bytes[i] ? 1 : 0;
    return b;
}

} // namespace testsupport
