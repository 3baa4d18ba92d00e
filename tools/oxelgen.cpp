// oxelgen: synthetic microscope data, deterministic from a seed.
//
//   oxelgen image WIDTH HEIGHT NUCLEI SEED OUT.jpg
//       one plane of blurred, noisy bright nuclei, some touching
//   oxelgen dataset DIR [TIMES [PLANES [SIZE [SEED]]]]
//       a 4D series DIR/TTT-ZZZ.jpg of nuclei that move, grow and divide,
//       and DIR/lineage.txt with the true lineage
//   oxelgen cells DIR [TIMES [PLANES [SIZE [SEED]]]] [--rims]
//       the same for packed cells that fill the field and touch their
//       neighbours across thin dark seams (filled cells; --rims: bright rims
//       and dimmer insides, as membranes look)
//   oxelgen dense DIR NAME TIMES PLANES SIZE PER_PLANE SEED [IMAGE_TIMES]
//       a ROI file DIR/NAME.roi of exactly PER_PLANE nuclei outlines on every
//       plane, each nucleus five planes deep and drifting a little from one
//       time point to the next, and the images DIR/image/NAME/TTT-ZZZ.jpg of
//       the first IMAGE_TIMES time points (default 1): real-size data
#include "program_info.h"

#include <algorithm> // std::clamp, std::sort
#include <array>
#include <cerrno> // errno
#include <cmath>
#include <cstdio>
#include <cstdlib> // std::atoi
#include <iostream>
#include <jpeglib.h>
#include <random>
#include <string>
#include <sys/stat.h> // mkdir
#include <vector>

namespace
{

struct Nucleus {
    int id;
    int parent;
    int born;
    double x, y, z;    // centre: pixels, pixels, planes
    double vx, vy, vz; // drift per time point
    double r;          // radius in pixels
    double rz;         // half height in planes
    double brightness;
};

// A greyscale canvas that nuclei are added to, then noise, then written.
class Canvas
{
public:
    Canvas(int w, int h, double background)
        : _w(w), _h(h), _v(static_cast<size_t>(w) * h, background)
    {
    }

    // An ellipse with a soft edge (about two pixels wide), as a blurred nucleus looks.
    void add_disc(double cx, double cy, double rx, double ry, double peak)
    {
        const int x0 = std::max(0, static_cast<int>(cx - rx - 4));
        const int x1 = std::min(_w - 1, static_cast<int>(cx + rx + 4));
        const int y0 = std::max(0, static_cast<int>(cy - ry - 4));
        const int y1 = std::min(_h - 1, static_cast<int>(cy + ry + 4));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                double dx = (x - cx) / rx, dy = (y - cy) / ry;
                double d = std::sqrt(dx * dx + dy * dy);
                // Distance from the rim in pixels, negative inside.
                double rim = (d - 1.0) * std::min(rx, ry);
                double v = peak / (1.0 + std::exp(rim * 1.6));
                double &p = _v[static_cast<size_t>(y) * _w + x];
                p = std::max(p, p * 0.3 + v);
            }
    }

    // Replaces every pixel (values row by row, as many as the canvas holds).
    void set(const std::vector<double> &values) { _v = values; }

    void add_noise(std::mt19937 &rng, double sigma)
    {
        std::normal_distribution<double> n(0.0, sigma);
        for (double &p : _v)
            p += n(rng);
    }

    bool write_jpeg(const std::string &path) const
    {
        FILE *f = std::fopen(path.c_str(), "wb");
        if (!f) {
            std::cerr << "oxelgen: cannot write " << path << "\n";
            return false;
        }
        jpeg_compress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, f);
        c.image_width = static_cast<JDIMENSION>(_w);
        c.image_height = static_cast<JDIMENSION>(_h);
        c.input_components = 1;
        c.in_color_space = JCS_GRAYSCALE;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 92, TRUE);
        jpeg_start_compress(&c, TRUE);
        std::vector<JSAMPLE> row(static_cast<size_t>(_w));
        while (c.next_scanline < c.image_height) {
            const double *src = &_v[static_cast<size_t>(c.next_scanline) * _w];
            for (int x = 0; x < _w; ++x)
                row[static_cast<size_t>(x)] =
                    static_cast<JSAMPLE>(std::clamp(std::lround(src[x]), 0L, 255L));
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&c, rows, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        return std::fclose(f) == 0;
    }

