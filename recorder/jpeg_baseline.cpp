#include "jpeg_baseline.h"

#include <string.h>

// Natural (row-major) index of each coefficient in the zigzag order the file uses.
static const uint8_t ZIGZAG[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// The published example tables, natural order.
static const uint8_t LUMA_QUANT_BASE[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
};
static const uint8_t CHROMA_QUANT_BASE[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
};

// The published example Huffman tables: code counts per length 1..16, then symbols.
static const uint8_t DC_LUMA_COUNTS[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
static const uint8_t DC_CHROMA_COUNTS[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
static const uint8_t DC_SYMBOLS[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
static const uint8_t AC_LUMA_COUNTS[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
static const uint8_t AC_LUMA_SYMBOLS[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};
static const uint8_t AC_CHROMA_COUNTS[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
static const uint8_t AC_CHROMA_SYMBOLS[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};

#define AC_END_OF_BLOCK 0x00
#define AC_SIXTEEN_ZEROS 0xf0
// Baseline AC coefficients have at most 10 magnitude bits.
#define AC_MAGNITUDE_MAX 1023

// Per 16x16 unit (four luma and two chroma blocks), more than the entropy coder can
// write even with every byte stuffed; checked before each row of units.
#define UNIT_BYTES_MAX (6 * 512)
#define TAIL_BYTES 64
#define HEADER_BYTES_MAX 1024

// Scale factors of the AAN DCT's outputs: cos(k * pi / 16) * sqrt(2), 1 for k = 0.
static const float AAN_SCALE[8] = {1.0f,         1.387039845f, 1.306562965f, 1.175875602f,
                                   1.0f,         0.785694958f, 0.541196100f, 0.275899379f};

struct HuffmanCode {
    uint16_t code;
    uint8_t length;
};

struct HuffmanTables {
    HuffmanCode dc[2][12];
    HuffmanCode ac[2][256];
};

static void BuildCodes(const uint8_t counts[16], const uint8_t* symbols, HuffmanCode* codes)
{
    unsigned code = 0;
    int next = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < counts[length - 1]; ++i) {
            codes[symbols[next++]] = {static_cast<uint16_t>(code++), static_cast<uint8_t>(length)};
        }
        code <<= 1;
    }
}

static HuffmanTables BuildHuffmanTables()
{
    HuffmanTables tables = {};
    BuildCodes(DC_LUMA_COUNTS, DC_SYMBOLS, tables.dc[0]);
    BuildCodes(DC_CHROMA_COUNTS, DC_SYMBOLS, tables.dc[1]);
    BuildCodes(AC_LUMA_COUNTS, AC_LUMA_SYMBOLS, tables.ac[0]);
    BuildCodes(AC_CHROMA_COUNTS, AC_CHROMA_SYMBOLS, tables.ac[1]);
    return tables;
}

static const HuffmanTables& StandardCodes()
{
    static const HuffmanTables tables = BuildHuffmanTables();
    return tables;
}

void JpegQuantTables(int quality, uint8_t luma[64], uint8_t chroma[64])
{
    if (quality < JPEG_QUALITY_LOWEST) {
        quality = JPEG_QUALITY_LOWEST;
    }
    if (quality > JPEG_QUALITY_HIGHEST) {
        quality = JPEG_QUALITY_HIGHEST;
    }
    int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    const uint8_t* bases[2] = {LUMA_QUANT_BASE, CHROMA_QUANT_BASE};
    uint8_t* tables[2] = {luma, chroma};
    for (int t = 0; t < 2; ++t) {
        for (int i = 0; i < 64; ++i) {
            int value = (bases[t][i] * scale + 50) / 100;
            // Baseline tables hold 8-bit entries; zero would divide by nothing.
            tables[t][i] = static_cast<uint8_t>(value < 1 ? 1 : value > 255 ? 255 : value);
        }
    }
}

// Entropy-coded bytes go out through a 64-bit accumulator, 32 bits at a time, with a
// zero stuffed after every 0xFF as the format requires.
struct BitWriter {
    uint8_t* next;
    uint64_t bits;
    int count;
};

static inline void EmitByte(BitWriter* w)
{
    w->count -= 8;
    uint8_t byte = static_cast<uint8_t>(w->bits >> w->count);
    *w->next++ = byte;
    if (byte == 0xff) {
        *w->next++ = 0;
    }
}

// `length` at most 27 (a 16-bit code with 11 magnitude bits), `value` no wider.
static inline void PutBits(BitWriter* w, uint32_t value, int length)
{
    w->bits = (w->bits << length) | value;
    w->count += length;
    if (w->count >= 32) {
        EmitByte(w);
        EmitByte(w);
        EmitByte(w);
        EmitByte(w);
    }
}

static void FlushBits(BitWriter* w)
{
    while (w->count >= 8) {
        EmitByte(w);
    }
    if (w->count > 0) {
        // The last byte is padded with one bits.
        PutBits(w, (1u << (8 - w->count)) - 1, 8 - w->count);
        EmitByte(w);
    }
}

static inline int MagnitudeBits(int value)
{
    unsigned magnitude = static_cast<unsigned>(value < 0 ? -value : value);
    return magnitude == 0 ? 0 : 32 - __builtin_clz(magnitude);
}

static inline void PutCoded(BitWriter* w, const HuffmanCode& code, int value, int bits)
{
    // Negative values are sent as value - 1 in `bits` bits (ones' complement).
    uint32_t extra = static_cast<uint32_t>(value < 0 ? value - 1 : value) & ((1u << bits) - 1);
    PutBits(w, (static_cast<uint32_t>(code.code) << bits) | extra, code.length + bits);
}

// In place, rows then columns; outputs come scaled by 8 * AAN_SCALE[u] * AAN_SCALE[v],
// which the quantiser's divisors take out.
static void ForwardDct(float* data)
{
    for (int pass = 0; pass < 2; ++pass) {
        const int step = pass == 0 ? 1 : 8;
        const int advance = pass == 0 ? 8 : 1;
        float* d = data;
        for (int line = 0; line < 8; ++line, d += advance) {
            float tmp0 = d[0] + d[7 * step];
            float tmp7 = d[0] - d[7 * step];
            float tmp1 = d[1 * step] + d[6 * step];
            float tmp6 = d[1 * step] - d[6 * step];
            float tmp2 = d[2 * step] + d[5 * step];
            float tmp5 = d[2 * step] - d[5 * step];
            float tmp3 = d[3 * step] + d[4 * step];
            float tmp4 = d[3 * step] - d[4 * step];

            float tmp10 = tmp0 + tmp3;
            float tmp13 = tmp0 - tmp3;
            float tmp11 = tmp1 + tmp2;
            float tmp12 = tmp1 - tmp2;
            d[0] = tmp10 + tmp11;
            d[4 * step] = tmp10 - tmp11;
            float z1 = (tmp12 + tmp13) * 0.707106781f;
            d[2 * step] = tmp13 + z1;
            d[6 * step] = tmp13 - z1;

            tmp10 = tmp4 + tmp5;
            tmp11 = tmp5 + tmp6;
            tmp12 = tmp6 + tmp7;
            float z5 = (tmp10 - tmp12) * 0.382683433f;
            float z2 = 0.541196100f * tmp10 + z5;
            float z4 = 1.306562965f * tmp12 + z5;
            float z3 = tmp11 * 0.707106781f;
            float z11 = tmp7 + z3;
            float z13 = tmp7 - z3;
            d[5 * step] = z13 + z2;
            d[3 * step] = z13 - z2;
            d[1 * step] = z11 + z4;
            d[7 * step] = z11 - z4;
        }
    }
}

struct ComponentCoder {
    float divisors[64];   // natural order
    const HuffmanCode* dc;
    const HuffmanCode* ac;
    int previousDc;
};

static void SetDivisors(const uint8_t quant[64], float divisors[64])
{
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            divisors[row * 8 + column] =
                1.0f / (quant[row * 8 + column] * AAN_SCALE[row] * AAN_SCALE[column] * 8.0f);
        }
    }
}

static ComponentCoder SetUpCoder(const uint8_t quant[64], int table)
{
    ComponentCoder coder;
    SetDivisors(quant, coder.divisors);
    coder.dc = StandardCodes().dc[table];
    coder.ac = StandardCodes().ac[table];
    coder.previousDc = 0;
    return coder;
}

static void EncodeBlock(BitWriter* w, float* block, ComponentCoder* coder)
{
    ForwardDct(block);
    int zigzag[64];
    for (int k = 0; k < 64; ++k) {
        int natural = ZIGZAG[k];
        // Biased so that truncation rounds to nearest on both sides of zero.
        int value = static_cast<int>(block[natural] * coder->divisors[natural] + 16384.5f) - 16384;
        zigzag[k] = value;
    }
    int diff = zigzag[0] - coder->previousDc;
    coder->previousDc = zigzag[0];
    int bits = MagnitudeBits(diff);
    PutCoded(w, coder->dc[bits], diff, bits);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        int value = zigzag[k];
        if (value == 0) {
            ++run;
            continue;
        }
        if (value > AC_MAGNITUDE_MAX) {
            value = AC_MAGNITUDE_MAX;
        } else if (value < -AC_MAGNITUDE_MAX) {
            value = -AC_MAGNITUDE_MAX;
        }
        while (run >= 16) {
            const HuffmanCode& zeros = coder->ac[AC_SIXTEEN_ZEROS];
            PutBits(w, zeros.code, zeros.length);
            run -= 16;
        }
        bits = MagnitudeBits(value);
        PutCoded(w, coder->ac[(run << 4) | bits], value, bits);
        run = 0;
    }
    if (run > 0) {
        const HuffmanCode& end = coder->ac[AC_END_OF_BLOCK];
        PutBits(w, end.code, end.length);
    }
}

// One 16x16 unit from the pixels: four luma blocks (left to right, top to bottom) and
// one block each of Cb and Cr from 2x2 averages, all shifted to be centred on zero.
// Rows and columns past the image repeat its last row and column.
static void LoadUnit(const uint8_t* const rows[16], const size_t columns[16], float luma[4][64],
                     float cb[64], float cr[64])
{
    for (int y = 0; y < 16; ++y) {
        float* left = luma[(y / 8) * 2] + (y % 8) * 8;
        for (int x = 0; x < 16; ++x) {
            const uint8_t* p = rows[y] + columns[x];
            left[(x / 8) * 64 + x % 8] = 0.299f * p[2] + 0.587f * p[1] + 0.114f * p[0] - 128.0f;
        }
    }
    for (int y = 0; y < 8; ++y) {
        const uint8_t* upper = rows[y * 2];
        const uint8_t* lower = rows[y * 2 + 1];
        for (int x = 0; x < 8; ++x) {
            const uint8_t* a = upper + columns[x * 2];
            const uint8_t* b = upper + columns[x * 2 + 1];
            const uint8_t* c = lower + columns[x * 2];
            const uint8_t* d = lower + columns[x * 2 + 1];
            float blue = a[0] + b[0] + c[0] + d[0];
            float green = a[1] + b[1] + c[1] + d[1];
            float red = a[2] + b[2] + c[2] + d[2];
            cb[y * 8 + x] = (-0.168736f * red - 0.331264f * green + 0.5f * blue) * 0.25f;
            cr[y * 8 + x] = (0.5f * red - 0.418688f * green - 0.081312f * blue) * 0.25f;
        }
    }
}

static uint8_t* PutMarker(uint8_t* p, uint8_t marker, unsigned length)
{
    p[0] = 0xff;
    p[1] = marker;
    p[2] = static_cast<uint8_t>(length >> 8);
    p[3] = static_cast<uint8_t>(length);
    return p + 4;
}

static uint8_t* PutHuffmanTable(uint8_t* p, uint8_t classAndId, const uint8_t counts[16],
                                const uint8_t* symbols, int symbolCount)
{
    *p++ = classAndId;
    memcpy(p, counts, 16);
    memcpy(p + 16, symbols, symbolCount);
    return p + 16 + symbolCount;
}

static uint8_t* PutHeaders(uint8_t* p, uint32_t width, uint32_t height, const uint8_t luma[64],
                           const uint8_t chroma[64])
{
    *p++ = 0xff;
    *p++ = 0xd8;
    static const uint8_t JFIF[] = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    p = PutMarker(p, 0xe0, 2 + sizeof JFIF);
    memcpy(p, JFIF, sizeof JFIF);
    p += sizeof JFIF;

    p = PutMarker(p, 0xdb, 2 + 2 * 65);
    const uint8_t* quant[2] = {luma, chroma};
    for (int t = 0; t < 2; ++t) {
        *p++ = static_cast<uint8_t>(t);
        for (int k = 0; k < 64; ++k) {
            *p++ = quant[t][ZIGZAG[k]];
        }
    }

    p = PutMarker(p, 0xc0, 17);
    const uint8_t frame[] = {8,
                             static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                             static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                             3,
                             1, 0x22, 0,    // Y: 2x2 sampling, table 0
                             2, 0x11, 1,    // Cb
                             3, 0x11, 1};   // Cr
    memcpy(p, frame, sizeof frame);
    p += sizeof frame;

    p = PutMarker(p, 0xc4, 2 + 4 * 17 + 2 * 12 + 2 * 162);
    p = PutHuffmanTable(p, 0x00, DC_LUMA_COUNTS, DC_SYMBOLS, 12);
    p = PutHuffmanTable(p, 0x10, AC_LUMA_COUNTS, AC_LUMA_SYMBOLS, 162);
    p = PutHuffmanTable(p, 0x01, DC_CHROMA_COUNTS, DC_SYMBOLS, 12);
    p = PutHuffmanTable(p, 0x11, AC_CHROMA_COUNTS, AC_CHROMA_SYMBOLS, 162);

    p = PutMarker(p, 0xda, 12);
    const uint8_t scan[] = {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0};
    memcpy(p, scan, sizeof scan);
    return p + sizeof scan;
}

bool EncodeBaselineJpeg(const BgrxImage& image, int quality, std::vector<uint8_t>* out)
{
    out->clear();
    if (image.topRow == nullptr || image.width == 0 || image.height == 0 ||
        image.width > JPEG_SIDE_MAX || image.height > JPEG_SIDE_MAX ||
        quality < JPEG_QUALITY_LOWEST || quality > JPEG_QUALITY_HIGHEST) {
        return false;
    }
    uint8_t luma[64], chroma[64];
    JpegQuantTables(quality, luma, chroma);
    ComponentCoder lumaCoder = SetUpCoder(luma, 0);
    ComponentCoder cbCoder = SetUpCoder(chroma, 1);
    ComponentCoder crCoder = cbCoder;

    const uint32_t unitsAcross = (image.width + 15) / 16;
    const uint32_t unitsDown = (image.height + 15) / 16;
    const size_t rowBytesMax = static_cast<size_t>(unitsAcross) * UNIT_BYTES_MAX + TAIL_BYTES;
    out->resize(HEADER_BYTES_MAX + rowBytesMax);
    BitWriter w = {PutHeaders(out->data(), image.width, image.height, luma, chroma), 0, 0};

    float lumaBlocks[4][64], cb[64], cr[64];
    const uint8_t* rows[16];
    size_t columns[16];
    for (uint32_t unitY = 0; unitY < unitsDown; ++unitY) {
        size_t written = static_cast<size_t>(w.next - out->data());
        if (out->size() < written + rowBytesMax) {
            out->resize(written + rowBytesMax);
            w.next = out->data() + written;
        }
        for (int i = 0; i < 16; ++i) {
            uint32_t y = unitY * 16 + i;
            if (y >= image.height) {
                y = image.height - 1;
            }
            rows[i] = image.topRow + static_cast<ptrdiff_t>(y) * image.stride;
        }
        for (uint32_t unitX = 0; unitX < unitsAcross; ++unitX) {
            for (int i = 0; i < 16; ++i) {
                uint32_t x = unitX * 16 + i;
                columns[i] = static_cast<size_t>(x < image.width ? x : image.width - 1) * 4;
            }
            LoadUnit(rows, columns, lumaBlocks, cb, cr);
            for (int i = 0; i < 4; ++i) {
                EncodeBlock(&w, lumaBlocks[i], &lumaCoder);
            }
            EncodeBlock(&w, cb, &cbCoder);
            EncodeBlock(&w, cr, &crCoder);
        }
    }
    FlushBits(&w);
    *w.next++ = 0xff;
    *w.next++ = 0xd9;
    out->resize(static_cast<size_t>(w.next - out->data()));
    return true;
}
