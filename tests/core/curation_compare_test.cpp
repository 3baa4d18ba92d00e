// Measures of a candidate curation against a reference, on cases whose
// values are worked out by hand from the measures' definitions.
#include "curation_compare.h"

#include "curation_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using fixture::curation;
using fixture::key;
using fixture::rect;

namespace
{

curation_compare::result compare(curation &reference, curation &candidate)
{
    return curation_compare::compare(
        {reference.db, reference.lin.members_head, reference.lin.linkage},
        {candidate.db, candidate.lin.members_head, candidate.lin.linkage});
}

// A one-ROI unit: a 4 x 3 rectangle at (x, y) on plane 0.
std::string cell(curation &c, int t, int x, int y)
{
    return c.unit(t, x, y, 0, 1);
}

} // namespace

TEST(CurationCompare, ACurationAgainstItselfScoresOne)
{
    curation reference = fixture::generated(4, 8);
    curation candidate = fixture::generated(4, 8);
    const auto r = compare(reference, candidate);
    EXPECT_EQ(r.matched_rois, r.reference_rois);
    EXPECT_EQ(r.missed_rois, 0u);
    EXPECT_EQ(r.extra_rois, 0u);
    EXPECT_EQ(r.purity, 1.0);
    EXPECT_EQ(r.completeness, 1.0);
    EXPECT_EQ(r.exact_units, r.reference_units);
    EXPECT_GT(r.reference_links, 0u);
    EXPECT_EQ(r.found_links, r.reference_links);
    EXPECT_EQ(r.correct_links, r.candidate_links);
    EXPECT_GT(r.reference_divisions, 0u);
    EXPECT_EQ(r.found_divisions, r.reference_divisions);
    EXPECT_EQ(r.correct_divisions, r.candidate_divisions);
    const auto &g = r.graph;
    EXPECT_EQ(g.ns + g.fn + g.fp + g.ed + g.ea + g.ec, 0u);
    EXPECT_EQ(g.det, 1.0);
    EXPECT_EQ(g.tra, 1.0);
}

TEST(CurationCompare, AnEmptyCandidateScoresZero)
{
    curation reference = fixture::generated(5, 6);
    curation candidate;
    const auto r = compare(reference, candidate);
    EXPECT_EQ(r.matched_rois, 0u);
    EXPECT_EQ(r.missed_rois, r.reference_rois);
    EXPECT_EQ(r.graph.fn, r.reference_units);
    EXPECT_EQ(r.graph.ea, r.graph.reference_edges);
    EXPECT_EQ(r.graph.det, 0.0);
    EXPECT_EQ(r.graph.tra, 0.0);
    EXPECT_EQ(r.found_links, 0u);
    EXPECT_EQ(r.reference_links, 0u) << "no reference link has matched ends";
}

TEST(CurationCompare, AMissingMiddleObjectCostsAVertexAndTwoLinks)
{
    // Reference a → b → c; the candidate has a and c only, unlinked.
    curation reference, candidate;
    const std::string a = cell(reference, 0, 10, 10), b = cell(reference, 1, 10, 10),
                      c = cell(reference, 2, 10, 10);
    reference.link(b, a);
    reference.link(c, b);
    cell(candidate, 0, 10, 10);
    cell(candidate, 2, 10, 10);
    const auto r = compare(reference, candidate);
    const auto &g = r.graph;
    EXPECT_EQ(g.fn, 1u);
    EXPECT_EQ(g.ea, 2u);
    EXPECT_EQ(g.ns + g.fp + g.ed + g.ec, 0u);
    // AOGM 10 + 2 x 1.5 = 13 against 3 x 10 + 2 x 1.5 = 33; DET 1 - 10/30.
    EXPECT_DOUBLE_EQ(g.tra, 1.0 - 13.0 / 33.0);
    EXPECT_DOUBLE_EQ(g.det, 2.0 / 3.0);
    EXPECT_EQ(r.matched_rois, 2u);
    EXPECT_EQ(r.missed_rois, 1u);
    EXPECT_EQ(r.reference_links, 0u);
}

TEST(CurationCompare, SistersMergedIntoOneObjectNeedASplit)
{
    // Reference p divides into a and b side by side; the candidate has one
    // object covering both, continuing p.
    curation reference, candidate;
    const std::string p = cell(reference, 0, 10, 10);
    const std::string a = cell(reference, 1, 10, 10), b = cell(reference, 1, 14, 10);
    reference.link(a, p);
    reference.link(b, p);
    const std::string p2 = cell(candidate, 0, 10, 10);
    const std::string ab = candidate.unit(1, 10, 10, 0, 1, 8, 3);
    candidate.link(ab, p2);
    const auto r = compare(reference, candidate);
    const auto &g = r.graph;
    EXPECT_EQ(g.ns, 1u);
    EXPECT_EQ(g.ec, 1u) << "a division's link carried over as a continuation";
    EXPECT_EQ(g.ea, 1u) << "the second daughter's link";
    EXPECT_EQ(g.fn + g.fp + g.ed, 0u);
    // AOGM 5 + 1.5 + 1 = 7.5 against 33; DET 1 - 5/30.
    EXPECT_DOUBLE_EQ(g.tra, 1.0 - 7.5 / 33.0);
    EXPECT_DOUBLE_EQ(g.det, 1.0 - 5.0 / 30.0);

    EXPECT_EQ(r.matched_rois, 3u);
    EXPECT_DOUBLE_EQ(r.purity, 2.0 / 3.0);
    EXPECT_EQ(r.completeness, 1.0);
    EXPECT_EQ(r.exact_units, 1u) << "only p";
    EXPECT_EQ(r.reference_divisions, 1u);
    EXPECT_EQ(r.found_divisions, 0u);
    EXPECT_EQ(r.candidate_divisions, 0u);
}