private:
    int _w, _h;
    std::vector<double> _v;
};

int make_image(int w, int h, int nuclei, unsigned seed, const std::string &out)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Canvas canvas(w, h, 20.0);
    for (int i = 0; i < nuclei; ++i) {
        double r = 5.0 + 10.0 * u(rng);
        double ecc = 0.75 + 0.5 * u(rng);
        canvas.add_disc(u(rng) * w, u(rng) * h, r * ecc, r / ecc, 130.0 + 110.0 * u(rng));
    }
    canvas.add_noise(rng, 8.0);
    return canvas.write_jpeg(out) ? 0 : 1;
}

std::string three(int n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", n);
    return buf;
}

// Creates dir and any missing folder above it.
bool make_folders(const std::string &dir)
{
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

int make_dataset(const std::string &dir, int times, int planes, int size, unsigned seed)
{
    if (!make_folders(dir)) {
        std::cerr << "oxelgen: cannot create " << dir << "\n";
        return 1;
    }
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Nucleus> alive, all;
    int next_id = 1;
    auto spawn = [&](int parent, int born, double x, double y, double z, double r) {
        Nucleus n{next_id++,
                  parent,
                  born,
                  x,
                  y,
                  z,
                  (u(rng) - 0.5) * 3.0,
                  (u(rng) - 0.5) * 3.0,
                  (u(rng) - 0.5) * 0.3,
                  r,
                  2.5 + 1.5 * u(rng),
                  150.0 + 90.0 * u(rng)};
        alive.push_back(n);
        all.push_back(n);
        return n.id;
    };
    const int start = std::max(4, size * size / 9000);
    for (int i = 0; i < start; ++i)
        spawn(0, 0, 40 + u(rng) * (size - 80), 40 + u(rng) * (size - 80),
              planes * (0.25 + 0.5 * u(rng)), 7.0 + 4.0 * u(rng));

    FILE *lineage = std::fopen((dir + "/lineage.txt").c_str(), "w");
    if (!lineage) {
        std::cerr << "oxelgen: cannot write " << dir << "/lineage.txt\n";
        return 1;
    }
    std::fprintf(lineage, "# t id parent x y z radius\n");
    for (int t = 0; t < times; ++t) {
        for (const Nucleus &n : alive)
            std::fprintf(lineage, "%d %d %d %.1f %.1f %.1f %.1f\n", t, n.id, n.parent, n.x, n.y,
                         n.z, n.r);
        for (int z = 0; z < planes; ++z) {
            Canvas canvas(size, size, 18.0);
            for (const Nucleus &n : alive) {
                double dz = (z - n.z) / n.rz;
                if (std::fabs(dz) >= 1.0)
                    continue;
                double k = std::sqrt(1.0 - dz * dz);
                canvas.add_disc(n.x, n.y, n.r * k, n.r * k * 0.9, n.brightness * (0.6 + 0.4 * k));
            }
            canvas.add_noise(rng, 7.0);
            if (!canvas.write_jpeg(dir + "/" + three(t) + "-" + three(z) + ".jpg"))
                return 1;
        }
        // Move and grow; a nucleus that grew large divides into two daughters.
        std::vector<Nucleus> now;
        now.swap(alive);
        for (Nucleus n : now) {
            n.x = std::clamp(n.x + n.vx, 20.0, size - 20.0);
            n.y = std::clamp(n.y + n.vy, 20.0, size - 20.0);
            n.z = std::clamp(n.z + n.vz, 1.0, planes - 2.0);
            n.r += 0.15 + 0.1 * u(rng);
            if (n.r > 12.0 && u(rng) < 0.3) {
                double a = u(rng) * 6.283185307;
                double d = n.r * 0.9;
                double child_r = n.r * 0.72;
                spawn(n.id, t + 1, n.x + d * std::cos(a), n.y + d * std::sin(a), n.z, child_r);
                spawn(n.id, t + 1, n.x - d * std::cos(a), n.y - d * std::sin(a), n.z, child_r);
            } else {
                alive.push_back(n);
            }
        }
    }
    std::fclose(lineage);
    return 0;
}

// Packed cells: spheres that overlap, each pixel given to the cell of least
// power distance (squared distance minus squared radius) among those whose
// sphere holds it, so neighbours meet along flat walls and the field is full.
// A plane is cell_plane_depth pixels deep.
constexpr double cell_plane_depth = 2.0;

struct Cell {
    int id;
    int parent;
    double x, y, z;    // centre: pixels, pixels, planes
    double vx, vy, vz; // a cell's own motion per time point, beside the tissue's flow
    double r;          // radius in pixels
    double brightness;
    int age, cycle; // time points since birth, and at which it divides
};

// The cell of each pixel of one time point, plane by plane (0: no cell).
class CellLabels
{
public:
    CellLabels(int size, int planes)
        : _size(size), _planes(planes), _label(static_cast<size_t>(size) * size * planes, 0)
    {
    }

    void paint(const std::vector<Cell> &cells)
    {
        std::fill(_label.begin(), _label.end(), 0);
        // Cells by 32-pixel bucket of the field, so each pixel looks at few.
        const int cell_px = 32, buckets = (_size + cell_px - 1) / cell_px;
        for (int z = 0; z < _planes; ++z) {
            std::vector<std::vector<const Cell *>> near(static_cast<size_t>(buckets) * buckets);
            for (const Cell &c : cells) {
                const double dz = (z - c.z) * cell_plane_depth;
                if (std::fabs(dz) >= c.r)
                    continue;
                const double reach = std::sqrt(c.r * c.r - dz * dz);
                const int bx0 = std::max(0, static_cast<int>((c.x - reach) / cell_px));
                const int bx1 = std::min(buckets - 1, static_cast<int>((c.x + reach) / cell_px));
                const int by0 = std::max(0, static_cast<int>((c.y - reach) / cell_px));
                const int by1 = std::min(buckets - 1, static_cast<int>((c.y + reach) / cell_px));
                for (int by = by0; by <= by1; ++by)
                    for (int bx = bx0; bx <= bx1; ++bx)
                        near[static_cast<size_t>(by) * buckets + bx].push_back(&c);
            }
            for (int y = 0; y < _size; ++y)
                for (int x = 0; x < _size; ++x) {
                    const auto &candidates =
                        near[static_cast<size_t>(y / cell_px) * buckets + x / cell_px];
                    double best = 0.0;
                    int id = 0;
                    for (const Cell *c : candidates) {
                        const double dx = x - c->x, dy = y - c->y,
                                     dz = (z - c->z) * cell_plane_depth;
                        const double d2 = dx * dx + dy * dy + dz * dz;
                        if (d2 >= c->r * c->r)
                            continue;
                        const double power = d2 - c->r * c->r;
                        if (id == 0 || power < best) {
                            best = power;
                            id = c->id;
                        }
                    }
                    at(x, y, z) = id;
                }
        }
    }

    int label(int x, int y, int z) const
    {
        if (x < 0 || y < 0 || z < 0 || x >= _size || y >= _size || z >= _planes)
            return -1;
        return _label[(static_cast<size_t>(z) * _size + y) * _size + x];
    }

    // A pixel of a wall between two cells, or between a cell and the empty
    // field: a neighbour in the plane is another cell's (walls two pixels
    // wide), or the one on the plane above is (walls one plane deep).
    bool wall(int x, int y, int z) const
    {
        const int own = label(x, y, z);
        if (own == 0)
            return false;
        for (const std::array<int, 2> &d : {std::array<int, 2>{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
            const int other = label(x + d[0], y + d[1], z);
            if (other != own && other != -1)
                return true;
        }
        const int above = label(x, y, z + 1);
        return above != own && above > 0;
    }

private:
    int &at(int x, int y, int z)
    {
        return _label[(static_cast<size_t>(z) * _size + y) * _size + x];
    }

    int _size, _planes;
    std::vector<int> _label;
};

// One plane of the packed cells as the microscope shows it: cells bright,
// walls and empty field dark; with rims, a bright band inside each wall and
// a dimmer inside.
void draw_cells(const CellLabels &labels, const std::vector<Cell> &cells, int size, int z,
                bool rims, std::mt19937 &rng, Canvas &canvas)
{
    std::vector<double> bright(1, 0.0);
    for (const Cell &c : cells) {
        if (static_cast<size_t>(c.id) >= bright.size())
            bright.resize(static_cast<size_t>(c.id) + 1, 0.0);
        bright[static_cast<size_t>(c.id)] = c.brightness;
    }
    std::vector<unsigned char> wall(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            wall[static_cast<size_t>(y) * size + x] = labels.wall(x, y, z);
    // Distance to the nearest wall in the plane, up to the rim's width.
    const int rim_width = 2;
    auto near_wall = [&](int x, int y) {
        for (int dy = -rim_width; dy <= rim_width; ++dy)
            for (int dx = -rim_width; dx <= rim_width; ++dx) {
                const int px = x + dx, py = y + dy;
                if (px >= 0 && py >= 0 && px < size && py < size &&
                    wall[static_cast<size_t>(py) * size + px])
                    return true;
            }
        return false;
    };
    std::vector<double> v(static_cast<size_t>(size) * size, 18.0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int id = labels.label(x, y, z);
            double &p = v[static_cast<size_t>(y) * size + x];
            if (id <= 0 || wall[static_cast<size_t>(y) * size + x]) {
                p = id <= 0 ? 18.0 : 8.0;
                continue;
            }
            const double b = bright[static_cast<size_t>(id)];
            p = !rims ? b : near_wall(x, y) ? std::min(230.0, b * 1.3) : b * 0.72;
        }
    // A light blur, as the optics give.
    std::vector<double> h(v.size());
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const size_t i = static_cast<size_t>(y) * size + x;
            h[i] = (2 * v[i] + v[x > 0 ? i - 1 : i] + v[x + 1 < size ? i + 1 : i]) / 4;
        }
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const size_t i = static_cast<size_t>(y) * size + x;
            v[i] = (2 * h[i] + h[y > 0 ? i - size : i] + h[y + 1 < size ? i + size : i]) / 4;
        }
    canvas.set(v);
    canvas.add_noise(rng, 6.0);
}

int make_cells(const std::string &dir, int times, int planes, int size, unsigned seed, bool rims)
{
    if (!make_folders(dir)) {
        std::cerr << "oxelgen: cannot create " << dir << "\n";
        return 1;
    }
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> n(0.0, 1.0);
    const double spacing = 22.0, depth = planes * cell_plane_depth;
    std::vector<Cell> alive;
    int next_id = 1;
    auto clamp_cell = [&](Cell &c) {
        c.x = std::clamp(c.x, 2.0, size - 3.0);
        c.y = std::clamp(c.y, 2.0, size - 3.0);
        c.z = std::clamp(c.z, 0.5, planes - 1.5);
    };
    // A jittered lattice whose spheres overlap enough to leave no gap.
    for (double z = spacing / 2; z < depth; z += spacing)
        for (double y = spacing / 2; y < size; y += spacing)
            for (double x = spacing / 2; x < size; x += spacing) {
                Cell c{next_id++,
                       0,
                       x + (u(rng) - 0.5) * spacing * 0.4,
                       y + (u(rng) - 0.5) * spacing * 0.4,
                       (z + (u(rng) - 0.5) * spacing * 0.4) / cell_plane_depth,
                       0.3 * n(rng),
                       0.3 * n(rng),
                       0.05 * n(rng),
                       spacing * (0.9 + 0.2 * u(rng)),
                       140.0 + 60.0 * u(rng),
                       0,
                       30 + static_cast<int>(u(rng) * 30)};
                c.age = static_cast<int>(u(rng) * c.cycle);
                clamp_cell(c);
                alive.push_back(c);
            }

    FILE *lineage = std::fopen((dir + "/lineage.txt").c_str(), "w");
    if (!lineage) {
        std::cerr << "oxelgen: cannot write " << dir << "/lineage.txt\n";
        return 1;
    }
    std::fprintf(lineage, "# t id parent x y z radius\n");
    std::fprintf(lineage,
                 "# packed cells: a plane is %.0f px deep; a pixel belongs to the cell of "
                 "least squared distance minus squared radius\n",
                 cell_plane_depth);
    CellLabels labels(size, planes);
    for (int t = 0; t < times; ++t) {
        for (const Cell &c : alive)
            std::fprintf(lineage, "%d %d %d %.1f %.1f %.1f %.1f\n", t, c.id, c.parent, c.x, c.y,
                         c.z, c.r);
        labels.paint(alive);
        for (int z = 0; z < planes; ++z) {
            Canvas canvas(size, size, 18.0);
            draw_cells(labels, alive, size, z, rims, rng, canvas);
            if (!canvas.write_jpeg(dir + "/" + three(t) + "-" + three(z) + ".jpg")) {
                std::fclose(lineage);
                return 1;
            }
        }
        // Move with the tissue, whose flow turns slowly and fades towards the
        // edges of the field, plus a little motion of each cell's own (kept
        // in part from step to step); grow so that the volume doubles over
        // a cycle, and divide at the end of it.
        const double pi = 3.14159265358979, phase = 0.05 * t;
        std::vector<Cell> now;
        now.swap(alive);
        for (Cell c : now) {
            c.vx = 0.7 * c.vx + 0.2 * n(rng);
            c.vy = 0.7 * c.vy + 0.2 * n(rng);
            c.vz = 0.7 * c.vz + 0.03 * n(rng);
            const double fx =
                1.5 * std::sin(2 * pi * c.y / size + phase) * std::sin(pi * c.x / size);
            const double fy =
                1.5 * std::cos(2 * pi * c.x / size + phase) * std::sin(pi * c.y / size);
            c.x += fx + c.vx;
            c.y += fy + c.vy;
            c.z += c.vz;
            clamp_cell(c);
            c.r *= std::pow(2.0, 1.0 / (3.0 * c.cycle));
            if (++c.age < c.cycle) {
                alive.push_back(c);
                continue;
            }
            // Daughters side by side in the plane, along a random direction.
            const double a = u(rng) * 6.283185307, d = c.r * 0.45;
            for (int side : {1, -1}) {
                Cell daughter = c;
                daughter.id = next_id++;
                daughter.parent = c.id;
                daughter.x = c.x + side * d * std::cos(a);
                daughter.y = c.y + side * d * std::sin(a);
                daughter.vx = c.vx + side * 0.3 * std::cos(a);
                daughter.vy = c.vy + side * 0.3 * std::sin(a);
                daughter.r = c.r / std::cbrt(2.0);
                daughter.age = 0;
                daughter.cycle = 30 + static_cast<int>(u(rng) * 30);
                daughter.brightness = std::clamp(c.brightness + 10.0 * n(rng), 130.0, 200.0);
                clamp_cell(daughter);
                alive.push_back(daughter);
            }
        }
    }
    std::fclose(lineage);
    return 0;
}

// The outline of a pixel region as the detector traces it: from the top-left
// corner of its first pixel in row order, down first, the region on the left.
template <class Inside> std::string trace(int x0, int y0, Inside inside)
{
    static const int step_x[4] = {0, -1, 0, 1}, step_y[4] = {-1, 0, 1, 0};
    std::string digits;
    int cx = x0, cy = y0, d = 2;
    do {
        // The pixels ahead of the corner, on the left and on the right of the walk.
        int lx, ly, rx, ry;
        switch (d) {
        case 2: lx = cx, ly = cy, rx = cx - 1, ry = cy; break;
        case 3: lx = cx, ly = cy - 1, rx = cx, ry = cy; break;
        case 0: lx = cx - 1, ly = cy - 1, rx = cx, ry = cy - 1; break;
        default: lx = cx - 1, ly = cy, rx = cx - 1, ry = cy - 1; break;
        }
        const bool left = inside(lx, ly), right = inside(rx, ry);
        if (left && !right) {
            digits.push_back(static_cast<char>('0' + d));
            cx += step_x[d];
            cy += step_y[d];
        } else if (!left) {
            d = (d + 1) % 4;
        } else {
            d = (d + 3) % 4;
        }
    } while (cx != x0 || cy != y0 || d != 2 || digits.empty());
    return digits;
}

struct DenseRoi {
    int x, y, z, t;
    std::string outline;
};

// Nuclei in a grid of PER_PLANE cells; each cell holds a column of nuclei
// five planes deep, one above the other, so every plane has one outline per
// cell. Neighbours in a column sit apart, so they stay separate units.
int make_dense(const std::string &dir, const std::string &name, int times, int planes, int size,
               int per_plane, unsigned seed, int image_times)
{
    const std::string image_dir = dir + "/image/" + name;
    if (!make_folders(dir) || (image_times > 0 && !make_folders(image_dir))) {
        std::cerr << "oxelgen: cannot create " << dir << "\n";
        return 1;
    }
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const int grid = static_cast<int>(std::ceil(std::sqrt(double(per_plane))));
    const double cell = double(size) / grid;
    const double r_max = std::min(15.0, cell * 0.3);
    struct Column {
        double x, y, r;
        int z0, z1;
    };
    std::vector<Column> nuclei;
    for (int c = 0; c < per_plane; ++c) {
        const double cx = (c % grid + 0.5) * cell, cy = (c / grid + 0.5) * cell;
        for (int z0 = 0, k = 0; z0 < planes; z0 += 5, ++k) {
            const double r = r_max * (0.6 + 0.4 * u(rng));
            const double side = (k % 2 ? 1.0 : -1.0) * std::min(r * 0.8, cell * 0.15);
            nuclei.push_back({cx + side + (u(rng) - 0.5) * cell * 0.1,
                              cy + (u(rng) - 0.5) * cell * 0.1, r, z0, std::min(planes, z0 + 5) - 1});
        }
    }
    std::vector<DenseRoi> rois;
    rois.reserve(static_cast<size_t>(times) * planes * per_plane);
    // A nucleus is widest in its middle plane.
    const auto radius_at = [](const Column &n, int z) {
        const double dz = (z - (n.z0 + n.z1) / 2.0) / 3.0;
        return n.r * std::sqrt(std::max(0.5, 1.0 - dz * dz));
    };
    for (int t = 0; t < times; ++t) {
        for (const Column &n : nuclei)
            for (int z = n.z0; z <= n.z1; ++z) {
                const double r = radius_at(n, z);
                const auto inside = [&](int px, int py) {
                    const double ex = px + 0.5 - n.x, ey = py + 0.5 - n.y;
                    return px >= 0 && py >= 0 && px < size && py < size &&
                           ex * ex + ey * ey <= r * r;
                };
                // The first pixel in row order: the top row's leftmost.
                int first = -1, top = static_cast<int>(std::floor(n.y - r)) - 1;
                while (first < 0 && top <= n.y + r) {
                    ++top;
                    for (int px = static_cast<int>(std::floor(n.x - r)) - 1;
                         px <= n.x + r + 1 && first < 0; ++px)
                        if (inside(px, top))
                            first = px;
                }
                if (first >= 0)
                    rois.push_back({first, top, z, t, trace(first, top, inside)});
            }
        for (int z = 0; t < image_times && z < planes; ++z) {
            Canvas image(size, size, 18.0);
            for (const Column &n : nuclei)
                if (z >= n.z0 && z <= n.z1)
                    image.add_disc(n.x, n.y, radius_at(n, z), radius_at(n, z), 200.0);
            if (!image.write_jpeg(image_dir + "/" + three(t) + "-" + three(z) + ".jpg"))
                return 1;
        }
        for (Column &n : nuclei) {
            n.x = std::clamp(n.x + (u(rng) - 0.5) * 3.0, n.r + 2, size - n.r - 2);
            n.y = std::clamp(n.y + (u(rng) - 0.5) * 3.0, n.r + 2, size - n.r - 2);
        }
    }
    // In the database's order (t, x, y, z), as the browser writes its files.
    std::sort(rois.begin(), rois.end(), [](const DenseRoi &a, const DenseRoi &b) {
        if (a.t != b.t)
            return a.t < b.t;
        if (a.x != b.x)
            return a.x < b.x;
        if (a.y != b.y)
            return a.y < b.y;
        return a.z < b.z;
    });
    FILE *out = std::fopen((dir + "/" + name + ".roi").c_str(), "w");
    if (!out) {
        std::cerr << "oxelgen: cannot write " << dir << "/" << name << ".roi\n";
        return 1;
    }
    std::fprintf(out, "%s\n", name.c_str());
    for (const DenseRoi &r : rois)
        std::fprintf(out, "%d %d %d %d %s\n", r.x, r.y, r.z, r.t, r.outline.c_str());
    return std::fclose(out) == 0 ? 0 : 1;
}

const char usage_text[] = "usage: oxelgen image WIDTH HEIGHT NUCLEI SEED OUT.jpg\n"
                          "       oxelgen dataset DIR [TIMES [PLANES [SIZE [SEED]]]]\n"
                          "       oxelgen cells DIR [TIMES [PLANES [SIZE [SEED]]]] [--rims]\n"
                          "       oxelgen dense DIR NAME TIMES PLANES SIZE PER_PLANE SEED [IMAGE_TIMES]\n";

int usage()
{
    std::cerr << usage_text;
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (oxel_program_info(argc, argv, "oxelgen", usage_text))
        return 0;
    if (argc < 2)
        return usage();
    std::string mode = argv[1];
    if (mode == "image" && argc == 7) {
        int w = std::atoi(argv[2]), h = std::atoi(argv[3]), n = std::atoi(argv[4]);
        if (w <= 0 || h <= 0 || n < 0)
            return usage();
        return make_image(w, h, n, static_cast<unsigned>(std::atoi(argv[5])), argv[6]);
    }
    if (mode == "dataset" && argc >= 3 && argc <= 7) {
        int times = argc > 3 ? std::atoi(argv[3]) : 40;
        int planes = argc > 4 ? std::atoi(argv[4]) : 30;
        int size = argc > 5 ? std::atoi(argv[5]) : 512;
        unsigned seed = argc > 6 ? static_cast<unsigned>(std::atoi(argv[6])) : 1;
        if (times <= 0 || times > 999 || planes <= 0 || planes > 999 || size < 64 || size > 8192)
            return usage();
        return make_dataset(argv[2], times, planes, size, seed);
    }
    if (mode == "dense" && (argc == 9 || argc == 10)) {
        const int times = std::atoi(argv[4]), planes = std::atoi(argv[5]);
        const int size = std::atoi(argv[6]), per_plane = std::atoi(argv[7]);
        const unsigned seed = static_cast<unsigned>(std::atoi(argv[8]));
        const int image_times = argc == 10 ? std::atoi(argv[9]) : 1;
        if (times <= 0 || times > 999 || planes <= 0 || planes > 999 || size < 64 ||
            size > 16384 || per_plane <= 0 || per_plane > 1000000 || image_times < 0)
            return usage();
        return make_dense(argv[2], argv[3], times, planes, size, per_plane, seed, image_times);
    }
    if (mode == "cells" && argc >= 3) {
        std::vector<std::string> args(argv + 2, argv + argc);
        bool rims = false;
        if (args.back() == "--rims") {
            rims = true;
            args.pop_back();
        }
        if (args.empty() || args.size() > 5)
            return usage();
        int times = args.size() > 1 ? std::atoi(args[1].c_str()) : 30;
        int planes = args.size() > 2 ? std::atoi(args[2].c_str()) : 64;
        int size = args.size() > 3 ? std::atoi(args[3].c_str()) : 256;
        unsigned seed = args.size() > 4 ? static_cast<unsigned>(std::atoi(args[4].c_str())) : 1;
        if (times <= 0 || times > 999 || planes < 8 || planes > 999 || size < 64 || size > 999)
            return usage();
        return make_cells(args[0], times, planes, size, seed, rims);
    }
    return usage();
}
