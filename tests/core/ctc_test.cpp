// The interchange format: label images, tracing pieces, export, import, the
// format's rules, on hand-built and generated curations.
#include "OXEL_roiimg"
#include "blobs.h"
#include "ctc_export.h"
#include "ctc_folder.h"
#include "ctc_import.h"
#include "curation_fixture.h"
#include "keygen.h"
#include "label_tiff.h"
#include "piece_tracer.h"
#include "roi_pixels.h"
#include "roidb_plus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional> // std::function
#include <map>
#include <random>
#include <sstream>
#include <tiffio.h>

namespace
{

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Label images given as text: one string per row, one character per pixel,
// '0' the background and '1' to '9' labels; one list of rows per plane.
using plane_rows = std::vector<std::string>;

void write_mask(const std::string &path, const std::vector<plane_rows> &planes)
{
    const int w = static_cast<int>(planes[0][0].size()), h = static_cast<int>(planes[0].size());
    std::string error;
    ASSERT_TRUE(label_tiff::write(
        path, w, h, static_cast<int>(planes.size()),
        [&](int z, uint16_t *page) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    page[y * w + x] = static_cast<uint16_t>(planes[z][y][x] - '0');
        },
        label_tiff::compression::deflate, error))
        << error;
}

// The label at (x, y) of plane z of a folder's label image.
uint32_t label_at(const std::string &path, int x, int y, int z)
{
    label_tiff::stack s;
    std::string error;
    EXPECT_TRUE(label_tiff::read(path, s, error)) << error;
    return s.page(z)[y * s.width + x];
}

std::vector<std::string> problems_of(const std::string &dir)
{
    std::vector<std::string> problems;
    std::string error;
    EXPECT_TRUE(ctc::validate(dir, problems, error)) << error;
    return problems;
}

} // namespace

using fixture::curation;
using fixture::key;
using fixture::rect;

TEST(LabelTiff, PagesReadBackAsWrittenWithEachCompression)
{
    QTemporaryDir dir;
    for (auto how : {label_tiff::compression::none, label_tiff::compression::packbits,
                     label_tiff::compression::deflate, label_tiff::compression::lzw}) {
        const std::string path = dir.path().toStdString() + "/stack.tif";
        std::string error;
        // 300 x 1000 pixels make several strips a page.
        ASSERT_TRUE(label_tiff::write(
            path, 300, 1000, 3,
            [](int z, uint16_t *page) {
                for (int i = 0; i < 300 * 1000; ++i)
                    page[i] = static_cast<uint16_t>((i * 7 + z * 65000) % 65536);
            },
            how, error))
            << error;
        label_tiff::stack s;
        ASSERT_TRUE(label_tiff::read(path, s, error)) << error;
        ASSERT_EQ(s.width, 300);
        ASSERT_EQ(s.height, 1000);
        ASSERT_EQ(s.pages, 3);
        for (int z = 0; z < 3; ++z)
            for (int i = 0; i < 300 * 1000; i += 997)
                ASSERT_EQ(s.page(z)[i], static_cast<uint32_t>((i * 7 + z * 65000) % 65536));
    }
}

TEST(LabelTiff, StripsOfBackgroundRowsReadBackAsBackground)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/sparse.tif";
    const int w = 100, h = 1010; // strips of 40 rows, the last of 10
    for (auto how : {label_tiff::compression::none, label_tiff::compression::packbits,
                     label_tiff::compression::deflate, label_tiff::compression::lzw}) {
        label_tiff::writer out;
        std::string error;
        ASSERT_TRUE(out.open(path, w, h, 3, how, error)) << error;
        std::vector<uint16_t> page(w * h);
        std::vector<unsigned char> used(h, 0);
        for (int p = 0; p < 3; ++p) {
            std::fill(page.begin(), page.end(), 0);
            std::fill(used.begin(), used.end(), 0);
            // Page 0 only background, page 1 a label in the first strip,
            // page 2 one in the last.
            const int row = p == 1 ? 5 : 1005;
            if (p > 0) {
                page[row * w + 7] = static_cast<uint16_t>(300 + p);
                used[row] = 1;
            }
            ASSERT_TRUE(out.write_page(page.data(), error, &used)) << error;
        }
        ASSERT_TRUE(out.close(error)) << error;
        label_tiff::stack s;
        ASSERT_TRUE(label_tiff::read(path, s, error)) << error;
        ASSERT_EQ(s.pages, 3);
        for (int p = 0; p < 3; ++p) {
            size_t set = 0;
            for (int i = 0; i < w * h; ++i)
                set += s.page(p)[i] != 0;
            EXPECT_EQ(set, p == 0 ? 0u : 1u);
        }
        EXPECT_EQ(s.page(1)[5 * w + 7], 301u);
        EXPECT_EQ(s.page(2)[1005 * w + 7], 302u);
    }
}

