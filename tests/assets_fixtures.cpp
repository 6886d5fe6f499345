// assets_fixtures.cpp -- builds small LWO2 and TGA files byte by byte for the reader tests
#include "assets_fixtures.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

Bytes &Bytes::f4(float f) {
    uint32_t bits;
    memcpy(&bits, &f, 4);
    return be32(bits);
}

Bytes &Bytes::vx(uint32_t index) {
    if (index < 0xFF00)
        return be16(index);
    return u8(0xFF).u8(index >> 16).u8(index >> 8).u8(index);
}

Bytes &Bytes::s0(const std::string &text) {
    s += text;
    s.push_back(0);
    if ((text.size() + 1) % 2)
        s.push_back(0);
    return *this;
}

Bytes chunk(const char *id, const Bytes &data, long declared, bool pad) {
    Bytes b;
    b.id(id).be32(declared < 0 ? uint32_t(data.size()) : uint32_t(declared)).raw(data);
    if (pad && data.size() % 2)
        b.u8(0);
    return b;
}

Bytes subChunk(const char *id, const Bytes &data, long declared) {
    Bytes b;
    b.id(id).be16(declared < 0 ? unsigned(data.size()) : unsigned(declared)).raw(data);
    return b;
}

Bytes form(const Bytes &chunks, const char *type, long declared) {
    Bytes b;
    b.id("FORM").be32(declared < 0 ? uint32_t(chunks.size() + 4) : uint32_t(declared));
    b.id(type).raw(chunks);
    return b;
}

Bytes pointsChunk(const std::vector<float> &xyz) {
    Bytes d;
    for (float f : xyz)
        d.f4(f);
    return chunk("PNTS", d);
}

Bytes polygonsChunk(const std::vector<std::vector<int>> &polygons, const char *type) {
    Bytes d;
    d.id(type);
    for (auto &p : polygons) {
        d.be16(unsigned(p.size()));
        for (int i : p)
            d.vx(uint32_t(i));
    }
    return chunk("POLS", d);
}

Bytes surfChunk(const Bytes &subChunks, const std::string &name) {
    Bytes d;
    d.s0(name).s0("");
    d.raw(subChunks);
    return chunk("SURF", d);
}

Bytes tgaFile(int type, int width, int height, int depth, int descriptor, const Bytes &data,
              int idLength, int colormapType) {
    Bytes b;
    b.u8(idLength).u8(colormapType).u8(type);
    b.le16(0).le16(0).u8(0);  // colour-map fields: first entry, length, entry size
    b.le16(0).le16(0);        // origin
    b.le16(width).le16(height).u8(depth).u8(descriptor);
    for (int i = 0; i < idLength; i++)
        b.u8('A' + i % 26);
    return b.raw(data);
}

bool namesEveryMessage(const std::string &output, const std::string &name) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line[0] != '\t' && line.compare(0, name.size() + 2, name + ": ") != 0)
            return false;
    return true;
}

std::string writeFile(const std::string &path, const Bytes &b) {
    FILE *f = fopen(path.c_str(), "wb");
    if (f) {
        fwrite(b.s.data(), 1, b.s.size(), f);
        fclose(f);
    }
    return path;
}

static std::string tempFolder;  // this process's fixture folder, empty until first used

static void removeTempFolder() {
    if (DIR *dir = opendir(tempFolder.c_str())) {
        while (dirent *e = readdir(dir))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                remove((tempFolder + "/" + e->d_name).c_str());
        closedir(dir);
    }
    rmdir(tempFolder.c_str());
}

std::string tempPath(const std::string &name) {
    if (tempFolder.empty()) {
        const char *base = getenv("TMPDIR");
        tempFolder = std::string(base && *base ? base : "/tmp") + "/assets-tests-" +
                     std::to_string(getpid());
        mkdir(tempFolder.c_str(), 0700);
        atexit(removeTempFolder);
    }
    return tempFolder + "/" + name;
}

// ------------------------------------------------------------------ LWO2 fixtures

