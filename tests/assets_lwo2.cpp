// assets_lwo2.cpp -- the LWO2 reader on hand-built files: framing, geometry, surface dump
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "assets_fixtures.h"
#include "lwo2.h"
#include "wholefile.h"

namespace {

// An object read from bytes, with everything the reader printed while reading it.
struct Loaded {
    std::unique_ptr<LwoObject> object;
    std::string output;  // standard output: the dumps
    std::string errors;  // standard error: the failures
    std::string path;
};

Loaded load(const Bytes &b, const std::string &name = "fixture.lwo") {
    Loaded l;
    l.path = writeFile(tempPath(name), b);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    l.object.reset(new LwoObject(l.path.c_str()));
    fflush(stdout);
    l.errors = testing::internal::GetCapturedStderr();
    l.output = testing::internal::GetCapturedStdout();
    return l;
}

Bytes fixture(const std::string &name) {
    for (auto &f : lwoFixtures())
        if (f.first == name)
            return f.second;
    ADD_FAILURE() << "no fixture " << name;
    return Bytes();
}

// The list walked both ways agrees with the count, and points with pointCount.
void expectConsistent(const LwoObject &o) {
    int forward = 0;
    const LwoPolygon *last = nullptr;
    for (const LwoPolygon *p = o.polygons; p; p = p->next) {
        EXPECT_EQ(p->prev, last);
        last = p;
        forward++;
        ASSERT_GE(p->vertexCount, 0);
        ASSERT_LE(p->vertexCount, 1023);
    }
    EXPECT_EQ(forward, o.polygonCount);
    EXPECT_EQ(o.points == nullptr, o.pointCount == 0);
}

void expectEmpty(const LwoObject &o) {
    EXPECT_EQ(o.pointCount, 0u);
    EXPECT_EQ(o.points, nullptr);
    EXPECT_EQ(o.polygonCount, 0);
    EXPECT_EQ(o.polygons, nullptr);
}

std::vector<int> vertices(const LwoPolygon *p) {
    return std::vector<int>(p->vertices, p->vertices + p->vertexCount);
}

const std::vector<float> tri = {0, 0, 0, 1, 0, 0, 0, 1, 0};

}  // namespace

// ------------------------------------------------------------------ framing

TEST(Lwo2Header, RefusesWhatIsNotAnLwo2Form) {
    Loaded notForm = load(fixture("not_form.lwo"), "not_form.lwo");
    expectEmpty(*notForm.object);
    EXPECT_FALSE(notForm.object->read(notForm.path.c_str()));
    EXPECT_EQ(notForm.errors, notForm.path + ": not an LWO2 object (no FORM header)\n");

    Loaded lwob = load(fixture("lwob.lwo"), "lwob.lwo");
    expectEmpty(*lwob.object);
    EXPECT_EQ(lwob.errors, lwob.path + ": not an LWO2 object (form type LWOB)\n");
    // a form type is four bytes from the file, printed as text
    Loaded odd = load(form(Bytes(), "L\x1b[2"), "odd.lwo");
    EXPECT_EQ(odd.errors, odd.path + ": not an LWO2 object (form type L\\x1b[2)\n");
}

TEST(Lwo2Header, EmptyFormIsAnEmptyObject) {
    Loaded l = load(fixture("empty_form.lwo"));
    expectEmpty(*l.object);
    EXPECT_EQ(l.output, "");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(l.object->read(l.path.c_str()));
    testing::internal::GetCapturedStdout();
}

TEST(Lwo2Header, MissingFileNamesTheFileOnce) {
    testing::internal::CaptureStderr();
    LwoObject o("no/such/dir/missile.lwo");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no/such/dir/missile.lwo: No such file or directory\n");
    expectEmpty(o);
}