TEST(CurationCompare, AnExtraObjectCostsAVertexItsLinkAndTheLinksKind)
{
    // Reference p → a; the candidate also links an object x, found nowhere
    // in the reference, to p, which makes p → a a division's link.
    curation reference, candidate;
    const std::string p = cell(reference, 0, 10, 10), a = cell(reference, 1, 10, 10);
    reference.link(a, p);
    const std::string p2 = cell(candidate, 0, 10, 10), a2 = cell(candidate, 1, 10, 10);
    const std::string x = cell(candidate, 1, 40, 40);
    candidate.link(a2, p2);
    candidate.link(x, p2);
    const auto r = compare(reference, candidate);
    const auto &g = r.graph;
    EXPECT_EQ(g.fp, 1u);
    EXPECT_EQ(g.ed, 1u);
    EXPECT_EQ(g.ec, 1u);
    EXPECT_EQ(g.ns + g.fn + g.ea, 0u);
    // AOGM 1 + 1 + 1 = 3 against 2 x 10 + 1.5 = 21.5; DET 1 - 1/20.
    EXPECT_DOUBLE_EQ(g.tra, 1.0 - 3.0 / 21.5);
    EXPECT_DOUBLE_EQ(g.det, 0.95);
    EXPECT_EQ(r.extra_rois, 1u);
    EXPECT_EQ(r.candidate_links, 1u) << "the link to x has an unmatched end";
    EXPECT_EQ(r.correct_links, 1u);
    EXPECT_EQ(r.candidate_divisions, 1u);
    EXPECT_EQ(r.correct_divisions, 0u);
}

TEST(CurationCompare, AUnitCutInTwoIsPureButIncomplete)
{
    // A reference unit of three planes; the candidate makes two units of it.
    curation reference, candidate;
    reference.unit(0, 10, 10, 0, 3);
    candidate.unit(0, 10, 10, 0, 2);
    candidate.unit(0, 10, 10, 2, 1);
    const auto r = compare(reference, candidate);
    EXPECT_EQ(r.matched_rois, 3u);
    EXPECT_EQ(r.purity, 1.0);
    EXPECT_DOUBLE_EQ(r.completeness, 2.0 / 3.0);
    EXPECT_EQ(r.exact_units, 0u);
    EXPECT_EQ(r.graph.fp, 1u) << "the one-plane unit covers a third of the object";
    EXPECT_EQ(r.graph.fn, 0u);
    EXPECT_DOUBLE_EQ(r.graph.det, 0.9);
}

TEST(CurationCompare, AMatchNeedsMoreThanHalfOfTheReferencePixels)
{
    // A reference ROI of 4 x 4 = 16 pixels; candidates covering 8 and 9 of them.
    curation reference, candidate;
    reference.db.entry_plus(rect(10, 10, 4, 4, 0, 0));
    reference.db.entry_plus(rect(30, 10, 4, 4, 0, 0));
    candidate.db.entry_plus(rect(10, 12, 4, 2, 0, 0)); // 8: half
    candidate.db.entry_plus(rect(30, 10, 3, 3, 0, 0)); // 9
    const auto r = compare(reference, candidate);
    EXPECT_EQ(r.matched_rois, 1u);
    EXPECT_EQ(r.missed_rois, 1u);
    EXPECT_EQ(r.extra_rois, 1u);
    EXPECT_EQ(r.graph.fn, 1u);
    EXPECT_EQ(r.graph.fp, 1u);
}

TEST(CurationCompare, AnEmptyReferenceHasNoScore)
{
    curation reference, candidate;
    cell(candidate, 0, 1, 1);
    const auto r = compare(reference, candidate);
    EXPECT_TRUE(std::isnan(r.graph.det));
    EXPECT_TRUE(std::isnan(r.graph.tra));
    std::ostringstream out;
    curation_compare::print(r, out);
    EXPECT_NE(out.str().find("DET                             n/a  NS 0, FN 0, FP 1\n"),
              std::string::npos)
        << out.str();
}

TEST(CurationCompare, TheTableNamesEveryMeasure)
{
    curation reference, candidate;
    const std::string p = cell(reference, 0, 10, 10), a = cell(reference, 1, 10, 10);
    reference.link(a, p);
    cell(candidate, 0, 10, 10);
    std::ostringstream out;
    curation_compare::print(compare(reference, candidate), out);
    EXPECT_EQ(out.str(),
              "Detection  matched                1  of 2 reference ROIs\n"
              "           missed                 1\n"
              "           extra                  0  of 1 candidate ROIs\n"
              "Units      purity            1.0000\n"
              "           completeness      0.5000  over 2 reference and 1 candidate units\n"
              "           exact                  1  of 2 reference units\n"
              "Links      precision            n/a  0 of 0 between matched units\n"
              "           recall               n/a  0 of 0\n"
              "Divisions  precision            n/a  0 of 0\n"
              "           recall               n/a  0 of 0\n"
              "DET                          0.5000  NS 0, FN 1, FP 0\n"
              "TRA                          0.4651  ED 0, EA 1, EC 0\n");
}