TEST(LabelTiff, EightAndThirtyTwoBitLabelsAreRead)
{
    QTemporaryDir dir;
    for (int bits : {8, 32}) {
        const std::string path = dir.path().toStdString() + "/other.tif";
        TIFF *tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4u);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2u);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2u);
        uint8_t small[8] = {0, 1, 2, 3, 4, 5, 6, 255};
        uint32_t big[8] = {0, 1, 2, 3, 4, 5, 6, 100000};
        if (bits == 8)
            TIFFWriteEncodedStrip(tif, 0, small, sizeof small);
        else
            TIFFWriteEncodedStrip(tif, 0, big, sizeof big);
        TIFFClose(tif);
        label_tiff::stack s;
        std::string error;
        ASSERT_TRUE(label_tiff::read(path, s, error)) << error;
        EXPECT_EQ(s.page(0)[7], bits == 8 ? 255u : 100000u);
        EXPECT_EQ(s.page(0)[5], 5u);
    }
}

TEST(LabelTiff, FilesThatAreNotLabelImagesAreRefused)
{
    QTemporaryDir dir;
    const std::string text = dir.path().toStdString() + "/text.tif";
    std::ofstream(text) << "not an image\n";
    label_tiff::stack s;
    std::string error;
    EXPECT_FALSE(label_tiff::read(text, s, error));
    EXPECT_FALSE(error.empty());

    error.clear();
    EXPECT_FALSE(label_tiff::read(dir.path().toStdString() + "/absent.tif", s, error));
    EXPECT_FALSE(error.empty());

    // A colour page.
    const std::string rgb = dir.path().toStdString() + "/rgb.tif";
    TIFF *tif = TIFFOpen(rgb.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 1u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    uint8_t px[3] = {1, 2, 3};
    TIFFWriteEncodedStrip(tif, 0, px, 3);
    TIFFClose(tif);
    error.clear();
    EXPECT_FALSE(label_tiff::read(rgb, s, error));
    EXPECT_NE(error.find("not a label image"), std::string::npos) << error;
}

TEST(PieceTracer, TracesEachFourConnectedPieceAsAnIndependentTracerDoes)
{
    std::mt19937 rng(11);
    piece_tracer tracer;
    std::vector<traced_piece> pieces;
    for (int round = 0; round < 30; ++round) {
        const int w = 5 + static_cast<int>(rng() % 40), h = 5 + static_cast<int>(rng() % 40);
        testsupport::Bitmap b = testsupport::random_noise(rng, w, h, 0.45);
        tracer.trace(b.px.data(), w, h, pieces);
        std::vector<testsupport::Bitmap> parts = testsupport::components(b);
        ASSERT_EQ(pieces.size(), parts.size());
        for (size_t k = 0; k < parts.size(); ++k) {
            testsupport::Outline o = testsupport::trace(parts[k]);
            EXPECT_EQ(pieces[k].x, o.x);
            EXPECT_EQ(pieces[k].y, o.y);
            EXPECT_EQ(pieces[k].outline, o.digits);
            EXPECT_EQ(pieces[k].pixels, static_cast<size_t>(parts[k].count()));
        }
    }
    tracer.trace(nullptr, 0, 0, pieces);
    EXPECT_TRUE(pieces.empty());
}

TEST(RoiPixels, AgreesWithTheLibraryRaster)
{
    std::mt19937 rng(5);
    roi_pixels px;
    for (int round = 0; round < 50; ++round) {
        testsupport::Bitmap b =
            testsupport::fill_holes(testsupport::random_blob(rng, 30, 30, 20 + round * 5));
        testsupport::Outline o = testsupport::trace(b);
        roi r(o.x + 100, o.y + 50, 2, 3, o.digits);
        px.make(r);
        roiimg ref(r);
        ref.map();
        ASSERT_EQ(px.left(), ref.top_left().x());
        ASSERT_EQ(px.top(), ref.top_left().y());
        ASSERT_EQ(px.width(), ref.width());
        ASSERT_EQ(px.height(), ref.height());
        ASSERT_EQ(px.size(), static_cast<size_t>(ref.size()));
        ASSERT_EQ(px.size(), static_cast<size_t>(b.count()));
        for (int y = 0; y < px.height(); ++y)
            for (int x = 0; x < px.width(); ++x)
                ASSERT_EQ(px.row(y)[x] != 0, ref.value(x, y) != 0);
    }
}

TEST(CtcExport, TracksFollowChainsAndStartAtDivisions)
{
    curation c;
    const std::string a = c.unit(0, 10, 10, 1, 2);
    const std::string b = c.unit(1, 11, 10, 1, 2);
    const std::string x = c.unit(1, 30, 10, 1, 1);
    const std::string d = c.unit(2, 12, 10, 1, 2); // mother: two children
    const std::string h = c.unit(2, 30, 20, 2, 1); // two parents, b and x
    const std::string e = c.unit(3, 10, 4, 1, 1);
    const std::string f = c.unit(3, 14, 16, 1, 1);
    const std::string g = c.unit(4, 14, 17, 1, 1);
    c.link(b, a);
    c.link(d, b);
    c.link(h, x);
    c.link(h, b);
    c.link(e, d);
    c.link(f, d);
    c.link(g, f);
    c.link(g, f);                              // a link entered twice is one edge
    c.db.entry_plus(rect(40, 40, 2, 2, 0, 1)); // in no unit
    c.db.entry_plus(rect(36, 36, 2, 2, 0, 1)); // a false positive
    QTemporaryDir dir;
    const std::string out_dir = dir.path().toStdString() + "/res";
    std::ostringstream out, err;
    ctc::export_summary s;
    ASSERT_TRUE(c.export_to(out_dir, out, err, {}, {key(1, 0, 36, 36)}, &s)) << err.str();

    // Labels in key order of the heads beginning the tracks; b has two
    // children (d, and h through its first parent), so both begin tracks.
    EXPECT_EQ(slurp(out_dir + "/res_track.txt"), "1 0 1 0\n"   // a, b
                                                 "2 1 1 0\n"   // the ROI in no unit
                                                 "3 1 1 0\n"   // x
                                                 "4 2 2 1\n"   // d, b's daughter
                                                 "5 2 2 1\n"   // h: first parent b
                                                 "6 3 3 4\n"   // e, d's daughter
                                                 "7 3 4 4\n"); // f, g
    EXPECT_EQ(s.units, 8u);
    EXPECT_EQ(s.lone_rois, 1u);
    EXPECT_EQ(s.tracks, 7u);
    EXPECT_EQ(s.multi_parent, 1u);
    EXPECT_EQ(s.left_out_rois, 1u);
    EXPECT_EQ(s.time_points, 5);
    EXPECT_EQ(s.planes, 3);
    EXPECT_EQ(s.width, 42); // the extent of the ROIs written
    EXPECT_EQ(s.height, 42);
    EXPECT_EQ(err.str(), "Unit " + h + " has 2 parents (" + b + " " + x +
                             "); written with its first parent " + b +
                             "\n1 unit with more than one parent was written with the first "
                             "parent\n");
    EXPECT_NE(out.str().find("Exported 9 objects (8 units, 1 ROIs of no unit) in 7 tracks"),
              std::string::npos)
        << out.str();

    EXPECT_EQ(label_at(out_dir + "/mask001.tif", 11, 10, 2), 1u); // b's second plane
    EXPECT_EQ(label_at(out_dir + "/mask001.tif", 11, 10, 0), 0u);
    EXPECT_EQ(label_at(out_dir + "/mask001.tif", 41, 41, 0), 2u);
    EXPECT_EQ(label_at(out_dir + "/mask001.tif", 36, 36, 0), 0u) << "the false positive";
    EXPECT_EQ(label_at(out_dir + "/mask004.tif", 17, 19, 1), 7u);
    EXPECT_TRUE(problems_of(out_dir).empty());
    EXPECT_FALSE(QDir(QString::fromStdString(out_dir))
                     .entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot)
                     .join(" ")
                     .contains(".export"));
}