TEST(Lwo2Header, DirectoryEmptyAndOversizedFilesLeaveEmptyObjects) {
    Loaded empty = load(Bytes(), "empty.lwo");
    expectEmpty(*empty.object);
    EXPECT_NE(empty.errors.find("empty.lwo"), std::string::npos);

    testing::internal::CaptureStderr();
    LwoObject dir(testing::TempDir().c_str());
    EXPECT_NE(testing::internal::GetCapturedStderr().find(": a folder, not a file"), std::string::npos);
    expectEmpty(dir);

    // a file one byte over the cap (sparse: it takes no disk) is refused on its size
    std::string huge = writeFile(tempPath("huge.lwo"), fixture("empty_form.lwo"));
    ASSERT_EQ(truncate(huge.c_str(), WHOLE_FILE_LIMIT + 1), 0);
    testing::internal::CaptureStderr();
    LwoObject big(huge.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), huge + ": file too large (268435457 bytes)\n");
    expectEmpty(big);
}

// ------------------------------------------------------------------ geometry chunks

TEST(Lwo2Points, LengthsOf36And40BothGiveThreePoints) {
    for (const char *name : {"pnts36.lwo", "pnts40.lwo"}) {
        Loaded l = load(fixture(name));
        ASSERT_EQ(l.object->pointCount, 3u) << name;
        EXPECT_EQ(l.object->points[1].x, 1.0f);
        EXPECT_EQ(l.object->points[2].y, 1.0f);
        EXPECT_EQ(l.object->points[2].z, 0.0f);
        EXPECT_EQ(l.output, "");
    }
}

