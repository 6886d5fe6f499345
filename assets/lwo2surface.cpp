// lwo2surface.cpp -- reads through LWO2 surfaces and prints their texture blocks
#include <cstdio>

#include "loadfailures.h"
#include "lwo2.h"
#include "lwo2format.h"

// Nothing of a surface is kept. Its sub-chunks are walked with their published layouts
// so that a texture block can be shown as it stands in the file: one line per block
// sub-chunk, two tabs deep, and the lines of the header and the texture map beneath it
// three tabs deep. Identifiers and strings come from the file and may hold any byte: those
// that are not printable text are shown as \xNN (a block's ordinal is usually one such byte).

const int TEXT_SIZE = 256;   // characters kept of a name; longer names print cut
const int VALUE_SLOTS = 256;  // values kept of a list; longer lists print cut

// Reads a sub-chunk header and holds the reads that follow to its declared data.
unsigned int LwoObject::beginSubChunk(SubChunk &sub, unsigned int consumed, Cursor &in) {
    consumed += readID4(sub.id, in);
    consumed += readU2(&sub.length, 1, in);
    sub.start = consumed;
    sub.outerEnd = in.end;
    unsigned long declaredEnd = in.pos + sub.length;
    sub.end = declaredEnd < in.end ? declaredEnd : in.end;
    in.end = sub.end;
    return consumed;
}

// Re-aligns after a sub-chunk: whatever its fields took, the count and the position
// both go to the declared end, so the next sub-chunk header is read where it is.
unsigned int LwoObject::endSubChunk(const SubChunk &sub, Cursor &in) {
    in.end = sub.outerEnd;
    in.pos = sub.end;
    return sub.start + sub.length;
}

unsigned int LwoObject::readSurface(unsigned int length, Cursor &in) {
    char name[TEXT_SIZE];
    unsigned int consumed = readS0(name, TEXT_SIZE, in);  // surface name
    consumed += readS0(name, TEXT_SIZE, in);              // source surface name
    while (consumed < length && in.pos < in.end) {
        if (length - consumed < 6) {
            consumed += skipBytes(int(length - consumed), in);  // too short for a header
            break;
        }
        SubChunk sub;
        consumed = beginSubChunk(sub, consumed, in);
        float f[3];
        int vx;
        unsigned short u;
        switch (lwoId(sub.id)) {
        case ID_COLR:
        case ID_LCOL:
            consumed += readVec12(f, 1, in);
            consumed += readVX(&vx, in);
            break;
        case ID_DIFF: case ID_LUMI: case ID_SPEC: case ID_REFL: case ID_TRAN: case ID_TRNL:
        case ID_GLOS: case ID_SHRP: case ID_BUMP: case ID_RIND: case ID_RSAN: case ID_ADTR:
        case ID_GVAL: case ID_CLRH: case ID_CLRF: case ID_LSIZ:
            consumed += readF4(f, 1, in);
            consumed += readVX(&vx, in);
            break;
        case ID_SMAN:
        case ID_AVAL:
            consumed += readF4(f, 1, in);
            break;
        case ID_ALPH:
            consumed += readU2(&u, 1, in);
            consumed += readF4(f, 1, in);
            break;
        case ID_SIDE:
        case ID_RFOP:
        case ID_TROP:
            consumed += readU2(&u, 1, in);
            consumed += skipBytes(sub.length - 2, in);  // the mode word is all there is to read
            break;
        case ID_RIMG:
        case ID_TIMG:
            consumed += readVX(&vx, in);
            break;
        case ID_GLOW:
            consumed += readU2(&u, 1, in);
            consumed += readF4(f, 1, in);
            consumed += readVX(&vx, in);
            consumed += readF4(f, 1, in);
            consumed += readVX(&vx, in);
            break;
        case ID_LINE:
            consumed += readU2(&u, 1, in);
            if (sub.length > 2) {
                consumed += readF4(f, 1, in);
                consumed += readVX(&vx, in);
            }
            if (sub.length > 8) {
                consumed += readVec12(f, 1, in);
                consumed += readVX(&vx, in);
            }
            break;
        case ID_CMNT:
            consumed += skipBytes(sub.length, in);  // the comment text is not used
            break;
        case ID_BLOK:
            consumed += readBlock(sub.length, in);
            break;
        default:
            consumed += skipBytes(sub.length, in);
            break;
        }
        consumed = endSubChunk(sub, in);
    }
    return consumed;
}

// The printing walk shared by a texture block, its header and its texture map: each
// sub-chunk's id and length at the given indent, then its fields as `field` prints them, or
// its size where `field` does not know the id (false); the data it holds is skipped.
unsigned int LwoObject::printSubChunks(unsigned int consumed, unsigned int length, const char *indent,
                                       FieldPrinter field, Cursor &in) {
    while (consumed < length && in.pos < in.end) {
        SubChunk sub;
        consumed = beginSubChunk(sub, consumed, in);
        printf("%s[%s] (%d) ", indent, printableText(std::string(sub.id, 4)).c_str(), sub.length);
        if (!field(sub, in)) {
            skipBytes(sub.length, in);
            printf("(%d bytes)\n", sub.length);
        }
        consumed = endSubChunk(sub, in);
    }
    return consumed;
}

// Field printers for the sub-chunks of those three that hold the same kinds of value.
void LwoObject::printText(Cursor &in) {
    char text[TEXT_SIZE];
    readS0(text, TEXT_SIZE, in);
    printf("<%s>\n", printableText(text).c_str());
}

void LwoObject::printU2(Cursor &in) {
    unsigned short u;
    readU2(&u, 1, in);
    printf("<%d>\n", u);
}