TEST(CtcExport, TheSizeComesFromTheDatasetsImagesOrIsGiven)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/image";
    QDir().mkpath(QString::fromStdString(root + "/cur"));
    // Only the header matters: a start-of-frame of 8 bits, 77 rows, 120 columns.
    const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00,
                                    0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x4D, 0x00,
                                    0x78, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9};
    for (int z = 0; z < 4; ++z) {
        std::ofstream img(root + "/cur/002-00" + std::to_string(z) + ".jpg", std::ios::binary);
        img.write(reinterpret_cast<const char *>(header), sizeof header);
    }
    int w = 0, h = 0;
    EXPECT_TRUE(ctc::jpeg_size(root + "/cur/002-000.jpg", w, h));
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 77);

    curation c;
    c.unit(2, 10, 10, 0, 2);
    ctc::export_options opt;
    opt.image_root = root;
    std::ostringstream out, err;
    ctc::export_summary s;
    ASSERT_TRUE(c.export_to(dir.path().toStdString() + "/a", out, err, opt, {}, &s)) << err.str();
    EXPECT_EQ(s.width, 120);
    EXPECT_EQ(s.height, 77);
    EXPECT_EQ(s.planes, 4) << "every plane of the images, not only those with ROIs";
    EXPECT_EQ(s.time_points, 3);

    // A given size wins; a ROI reaching outside it is cut and reported.
    opt.width = 12;
    opt.height = 40;
    ASSERT_TRUE(c.export_to(dir.path().toStdString() + "/b", out, err, opt, {}, &s)) << err.str();
    EXPECT_EQ(s.width, 12);
    EXPECT_EQ(s.clipped_rois, 2u);
    EXPECT_NE(err.str().find("2 ROIs reach outside the 12 x 40 label images and were cut"),
              std::string::npos);
    EXPECT_FALSE(ctc::jpeg_size(dir.path().toStdString() + "/b/res_track.txt", w, h));
}

