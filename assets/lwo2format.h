// lwo2format.h -- chunk identifiers of the LWO2 format, shared by the reader and the writer
#pragma once
#include <cstdint>

// A four-character identifier as one value, first character most significant.
constexpr uint32_t lwoId(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

// top level
constexpr uint32_t ID_FORM = lwoId("FORM");
constexpr uint32_t ID_LWO2 = lwoId("LWO2");
constexpr uint32_t ID_TAGS = lwoId("TAGS");
constexpr uint32_t ID_LAYR = lwoId("LAYR");
constexpr uint32_t ID_PNTS = lwoId("PNTS");
constexpr uint32_t ID_BBOX = lwoId("BBOX");
constexpr uint32_t ID_POLS = lwoId("POLS");
constexpr uint32_t ID_PTAG = lwoId("PTAG");
constexpr uint32_t ID_VMAP = lwoId("VMAP");
constexpr uint32_t ID_SURF = lwoId("SURF");
constexpr uint32_t ID_CLIP = lwoId("CLIP");
constexpr uint32_t ID_STIL = lwoId("STIL");
// polygon and tag types
constexpr uint32_t ID_FACE = lwoId("FACE");
constexpr uint32_t ID_TXUV = lwoId("TXUV");
// surface sub-chunks
constexpr uint32_t ID_COLR = lwoId("COLR");
constexpr uint32_t ID_LCOL = lwoId("LCOL");
constexpr uint32_t ID_DIFF = lwoId("DIFF");
constexpr uint32_t ID_LUMI = lwoId("LUMI");
constexpr uint32_t ID_SPEC = lwoId("SPEC");
constexpr uint32_t ID_REFL = lwoId("REFL");
constexpr uint32_t ID_TRAN = lwoId("TRAN");
constexpr uint32_t ID_TRNL = lwoId("TRNL");
constexpr uint32_t ID_GLOS = lwoId("GLOS");
constexpr uint32_t ID_SHRP = lwoId("SHRP");
constexpr uint32_t ID_BUMP = lwoId("BUMP");
constexpr uint32_t ID_RIND = lwoId("RIND");
constexpr uint32_t ID_RSAN = lwoId("RSAN");
constexpr uint32_t ID_ADTR = lwoId("ADTR");
constexpr uint32_t ID_GVAL = lwoId("GVAL");
constexpr uint32_t ID_CLRH = lwoId("CLRH");
constexpr uint32_t ID_CLRF = lwoId("CLRF");
constexpr uint32_t ID_LSIZ = lwoId("LSIZ");
constexpr uint32_t ID_SMAN = lwoId("SMAN");
constexpr uint32_t ID_AVAL = lwoId("AVAL");
constexpr uint32_t ID_ALPH = lwoId("ALPH");
constexpr uint32_t ID_SIDE = lwoId("SIDE");
constexpr uint32_t ID_RFOP = lwoId("RFOP");
constexpr uint32_t ID_TROP = lwoId("TROP");
constexpr uint32_t ID_RIMG = lwoId("RIMG");
constexpr uint32_t ID_TIMG = lwoId("TIMG");
constexpr uint32_t ID_GLOW = lwoId("GLOW");
constexpr uint32_t ID_LINE = lwoId("LINE");
constexpr uint32_t ID_CMNT = lwoId("CMNT");
constexpr uint32_t ID_BLOK = lwoId("BLOK");
// texture block sub-chunks
constexpr uint32_t ID_IMAP = lwoId("IMAP");
constexpr uint32_t ID_PROC = lwoId("PROC");
constexpr uint32_t ID_GRAD = lwoId("GRAD");
constexpr uint32_t ID_SHDR = lwoId("SHDR");
constexpr uint32_t ID_TMAP = lwoId("TMAP");
constexpr uint32_t ID_AXIS = lwoId("AXIS");
constexpr uint32_t ID_FLAG = lwoId("FLAG");
constexpr uint32_t ID_PIXB = lwoId("PIXB");
constexpr uint32_t ID_PROJ = lwoId("PROJ");
constexpr uint32_t ID_IMAG = lwoId("IMAG");
constexpr uint32_t ID_WRAP = lwoId("WRAP");
constexpr uint32_t ID_TAMP = lwoId("TAMP");
constexpr uint32_t ID_WRPW = lwoId("WRPW");
constexpr uint32_t ID_WRPH = lwoId("WRPH");
constexpr uint32_t ID_AAST = lwoId("AAST");
constexpr uint32_t ID_STCK = lwoId("STCK");
constexpr uint32_t ID_GRST = lwoId("GRST");
constexpr uint32_t ID_GREN = lwoId("GREN");
constexpr uint32_t ID_VALU = lwoId("VALU");
constexpr uint32_t ID_FTPS = lwoId("FTPS");
constexpr uint32_t ID_ITPS = lwoId("ITPS");
constexpr uint32_t ID_ETPS = lwoId("ETPS");
constexpr uint32_t ID_FUNC = lwoId("FUNC");
// block header and texture map sub-chunks
constexpr uint32_t ID_CHAN = lwoId("CHAN");
constexpr uint32_t ID_NAME = lwoId("NAME");
constexpr uint32_t ID_OREF = lwoId("OREF");
constexpr uint32_t ID_ENAB = lwoId("ENAB");
constexpr uint32_t ID_NEGA = lwoId("NEGA");
constexpr uint32_t ID_OPAC = lwoId("OPAC");
constexpr uint32_t ID_CNTR = lwoId("CNTR");
constexpr uint32_t ID_SIZE = lwoId("SIZE");
constexpr uint32_t ID_ROTA = lwoId("ROTA");
constexpr uint32_t ID_FALL = lwoId("FALL");
constexpr uint32_t ID_CSYS = lwoId("CSYS");