void LwoObject::printVecVX(Cursor &in) {
    float f[3];
    int vx;
    readVec12(f, 1, in);
    readVX(&vx, in);
    printf("<%f,%f,%f> <%d>\n", f[0], f[1], f[2], vx);
}

unsigned int LwoObject::readBlock(unsigned int length, Cursor &in) {
    return printSubChunks(0, length, "\t\t", [](const SubChunk &sub, Cursor &in) {
        float f[VALUE_SLOTS];
        short s[VALUE_SLOTS];
        unsigned short u[2];
        int vx;
        char text[TEXT_SIZE];
        switch (lwoId(sub.id)) {
        case ID_IMAP:
        case ID_PROC:
        case ID_GRAD:
        case ID_SHDR:
            readBlockHeader(sub.length, in);
            break;
        case ID_TMAP:
            readTextureMap(sub.length, in);
            break;
        case ID_AXIS:
        case ID_FLAG:
        case ID_PIXB:
        case ID_PROJ:
            printU2(in);
            break;
        case ID_IMAG:
            readVX(&vx, in);
            printf("<%d>\n", vx);
            break;
        case ID_VMAP:
            printText(in);
            break;
        case ID_WRAP:
            readU2(&u[0], 1, in);
            readU2(&u[1], 1, in);
            printf("<%d, %d>\n", u[0], u[1]);
            break;
        case ID_TAMP:
        case ID_WRPW:
        case ID_WRPH:
            readF4(f, 1, in);
            readVX(&vx, in);
            printf("<%f> <%d>\n", f[0], vx);
            break;
        case ID_AAST:
        case ID_STCK:
            readU2(u, 1, in);
            readF4(f, 1, in);
            printf("<%d> <%f>\n", u[0], f[0]);
            break;
        case ID_GRST:
        case ID_GREN:
            readF4(f, 1, in);
            printf("<%f>\n", f[0]);
            break;
        case ID_COLR:
            printVecVX(in);
            break;
        case ID_VALU:
        case ID_FTPS:
        case ID_ITPS: {  // a list of floats, or of integers for ITPS
            bool whole = lwoId(sub.id) == ID_ITPS;
            int width = whole ? 2 : 4;
            int count = sub.length / width;
            int kept = count < VALUE_SLOTS ? count : VALUE_SLOTS;
            if (whole)
                readI2(s, kept, in);
            else
                readF4(f, kept, in);
            skipBytes(width * (count - kept), in);
            for (int i = 0; i < kept; i++) {
                if (whole)
                    printf("<%d> ", s[i]);
                else
                    printf("<%f> ", f[i]);
            }
            printf("\n");
            break;
        }
        case ID_ETPS: {
            // the indices are read to the end of the list; the first VALUE_SLOTS print
            int taken = 0;
            for (int i = 0; taken < sub.length; i++) {
                taken += readVX(&vx, in);
                if (i < VALUE_SLOTS)
                    printf("<%d> ", vx);
            }
            printf("\n");
            break;
        }
        case ID_FUNC: {
            int taken = readS0(text, TEXT_SIZE, in);
            printf("<%s> ", printableText(text).c_str());
            int count = sub.length - taken;
            int kept = count < VALUE_SLOTS ? count : VALUE_SLOTS;
            unsigned char bytes[VALUE_SLOTS];
            int got = readBytes(bytes, kept, in);
            for (int i = 0; i < got; i++)
                printf("<0x%02x> ", bytes[i]);
            printf("\n");
            if (count > kept)
                skipBytes(count - kept, in);
            break;
        }
        default:
            return false;
        }
        return true;
    }, in);
}

unsigned int LwoObject::readBlockHeader(unsigned int length, Cursor &in) {
    char text[TEXT_SIZE];
    unsigned int consumed = readS0(text, TEXT_SIZE, in);  // the ordinal
    printf("<%s>\n", printableText(text).c_str());
    return printSubChunks(consumed, length, "\t\t\t", [](const SubChunk &sub, Cursor &in) {
        unsigned short u;
        float f;
        int vx;
        char channel[5];
        switch (lwoId(sub.id)) {
        case ID_CHAN:
            readID4(channel, in);
            printf("<%s>\n", printableText(std::string(channel, 4)).c_str());
            break;
        case ID_NAME:
        case ID_OREF:
            printText(in);
            break;
        case ID_AXIS:
        case ID_ENAB:
        case ID_NEGA:
            printU2(in);
            break;
        case ID_OPAC:
            readU2(&u, 1, in);
            readF4(&f, 1, in);
            readVX(&vx, in);
            printf("<%d> <%f> <%d>\n", u, f, vx);
            break;
        default:
            return false;
        }
        return true;
    }, in);
}

unsigned int LwoObject::readTextureMap(unsigned int length, Cursor &in) {
    printf("\n");
    return printSubChunks(0, length, "\t\t\t", [](const SubChunk &sub, Cursor &in) {
        unsigned short u;
        float f[3];
        int vx;
        switch (lwoId(sub.id)) {
        case ID_CNTR:
        case ID_SIZE:
        case ID_ROTA:
            printVecVX(in);
            break;
        case ID_FALL:
            readU2(&u, 1, in);
            readVec12(f, 1, in);
            readVX(&vx, in);
            printf("<%d> <%f,%f,%f> <%d>\n", u, f[0], f[1], f[2], vx);
            break;
        case ID_OREF:
            printText(in);
            break;
        case ID_CSYS:
            printU2(in);
            break;
        default:
            return false;
        }
        return true;
    }, in);
}