// A texture block with every block, header and texture-map sub-chunk the reader knows,
// and one it does not know at each level.
static Bytes fullBlock() {
    Bytes header;
    header.s0("\x80");
    header.raw(subChunk("CHAN", Bytes().id("COLR")));
    header.raw(subChunk("NAME", Bytes().s0("wood")));
    header.raw(subChunk("OREF", Bytes().s0("(none)")));
    header.raw(subChunk("OPAC", Bytes().be16(1).f4(0.5f).vx(7)));
    header.raw(subChunk("ENAB", Bytes().be16(1)));
    header.raw(subChunk("NEGA", Bytes().be16(0)));
    header.raw(subChunk("AXIS", Bytes().be16(2)));
    header.raw(subChunk("ZZZZ", Bytes().be32(0)));
    Bytes tmap;
    tmap.raw(subChunk("CNTR", Bytes().f4(1).f4(2).f4(3).vx(0)));
    tmap.raw(subChunk("SIZE", Bytes().f4(1).f4(1).f4(1).vx(0)));
    tmap.raw(subChunk("ROTA", Bytes().f4(0).f4(-1.5f).f4(0).vx(300)));
    tmap.raw(subChunk("FALL", Bytes().be16(1).f4(0.25f).f4(0).f4(0).vx(0)));
    tmap.raw(subChunk("OREF", Bytes().s0("(none)")));
    tmap.raw(subChunk("CSYS", Bytes().be16(1)));
    tmap.raw(subChunk("QQQQ", Bytes().be16(0)));
    Bytes blok;
    blok.raw(subChunk("IMAP", header));
    blok.raw(subChunk("TMAP", tmap));
    blok.raw(subChunk("PROJ", Bytes().be16(5)));
    blok.raw(subChunk("AXIS", Bytes().be16(2)));
    blok.raw(subChunk("IMAG", Bytes().vx(0x10203)));
    blok.raw(subChunk("WRAP", Bytes().be16(1).be16(2)));
    blok.raw(subChunk("WRPW", Bytes().f4(1).vx(0)));
    blok.raw(subChunk("WRPH", Bytes().f4(2).vx(0)));
    blok.raw(subChunk("VMAP", Bytes().s0("UV")));
    blok.raw(subChunk("AAST", Bytes().be16(1).f4(1)));
    blok.raw(subChunk("PIXB", Bytes().be16(1)));
    blok.raw(subChunk("STCK", Bytes().be16(0).f4(0)));
    blok.raw(subChunk("TAMP", Bytes().f4(1).vx(0)));
    blok.raw(subChunk("FLAG", Bytes().be16(3)));
    blok.raw(subChunk("GRST", Bytes().f4(-1)));
    blok.raw(subChunk("GREN", Bytes().f4(1)));
    blok.raw(subChunk("COLR", Bytes().f4(1).f4(0.5f).f4(0).vx(2)));
    blok.raw(subChunk("VALU", Bytes().f4(0.5f).f4(1)));
    blok.raw(subChunk("FTPS", Bytes().f4(3)));
    blok.raw(subChunk("ITPS", Bytes().be16(1).be16(0xFFFF)));
    blok.raw(subChunk("ETPS", Bytes().vx(1).vx(2).vx(3)));
    blok.raw(subChunk("FUNC", Bytes().s0("abc").u8(0xAB).u8(0x01)));
    blok.raw(subChunk("WXYZ", Bytes().be32(0)));
    return blok;
}