TEST(CtcExport, AFolderThatWouldBreakTheRulesReplacesNothing)
{
    // The unit's only ROI lies under a larger ROI of no unit that comes later
    // in key order (its top row starts further right) and keeps the pixels:
    // the unit's label would be missing.
    curation c;
    c.db.entry_plus(rect(10, 11, 2, 2, 0, 0));
    c.lin.head_members.emplace(key(0, 0, 10, 11), key(0, 0, 10, 11));
    c.lin.members_head[key(0, 0, 10, 11)] = key(0, 0, 10, 11);
    testsupport::Bitmap big(6, 5);
    big.at(2, 0) = 1;
    for (int y = 1; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            big.at(x, y) = 1;
    const testsupport::Outline o = testsupport::trace(big);
    c.db.entry_plus(roi(9 + o.x, 9 + o.y, 0, 0, o.digits));
    QTemporaryDir dir;
    const std::string out_dir = dir.path().toStdString() + "/res";
    QDir().mkpath(QString::fromStdString(out_dir));
    std::ofstream(out_dir + "/res_track.txt") << "old\n";
    std::ostringstream out, err;
    EXPECT_FALSE(c.export_to(out_dir, out, err));
    EXPECT_EQ(err.str(), "label 1 (0 to 0) is missing from time point 0\nExport to " + out_dir +
                             " breaks the format's rules (1 fault); nothing was replaced\n");
    EXPECT_EQ(slurp(out_dir + "/res_track.txt"), "old\n");
    EXPECT_EQ(QDir(QString::fromStdString(out_dir))
                  .entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"res_track.txt"});
    EXPECT_EQ(out.str(), "");
}