TEST(Lwo2Polygons, CountWordKeepsTheLowTenBits) {
    Loaded l = load(fixture("count_word_0403.lwo"));
    ASSERT_EQ(l.object->polygonCount, 1);
    EXPECT_EQ(vertices(l.object->polygons), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(l.output, "");
}

TEST(Lwo2Polygons, IndicesInTwoAndFourBytes) {
    Loaded l = load(fixture("vx_two_four.lwo"));
    ASSERT_EQ(l.object->polygonCount, 1);
    EXPECT_EQ(vertices(l.object->polygons), (std::vector<int>{258, 0x010203, 0}));
    EXPECT_EQ(l.output, "");  // 2 + 4 + 2 bytes after the count word add up
}

TEST(Lwo2Polygons, PatchesReadLikeFaces) {
    Loaded l = load(fixture("ptch.lwo"));
    ASSERT_EQ(l.object->polygonCount, 2);
    EXPECT_EQ(vertices(l.object->polygons->next), (std::vector<int>{2, 1, 0}));
    expectConsistent(*l.object);
}

TEST(Lwo2Polygons, TwoLayersKeepTheSecond) {
    Loaded l = load(fixture("two_layers.lwo"));
    const LwoObject &o = *l.object;
    ASSERT_EQ(o.pointCount, 4u);
    EXPECT_EQ(o.points[3].z, 2.0f);
    ASSERT_EQ(o.polygonCount, 2);
    EXPECT_EQ(vertices(o.polygons), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(vertices(o.polygons->next), (std::vector<int>{0, 2, 3}));
    expectConsistent(o);
    EXPECT_EQ(l.output, "");
}

TEST(Lwo2Polygons, EmptyChunkKeepsTheEarlierListAndItsCount) {
    Loaded l = load(form(pointsChunk(tri)
                             .raw(polygonsChunk({{0, 1, 2}, {2, 1, 0}}))
                             .raw(polygonsChunk({}))));
    EXPECT_EQ(l.object->polygonCount, 2);
    expectConsistent(*l.object);
}

TEST(Lwo2Chunks, OtherChunksAreSkippedSilently) {
    Loaded l = load(fixture("skipped_chunks.lwo"));
    EXPECT_EQ(l.output, "");
    EXPECT_EQ(l.object->pointCount, 3u);
    EXPECT_EQ(l.object->polygonCount, 1);
}

TEST(Lwo2Chunks, PolygonLengthMismatchIsPrintedAndPolygonsKept) {
    Loaded l = load(fixture("pols_mismatch.lwo"));
    EXPECT_EQ(l.output, l.path + ": ??? 40 != 38\n");
    ASSERT_EQ(l.object->polygonCount, 1);
    EXPECT_EQ(l.object->polygons->vertexCount, 17);
    // the last index lay past the declared end: it reads as zero, not as the next bytes
    EXPECT_EQ(l.object->polygons->vertices[16], 0);
}

TEST(Lwo2Chunks, TagLengthMismatchIsPrinted) {
    // the second pair's index takes four bytes where two are left of the chunk
    Bytes tags;
    tags.id("SURF").vx(0).be16(0).vx(0x10001).be16(0);
    Loaded l = load(form(chunk("PTAG", tags, 10)));
    EXPECT_EQ(l.output, l.path + ": ??? 12 != 10\n");
}

// After every chunk the reader goes to its declared end: over-reading, under-reading
// and odd lengths with their pad byte leave the next chunk readable.
TEST(Lwo2Chunks, NextChunkIsReadAtTheDeclaredEnd) {
    Loaded odd = load(fixture("odd_chunk_pad.lwo"));
    EXPECT_EQ(odd.object->pointCount, 3u);
    EXPECT_EQ(odd.object->polygonCount, 1);
    EXPECT_EQ(odd.output, "");

    // a polygon claims three indices where its chunk holds two: the third is zero and
    // the points that follow are still found
    Bytes over;
    over.id("FACE").be16(3).vx(1).vx(2);
    Loaded o = load(form(chunk("POLS", over).raw(pointsChunk(tri))));
    EXPECT_EQ(o.output, o.path + ": ??? 12 != 10\n");
    ASSERT_EQ(o.object->polygonCount, 1);
    EXPECT_EQ(vertices(o.object->polygons), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(o.object->pointCount, 3u);

    // points with a tail that makes no point; the polygons after them are found
    Loaded under = load(form(chunk("PNTS", Bytes().f4(1).f4(2).f4(3).be16(7))
                                 .raw(polygonsChunk({{0, 0, 0}}))));
    EXPECT_EQ(under.object->pointCount, 1u);
    EXPECT_EQ(under.object->polygonCount, 1);
}

TEST(Lwo2Chunks, FormLongerThanTheFileReadsWhatIsThere) {
    Bytes b = form(pointsChunk(tri).raw(polygonsChunk({{0, 1, 2}})), "LWO2", 5000);
    Loaded l = load(b, "short.lwo");
    EXPECT_EQ(l.errors, l.path + ": file ends early (" + std::to_string(b.size()) +
                            " of 5008 bytes)\n");
    EXPECT_EQ(l.object->pointCount, 3u);
    EXPECT_EQ(l.object->polygonCount, 1);
}

// Every prefix of a file with geometry and a texture block, read straight from memory,
// reads without a fault, leaves counts that match what exists, and every message names
// the name the caller gave.
TEST(Lwo2Chunks, EveryTruncationLeavesAConsistentObject) {
    for (const char *name : {"two_layers.lwo", "surf_block.lwo", "pols_mismatch.lwo"}) {
        Bytes whole = fixture(name);
        for (size_t n = 0; n < whole.size(); n++) {
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            LwoObject o(whole.data(), n, "prefix.lwo");
            fflush(stdout);
            std::string output = testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
            EXPECT_TRUE(namesEveryMessage(output, "prefix.lwo")) << output;
            expectConsistent(o);
            for (const LwoPolygon *p = o.polygons; p; p = p->next) {
                if (o.isDrawable(p)) {
                    EXPECT_LT(unsigned(p->vertices[2]), o.pointCount);
                }
            }
        }
    }
}

// ------------------------------------------------------------------ surfaces

TEST(Lwo2Surface, PlainSurfacePrintsNothing) {
    Loaded l = load(fixture("surf_plain.lwo"));
    EXPECT_EQ(l.output, "");
    EXPECT_EQ(l.object->pointCount, 3u);

    Loaded names = load(form(surfChunk(Bytes(), "abc").raw(pointsChunk(tri))));
    EXPECT_EQ(names.output, "");
    EXPECT_EQ(names.object->pointCount, 3u);
}

// Every surface sub-chunk family, some of them longer or shorter than their fields,
// then a block: nothing prints but the block, which is found where it is declared.
TEST(Lwo2Surface, SurfaceSubChunksAreReadThroughSilently) {
    Bytes s;
    s.raw(subChunk("COLR", Bytes().f4(1).f4(1).f4(1).vx(0).be16(0)));  // 16: 2 extra
    s.raw(subChunk("LCOL", Bytes().f4(1).f4(1).f4(1).vx(0)));
    for (const char *id : {"DIFF", "LUMI", "SPEC", "REFL", "TRAN", "TRNL", "GLOS", "SHRP",
                           "BUMP", "RIND", "RSAN", "ADTR", "GVAL", "CLRH", "CLRF", "LSIZ"})
        s.raw(subChunk(id, Bytes().f4(0.5f).vx(0)));
    s.raw(subChunk("SMAN", Bytes().f4(1)));
    s.raw(subChunk("AVAL", Bytes().f4(1)));
    s.raw(subChunk("ALPH", Bytes().be16(1).f4(1)));
    s.raw(subChunk("SIDE", Bytes().be16(3).be16(9)));  // 4: the word and 2 skipped
    s.raw(subChunk("RFOP", Bytes().be16(1)));
    s.raw(subChunk("TROP", Bytes().be16(1)));
    s.raw(subChunk("RIMG", Bytes().vx(1)));
    s.raw(subChunk("TIMG", Bytes().vx(0x12345)));
    s.raw(subChunk("GLOW", Bytes().be16(0).f4(1).vx(0).f4(1).vx(0)));
    s.raw(subChunk("LINE", Bytes().be16(1)));
    s.raw(subChunk("LINE", Bytes().be16(1).f4(1).vx(0)));
    s.raw(subChunk("LINE", Bytes().be16(1).f4(1).vx(0).f4(1).f4(1).f4(1).vx(0)));
    s.raw(subChunk("CMNT", Bytes().s0("a comment")));
    s.raw(subChunk("DIFF", Bytes().f4(1)));  // 4: shorter than its F4 and VX
    s.raw(subChunk("NODS", Bytes().be32(1).be32(2)));
    s.raw(subChunk("BLOK", subChunk("PIXB", Bytes().be16(1))));
    Loaded l = load(form(surfChunk(s).raw(pointsChunk(tri))));
    EXPECT_EQ(l.output, "\t\t[PIXB] (2) <1>\n");
    EXPECT_EQ(l.object->pointCount, 3u);
}

TEST(Lwo2Surface, FewerThanSixBytesLeftAreSkipped) {
    Bytes s;
    s.raw(subChunk("BLOK", subChunk("AXIS", Bytes().be16(1))));
    s.be32(0x424C4F4B);  // "BLOK" with no room for a length
    Loaded l = load(form(surfChunk(s).raw(pointsChunk(tri))));
    EXPECT_EQ(l.output, "\t\t[AXIS] (2) <1>\n");
    EXPECT_EQ(l.object->pointCount, 3u);
}

TEST(Lwo2Surface, TextureBlockDump) {
    Loaded l = load(fixture("surf_block.lwo"));
    EXPECT_EQ(l.output,
              "\t\t[IMAP] (86) <\\x80>\n"  // the ordinal's byte, shown as text
              "\t\t\t[CHAN] (4) <COLR>\n"
              "\t\t\t[NAME] (6) <wood>\n"
              "\t\t\t[OREF] (8) <(none)>\n"
              "\t\t\t[OPAC] (8) <1> <0.500000> <7>\n"
              "\t\t\t[ENAB] (2) <1>\n"
              "\t\t\t[NEGA] (2) <0>\n"
              "\t\t\t[AXIS] (2) <2>\n"
              "\t\t\t[ZZZZ] (4) (4 bytes)\n"
              "\t\t[TMAP] (112) \n"
              "\t\t\t[CNTR] (14) <1.000000,2.000000,3.000000> <0>\n"
              "\t\t\t[SIZE] (14) <1.000000,1.000000,1.000000> <0>\n"
              "\t\t\t[ROTA] (14) <0.000000,-1.500000,0.000000> <300>\n"
              "\t\t\t[FALL] (16) <1> <0.250000,0.000000,0.000000> <0>\n"
              "\t\t\t[OREF] (8) <(none)>\n"
              "\t\t\t[CSYS] (2) <1>\n"
              "\t\t\t[QQQQ] (2) (2 bytes)\n"
              "\t\t[PROJ] (2) <5>\n"
              "\t\t[AXIS] (2) <2>\n"
              "\t\t[IMAG] (4) <66051>\n"
              "\t\t[WRAP] (4) <1, 2>\n"
              "\t\t[WRPW] (6) <1.000000> <0>\n"
              "\t\t[WRPH] (6) <2.000000> <0>\n"
              "\t\t[VMAP] (4) <UV>\n"
              "\t\t[AAST] (6) <1> <1.000000>\n"
              "\t\t[PIXB] (2) <1>\n"
              "\t\t[STCK] (6) <0> <0.000000>\n"
              "\t\t[TAMP] (6) <1.000000> <0>\n"
              "\t\t[FLAG] (2) <3>\n"
              "\t\t[GRST] (4) <-1.000000>\n"
              "\t\t[GREN] (4) <1.000000>\n"
              "\t\t[COLR] (14) <1.000000,0.500000,0.000000> <2>\n"
              "\t\t[VALU] (8) <0.500000> <1.000000> \n"
              "\t\t[FTPS] (4) <3.000000> \n"
              "\t\t[ITPS] (4) <1> <-1> \n"
              "\t\t[ETPS] (6) <1> <2> <3> \n"
              "\t\t[FUNC] (6) <abc> <0xab> <0x01> \n"
              "\t\t[WXYZ] (4) (4 bytes)\n");
    EXPECT_EQ(l.object->pointCount, 3u);
}

// A block sub-chunk shorter than its fields reads zeros past its end, and the next one
// is read where it is declared; a longer one has its tail skipped.
TEST(Lwo2Surface, BlockSubChunksRealignToTheirDeclaredEnd) {
    Bytes blok;
    blok.raw(subChunk("WRAP", Bytes().be16(4)));             // 2 of its 4 bytes
    blok.raw(subChunk("IMAG", Bytes().vx(9).be32(0xFFFF)));  // 4 extra bytes
    blok.raw(subChunk("OPAC", Bytes().be16(1)));             // unknown at this level
    Loaded l = load(form(surfChunk(subChunk("BLOK", blok)).raw(pointsChunk(tri))));
    EXPECT_EQ(l.output,
              "\t\t[WRAP] (2) <4, 0>\n"
              "\t\t[IMAG] (6) <9>\n"
              "\t\t[OPAC] (2) (2 bytes)\n");
    EXPECT_EQ(l.object->pointCount, 3u);
}

TEST(Lwo2Surface, LongNamesAndListsAreConsumedWholeAndPrintedCut) {
    std::string longName(300, 'n');
    Bytes values;
    for (int i = 0; i < 300; i++)
        values.f4(float(i));
    Bytes blok;
    blok.raw(subChunk("VMAP", Bytes().s0(longName)));
    blok.raw(subChunk("VALU", values));
    blok.raw(subChunk("PIXB", Bytes().be16(7)));
    Loaded l = load(form(surfChunk(subChunk("BLOK", blok), longName).raw(pointsChunk(tri))));
    std::string expected = "\t\t[VMAP] (302) <" + std::string(255, 'n') + ">\n\t\t[VALU] (1200) ";
    char value[32];
    for (int i = 0; i < 256; i++) {
        snprintf(value, sizeof value, "<%f> ", float(i));
        expected += value;
    }
    expected += "\n\t\t[PIXB] (2) <7>\n";
    EXPECT_EQ(l.output, expected);
    EXPECT_EQ(l.object->pointCount, 3u);
}