std::vector<std::pair<std::string, Bytes>> lwoFixtures() {
    std::vector<float> tri = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::vector<std::pair<std::string, Bytes>> f;
    f.push_back({"empty_form.lwo", form(Bytes())});
    f.push_back({"lwob.lwo", form(pointsChunk(tri), "LWOB")});
    f.push_back({"not_form.lwo", Bytes().id("RIFF").be32(4).id("LWO2")});
    f.push_back({"pnts36.lwo", form(pointsChunk(tri))});
    {
        Bytes d;  // three points and four bytes that make no fourth
        for (float v : tri)
            d.f4(v);
        d.be32(0xDEADBEEF);
        f.push_back({"pnts40.lwo", form(chunk("PNTS", d))});
    }
    {
        Bytes d;
        d.id("FACE").be16(0x0403).vx(0).vx(1).vx(2);
        f.push_back({"count_word_0403.lwo", form(pointsChunk(tri).raw(chunk("POLS", d)))});
    }
    {
        Bytes d;
        d.id("FACE").be16(3).raw(Bytes().u8(1).u8(2)).raw(Bytes().u8(0xFF).u8(1).u8(2).u8(3)).vx(0);
        f.push_back({"vx_two_four.lwo", form(chunk("POLS", d))});
    }
    f.push_back({"ptch.lwo", form(pointsChunk(tri).raw(polygonsChunk({{0, 1, 2}, {2, 1, 0}}, "PTCH")))});
    {
        Bytes c;
        c.raw(chunk("LAYR", Bytes().be16(0).be16(0).f4(0).f4(0).f4(0).s0("first")));
        c.raw(pointsChunk(tri));
        c.raw(polygonsChunk({{0, 1, 2}, {0, 2, 1}, {1, 2, 0}}));
        c.raw(chunk("LAYR", Bytes().be16(1).be16(0).f4(0).f4(0).f4(0).s0("second")));
        c.raw(pointsChunk({0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 2}));
        c.raw(polygonsChunk({{0, 1, 2}, {0, 2, 3}}));
        f.push_back({"two_layers.lwo", form(c)});
    }
    {
        Bytes c;
        c.raw(chunk("TAGS", Bytes().s0("Default")));
        c.raw(chunk("LAYR", Bytes().be16(0).be16(0).f4(0).f4(0).f4(0).s0("")));
        c.raw(pointsChunk(tri));
        c.raw(chunk("BBOX", Bytes().f4(0).f4(0).f4(0).f4(1).f4(1).f4(0)));
        c.raw(chunk("VMAP", Bytes().id("TXUV").be16(2).s0("UV").vx(0).f4(0).f4(0)));
        c.raw(chunk("ENVL", Bytes().vx(1).raw(subChunk("TYPE", Bytes().be16(0)))));
        c.raw(chunk("CLIP", Bytes().be32(1).raw(subChunk("STIL", Bytes().s0("a.tga")))));
        c.raw(chunk("XYZW", Bytes().be32(1).be32(2)));
        c.raw(polygonsChunk({{0, 1, 2}}));
        c.raw(chunk("PTAG", Bytes().id("SURF").vx(0).be16(0)));
        f.push_back({"skipped_chunks.lwo", form(c)});
    }
    {
        // 17 vertices take 2 + 34 bytes after the type: 40 in all, declared as 38
        Bytes d;
        d.id("FACE").be16(17);
        for (int i = 0; i < 17; i++)
            d.vx(i % 3);
        f.push_back({"pols_mismatch.lwo", form(pointsChunk(tri).raw(chunk("POLS", d, 38)))});
    }
    {
        Bytes c;
        c.raw(chunk("ODDX", Bytes().u8(1).u8(2).u8(3)));  // 3 bytes and a pad byte
        c.raw(pointsChunk(tri));
        c.raw(polygonsChunk({{0, 1, 2}}));
        f.push_back({"odd_chunk_pad.lwo", form(c)});
    }
    {
        Bytes subs;
        subs.raw(subChunk("COLR", Bytes().f4(1).f4(1).f4(1).vx(0)));
        subs.raw(subChunk("DIFF", Bytes().f4(1).vx(0)));
        subs.raw(subChunk("SPEC", Bytes().f4(0.5f).vx(0)));
        subs.raw(subChunk("SMAN", Bytes().f4(1.5f)));
        f.push_back({"surf_plain.lwo", form(pointsChunk(tri).raw(surfChunk(subs)))});
    }
    f.push_back({"surf_block.lwo",
                 form(pointsChunk(tri).raw(surfChunk(subChunk("BLOK", fullBlock()))))});
    {
        Bytes cut = form(pointsChunk(tri).raw(surfChunk(subChunk("BLOK", fullBlock()))));
        cut.s.resize(cut.s.size() / 2);
        f.push_back({"surf_block_truncated.lwo", cut});
    }
    return f;
}

// ------------------------------------------------------------------ TGA fixtures