TEST(CtcExport, LabelImagesOfALongerEarlierExportAreRemoved)
{
    curation c;
    c.unit(0, 10, 10, 0, 1);
    c.unit(3, 10, 10, 0, 1);
    QTemporaryDir dir;
    const std::string out_dir = dir.path().toStdString() + "/res";
    std::ostringstream out, err;
    ASSERT_TRUE(c.export_to(out_dir, out, err));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(out_dir + "/mask003.tif")));
    std::ofstream(out_dir + "/notes.txt") << "mine\n";

    curation shorter;
    shorter.unit(0, 10, 10, 0, 1);
    ASSERT_TRUE(shorter.export_to(out_dir, out, err)) << err.str();
    EXPECT_EQ(QDir(QString::fromStdString(out_dir))
                  .entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{"mask000.tif", "notes.txt", "res_track.txt"}));
    EXPECT_TRUE(problems_of(out_dir).empty());
}

// Every file of a folder, hidden ones too, with its bytes.
static std::map<std::string, std::string> files_of(const std::string &dir)
{
    std::map<std::string, std::string> files;
    const QDir d(QString::fromStdString(dir));
    for (const QString &name : d.entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot))
        files[name.toStdString()] = slurp(dir + "/" + name.toStdString());
    return files;
}

// An export tells how far it got page by page, up to every page; stopped at
// its first page, midway or at its last, it leaves an earlier export as it
// was, removes a folder it made, and says nothing.
TEST(CtcExport, ProgressCountsPagesAndAStopLeavesTheFolderAsItWas)
{
    curation c = fixture::generated(3, 4);
    QTemporaryDir dir;
    const std::string out_dir = dir.path().toStdString() + "/res";
    std::vector<std::pair<size_t, size_t>> seen;
    ctc::export_options opt;
    opt.keep_going = [&seen](size_t done, size_t total) {
        seen.emplace_back(done, total);
        return true;
    };
    ctc::export_summary summary;
    std::ostringstream out, err;
    ASSERT_TRUE(c.export_to(out_dir, out, err, opt, {}, &summary)) << err.str();
    const size_t pages = static_cast<size_t>(summary.time_points) * summary.planes;
    ASSERT_GE(pages, 8u);
    ASSERT_EQ(seen.size(), pages);
    for (size_t i = 0; i < pages; ++i)
        EXPECT_EQ(seen[i], std::make_pair(i + 1, pages));
    const std::map<std::string, std::string> before = files_of(out_dir);

    const std::vector<std::pair<const char *, std::function<bool(size_t, size_t)>>> stops = {
        {"at the first page", [](size_t, size_t) { return false; }},
        {"midway", [](size_t done, size_t total) { return done < total / 2; }},
        {"at the last page", [](size_t done, size_t total) { return done < total; }},
    };
    for (const auto &[when, stop] : stops) {
        SCOPED_TRACE(when);
        curation again = fixture::generated(4, 6); // longer, so every file would change
        opt.keep_going = stop;
        std::ostringstream out2, err2;
        EXPECT_FALSE(again.export_to(out_dir, out2, err2, opt));
        EXPECT_EQ(files_of(out_dir), before) << "no file changed, none added";
        const std::string fresh = dir.path().toStdString() + "/fresh";
        EXPECT_FALSE(again.export_to(fresh, out2, err2, opt));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(fresh)));
        EXPECT_EQ(out2.str() + err2.str(), "");
    }
}