std::vector<std::pair<std::string, Bytes>> tgaFixtures() {
    std::vector<std::pair<std::string, Bytes>> f;
    // 2 x 2 pictures, stored bottom row first unless the descriptor says top-down
    f.push_back({"rgb24.tga", tgaFile(2, 2, 2, 24, 0,
                                      Bytes().u8(0x10).u8(0x20).u8(0x30).u8(1).u8(2).u8(3)
                                             .u8(4).u8(5).u8(6).u8(7).u8(8).u8(9))});
    f.push_back({"rgb24_top_down.tga",
                 tgaFile(2, 2, 2, 24, 0x20,
                         Bytes().u8(4).u8(5).u8(6).u8(7).u8(8).u8(9)
                                .u8(0x10).u8(0x20).u8(0x30).u8(1).u8(2).u8(3))});
    f.push_back({"rgb24_right_left.tga",
                 tgaFile(2, 2, 2, 24, 0x10,
                         Bytes().u8(1).u8(2).u8(3).u8(0x10).u8(0x20).u8(0x30)
                                .u8(7).u8(8).u8(9).u8(4).u8(5).u8(6))});
    f.push_back({"rgb16.tga", tgaFile(2, 2, 1, 16, 0, Bytes().le16(0x7FFF).le16(0x8000 | 21 << 10))});
    f.push_back({"rgba32.tga", tgaFile(2, 1, 1, 32, 8, Bytes().u8(0x10).u8(0x20).u8(0x30).u8(0x40))});
    f.push_back({"grey8.tga", tgaFile(3, 3, 1, 8, 0, Bytes().u8(0).u8(0x80).u8(0xFF))});
    f.push_back({"id_field.tga", tgaFile(2, 1, 1, 24, 0, Bytes().u8(1).u8(2).u8(3), 7)});
    {
        // 3 x 2 at 32 bits: a run of 4 crossing the row end, then a raw packet of 2
        Bytes d;
        d.u8(0x83).u8(0x10).u8(0x20).u8(0x30).u8(0x40);
        d.u8(0x01).u8(1).u8(2).u8(3).u8(4).u8(5).u8(6).u8(7).u8(8);
        f.push_back({"rle32.tga", tgaFile(10, 3, 2, 32, 8, d)});
    }
    {
        Bytes d;
        d.u8(0xFF).u8(1).u8(2).u8(3);  // a run of 128 fills the 10 x 10 store and more
        d.u8(0x7F);
        for (int i = 0; i < 128; i++)
            d.u8(9).u8(9).u8(9);
        d.id("TRUEVISION-XFILE").u8('.').u8(0);
        f.push_back({"rle24_overrun_footer.tga", tgaFile(10, 10, 10, 24, 0, d)});
    }
    f.push_back({"rle16_raw_128.tga", [] {
                     Bytes d;
                     d.u8(0x7F);
                     for (int i = 0; i < 128; i++)
                         d.le16(i);
                     return tgaFile(10, 16, 8, 16, 0, d);
                 }()});
    f.push_back({"rle24_truncated.tga", tgaFile(10, 4, 4, 24, 0, Bytes().u8(0x82).u8(1).u8(2).u8(3).u8(0x05).u8(9))});
    f.push_back({"raw24_truncated.tga", tgaFile(2, 4, 4, 24, 0, Bytes().u8(1).u8(2).u8(3).u8(4))});
    f.push_back({"colormapped.tga", tgaFile(1, 2, 2, 8, 0, Bytes().u8(0).u8(1).u8(0).u8(1), 0, 1)});
    f.push_back({"type11.tga", tgaFile(11, 2, 2, 8, 0, Bytes().u8(0x83).u8(7))});
    f.push_back({"depth15.tga", tgaFile(2, 2, 2, 15, 0, Bytes().le16(1).le16(2).le16(3).le16(4))});
    f.push_back({"huge.tga", tgaFile(2, 65535, 65535, 32, 0, Bytes().be32(0))});
    f.push_back({"zero_width.tga", tgaFile(2, 0, 5, 24, 0, Bytes())});
    f.push_back({"header_only.tga", tgaFile(2, 8, 8, 24, 0, Bytes(), 40)});
    return f;
}