TEST(CtcExport, MoreTracksThanSixteenBitLabelsIsRefused)
{
    curation c;
    for (int i = 0; i < 65536; ++i)
        c.db.entry_plus(rect(i % 256 * 3, i / 256 * 3, 1, 1, 0, 0));
    QTemporaryDir dir;
    std::ostringstream out, err;
    EXPECT_FALSE(c.export_to(dir.path().toStdString() + "/res", out, err));
    EXPECT_EQ(err.str(), "Cannot export 65536 tracks: the label images hold at most 65535\n");
    EXPECT_FALSE(QFile::exists(dir.path() + "/res"));
}

TEST(CtcRoundTrip, ExportThenImportGivesBackTheRoisUnitsAndLinks)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        curation c = fixture::generated(seed, 8);
        QTemporaryDir dir;
        const std::string out_dir = dir.path().toStdString() + "/res";
        std::ostringstream out, err;
        ctc::export_summary s;
        ASSERT_TRUE(c.export_to(out_dir, out, err, {}, {}, &s)) << err.str();
        EXPECT_EQ(err.str(), "");
        EXPECT_GT(s.tracks, 4u) << "the generated lineage divides";

        roidb_plus db("cur");
        lineage_file::contents lin;
        ctc::import_summary is;
        ASSERT_TRUE(ctc::import_folder(out_dir, db, lin, err, &is));
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(is.problems, 0u);
        const fixture::meaning want = fixture::meaning_of(c.db, c.lin),
                               got = fixture::meaning_of(db, lin);
        EXPECT_EQ(got.rois, want.rois) << "seed " << seed;
        EXPECT_EQ(got.units, want.units) << "seed " << seed;
        EXPECT_EQ(got.links, want.links) << "seed " << seed;
        // Heads were the smallest member keys: the tables themselves agree.
        EXPECT_EQ(lin.head_members, c.lin.head_members);
        EXPECT_EQ(lin.members_head, c.lin.members_head);
    }
}

TEST(CtcImport, ALabelInPiecesGivesSeveralRoisOfOneUnit)
{
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    const plane_rows u_shape = {"0000000", "0011100", "0010100", "0000000"};
    write_mask(d + "/mask000.tif", {{"0110011", "0110011", "0000000", "0000220"}, u_shape});
    write_mask(d + "/mask001.tif", {{"0000000", "0033300", "0000000", "0000000"},
                                    {"0000000", "0000000", "0000000", "0000000"}});
    std::ofstream(d + "/res_track.txt") << "1 0 0 0\n2 0 0 0\n3 1 1 1\n";
    roidb_plus db("x");
    lineage_file::contents lin;
    std::ostringstream err;
    ctc::import_summary s;
    ASSERT_TRUE(ctc::import_folder(d, db, lin, err, &s));
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(s.rois, 5u);
    EXPECT_EQ(s.units, 3u);
    const std::string head1 = key(0, 0, 1, 0);
    EXPECT_EQ(lineage::members(lin.head_members, head1),
              (lineage::key_set{head1, key(0, 0, 5, 0), key(0, 1, 2, 1)}));
    testsupport::Bitmap u(7, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x)
            u.at(x, y) = u_shape[y][x] == '1';
    EXPECT_EQ(db.find_plus(key(0, 1, 2, 1)).outline(), testsupport::trace(u).digits);
    EXPECT_EQ(lineage::members(lin.head_members, key(0, 0, 4, 3)),
              (lineage::key_set{key(0, 0, 4, 3)}));
    EXPECT_EQ(lin.linkage, (lineage::key_multimap{{key(1, 0, 2, 1), head1}}));
}

TEST(CtcImport, AParentEndingEarlierGivesNoLinkAndSaysSo)
{
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    write_mask(d + "/mask000.tif", {{"10", "00"}});
    write_mask(d + "/mask001.tif", {{"00", "00"}});
    write_mask(d + "/mask002.tif", {{"00", "02"}});
    std::ofstream(d + "/res_track.txt") << "1 0 0 0\n2 2 2 1\n";
    EXPECT_TRUE(problems_of(d).empty()) << "a gap before a daughter is within the rules";
    roidb_plus db("x");
    lineage_file::contents lin;
    std::ostringstream err;
    ctc::import_summary s;
    ASSERT_TRUE(ctc::import_folder(d, db, lin, err, &s));
    EXPECT_EQ(s.units, 2u);
    EXPECT_EQ(s.skipped_links, 1u);
    EXPECT_TRUE(lin.linkage.empty());
    EXPECT_EQ(err.str(), "label 2 begins at 2, not one time point after its parent 1 ends at 0: "
                         "the lineage has no link for it\n");
}

TEST(CtcImport, FoldersThatCannotBeReadChangeNothing)
{
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    roidb_plus db("x");
    lineage_file::contents lin;
    std::ostringstream err;
    EXPECT_FALSE(ctc::import_folder(d, db, lin, err));
    EXPECT_EQ(err.str(), d + " holds neither res_track.txt nor man_track.txt\n");

    std::ofstream(d + "/res_track.txt") << "1 0 0 0\n";
    std::ofstream(d + "/mask000.tif") << "broken";
    err.str("");
    EXPECT_FALSE(ctc::import_folder(d, db, lin, err));
    EXPECT_NE(err.str().find("Cannot import " + d), std::string::npos);
    EXPECT_EQ(db.count(), 0u);
    EXPECT_TRUE(lin.head_members.empty());
}

TEST(CtcValidate, AValidFolderHasNoFaultsAndAReferenceFolderIsFound)
{
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    write_mask(d + "/man_track000.tif", {{"10", "00"}});
    write_mask(d + "/man_track001.tif", {{"23", "00"}});
    std::ofstream(d + "/man_track.txt") << "1 0 0 0\n2 1 1 1\n3 1 1 1\n";
    EXPECT_TRUE(problems_of(d).empty());
}

TEST(CtcValidate, EachRuleIsCheckedOnItsOwn)
{
    struct broken {
        const char *table;
        std::vector<std::vector<plane_rows>> masks; // per time point
        std::vector<std::string> want;
    };
    const std::vector<broken> cases = {
        {"1 0 2 0\n",
         {{{"1"}}, {{"0"}}, {{"1"}}},
         {"label 1 (0 to 2) is missing from time point 1"}},
        {"1 0 0 0\n",
         {{{"1"}}, {{"1"}}, {{"1"}}},
         {"label 1 (0 to 0) is also in 2 time points, the first 1"}},
        {"1 0 0 0\n", {{{"12"}}}, {"label 2 is not in res_track.txt but in time point 0"}},
        {"1 0 1 0\n2 1 1 1\n",
         {{{"10"}}, {{"12"}}},
         {"label 2: parent 1 ends at 1, not before 2 begins at 1"}},
        {"1 0 0 0\n1 1 1 0\n", {{{"1"}}, {{"0"}}}, {"label 1 is listed twice in res_track.txt"}},
        {"1 0 0 0\n2 1 1 7\n", {{{"1"}}, {{"2"}}}, {"label 2: parent 7 is not in res_track.txt"}},
        {"1 0 0 0\n1 0\n", {{{"1"}}}, {"res_track.txt line 2: not four numbers L B E P"}},
        {"1 0 0 0\n0 0 0 0\n", {{{"1"}}}, {"res_track.txt line 2: label 0 is the background"}},
        {"1 0 0 0\n2 3 1 0\n",
         {{{"1"}}},
         {"res_track.txt line 2: label 2 ends at 1 before it begins at 3"}},
    };
    for (const broken &b : cases) {
        QTemporaryDir dir;
        const std::string d = dir.path().toStdString();
        for (size_t t = 0; t < b.masks.size(); ++t)
            write_mask(d + "/" + ctc::mask_name(static_cast<int>(t)), b.masks[t]);
        std::ofstream(d + "/res_track.txt") << b.table;
        EXPECT_EQ(problems_of(d), b.want) << b.table;
    }
}
