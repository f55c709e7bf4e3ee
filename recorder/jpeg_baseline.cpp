#include "jpeg_baseline.h"

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Entropy-coded bytes go out through an accumulator as wide as a register, a whole
// accumulator at a time, with a zero stuffed after every 0xFF as the format requires.
typedef size_t BitBuffer;
static const int BUFFER_BITS = sizeof(BitBuffer) * 8;

struct BitWriter {
    uint8_t* next;
    BitBuffer bits;   // the last BUFFER_BITS - free bits are pending, oldest first
    int free;
};

static inline uint32_t BigEndian(uint32_t value)
{
    return __builtin_bswap32(value);
}

static inline uint64_t BigEndian(uint64_t value)
{
    return __builtin_bswap64(value);
}

static inline void EmitByte(BitWriter* w, uint8_t byte)
{
    *w->next++ = byte;
    if (byte == 0xff) {
        *w->next++ = 0;
    }
}

static inline void EmitWhole(BitWriter* w, BitBuffer whole)
{
    const BitBuffer ones = ~static_cast<BitBuffer>(0) / 0xff;
    // Non-zero when a byte may be 0xFF (a false alarm only beside a real one).
    if ((whole & (ones << 7) & ~(whole + ones)) == 0) {
        BitBuffer bigEndian = BigEndian(whole);
        memcpy(w->next, &bigEndian, sizeof bigEndian);
        w->next += sizeof bigEndian;
        return;
    }
    for (int shift = BUFFER_BITS - 8; shift >= 0; shift -= 8) {
        EmitByte(w, static_cast<uint8_t>(whole >> shift));
    }
}

// `length` at most 27 (a 16-bit code with 11 magnitude bits), `value` no wider.
static inline void PutBits(BitWriter* w, uint32_t value, int length)
{
    if (length < w->free) {
        w->bits = (w->bits << length) | value;
        w->free -= length;
        return;
    }
    int over = length - w->free;
    EmitWhole(w, (w->bits << w->free) | (value >> over));
    // The bits of `value` already sent are shifted out before the next whole one goes.
    w->bits = value;
    w->free = BUFFER_BITS - over;
}

static void FlushBits(BitWriter* w)
{
    int pending = BUFFER_BITS - w->free;
    while (pending >= 8) {
        pending -= 8;
        EmitByte(w, static_cast<uint8_t>(w->bits >> pending));
    }
    if (pending > 0) {
        // The last byte is padded with one bits.
        int pad = 8 - pending;
        EmitByte(w, static_cast<uint8_t>((w->bits << pad) | ((1u << pad) - 1)));
    }
    w->free = BUFFER_BITS;
}

// `magnitude` non-zero.
static inline int MagnitudeBits(uint32_t magnitude)
{
    return 32 - __builtin_clz(magnitude);
}

static inline void PutCoded(BitWriter* w, const HuffmanCode& code, int value, int bits)
{
    // Negative values are sent as value - 1 in `bits` bits (ones' complement).
    int sign = value >> 31;
    uint32_t extra = static_cast<uint32_t>(value + sign) & ((1u << bits) - 1);
    PutBits(w, (static_cast<uint32_t>(code.code) << bits) | extra, code.length + bits);
}

// GCC's vector types: SSE instructions on x86, plain code elsewhere, from one source.
typedef float Float4 __attribute__((vector_size(16)));
typedef int32_t Int4 __attribute__((vector_size(16)));
typedef uint32_t Uint4 __attribute__((vector_size(16)));

// An 8x8 block, two vectors a row: v[row * 2 + half] holds columns half * 4 to half * 4 + 3.
struct Block {
    Float4 v[16];
};

// Each 4x4 quarter transposed in registers, the two off the diagonal swapped.
static inline void Transpose(const Block& in, Block* out)
{
    for (int rowHalf = 0; rowHalf < 2; ++rowHalf) {
        for (int half = 0; half < 2; ++half) {
            const Float4* r = in.v + rowHalf * 8 + half;
            Float4 t0 = __builtin_shuffle(r[0], r[2], Int4{0, 4, 1, 5});
            Float4 t1 = __builtin_shuffle(r[4], r[6], Int4{0, 4, 1, 5});
            Float4 t2 = __builtin_shuffle(r[0], r[2], Int4{2, 6, 3, 7});
            Float4 t3 = __builtin_shuffle(r[4], r[6], Int4{2, 6, 3, 7});
            Float4* o = out->v + half * 8 + rowHalf;
            o[0] = __builtin_shuffle(t0, t1, Int4{0, 1, 4, 5});
            o[2] = __builtin_shuffle(t0, t1, Int4{2, 3, 6, 7});
            o[4] = __builtin_shuffle(t2, t3, Int4{0, 1, 4, 5});
            o[6] = __builtin_shuffle(t2, t3, Int4{2, 3, 6, 7});
        }
    }
}

// The AAN butterfly on d[0], d[2] .. d[14], four lines of the block at once, one a lane;
// outputs come scaled by 8 * AAN_SCALE[k] along the line.
static inline void DctPass(Float4* d)
{
    Float4 tmp0 = d[0] + d[14];
    Float4 tmp7 = d[0] - d[14];
    Float4 tmp1 = d[2] + d[12];
    Float4 tmp6 = d[2] - d[12];
    Float4 tmp2 = d[4] + d[10];
    Float4 tmp5 = d[4] - d[10];
    Float4 tmp3 = d[6] + d[8];
    Float4 tmp4 = d[6] - d[8];

    Float4 tmp10 = tmp0 + tmp3;
    Float4 tmp13 = tmp0 - tmp3;
    Float4 tmp11 = tmp1 + tmp2;
    Float4 tmp12 = tmp1 - tmp2;
    d[0] = tmp10 + tmp11;
    d[8] = tmp10 - tmp11;
    Float4 z1 = (tmp12 + tmp13) * 0.707106781f;
    d[4] = tmp13 + z1;
    d[12] = tmp13 - z1;

    tmp10 = tmp4 + tmp5;
    tmp11 = tmp5 + tmp6;
    tmp12 = tmp6 + tmp7;
    Float4 z5 = (tmp10 - tmp12) * 0.382683433f;
    Float4 z2 = 0.541196100f * tmp10 + z5;
    Float4 z4 = 1.306562965f * tmp12 + z5;
    Float4 z3 = tmp11 * 0.707106781f;
    Float4 z11 = tmp7 + z3;
    Float4 z13 = tmp7 - z3;
    d[10] = z13 + z2;
    d[6] = z13 - z2;
    d[2] = z11 + z4;
    d[14] = z11 - z4;
}

struct ComponentCoder {
    Float4 divisors[16];   // laid out as a Block
    const HuffmanCode* dc;
    const HuffmanCode* ac;
    int previousDc;
};

static ComponentCoder SetUpCoder(const uint8_t quant[64], int table)
{
    ComponentCoder coder;
    for (int i = 0; i < 64; ++i) {
        int row = i / 8, column = i % 8;
        coder.divisors[i / 4][i % 4] =
            1.0f / (quant[i] * AAN_SCALE[row] * AAN_SCALE[column] * 8.0f);
    }
    coder.dc = StandardCodes().dc[table];
    coder.ac = StandardCodes().ac[table];
    coder.previousDc = 0;
    return coder;
}

// Rows then columns (the order fixes the rounding, so the file is the same as ever),
// then quantised to `out` in natural order.
static void TransformAndQuantise(Block* block, const ComponentCoder& coder, int32_t out[64])
{
    Block lines;
    Transpose(*block, &lines);
    DctPass(lines.v);
    DctPass(lines.v + 1);
    Transpose(lines, block);
    DctPass(block->v);
    DctPass(block->v + 1);
    for (int i = 0; i < 16; ++i) {
        // Biased so that truncation rounds to nearest on both sides of zero.
        Int4 value = __builtin_convertvector(block->v[i] * coder.divisors[i] + 16384.5f, Int4) -
                     16384;
        memcpy(out + i * 4, &value, sizeof value);
    }
}

// Bit k set where coefficient k (zigzag order) is not zero.
static inline uint64_t NonZero(const int32_t zigzag[64])
{
    uint64_t mask = 0;
#if defined(__SSE2__)
    for (int i = 0; i < 4; ++i) {
        __m128i zero[4];
        for (int j = 0; j < 4; ++j) {
            __m128i value;
            memcpy(&value, zigzag + i * 16 + j * 4, sizeof value);
            zero[j] = _mm_cmpeq_epi32(value, _mm_setzero_si128());
        }
        __m128i bytes = _mm_packs_epi16(_mm_packs_epi32(zero[0], zero[1]),
                                        _mm_packs_epi32(zero[2], zero[3]));
        mask |= static_cast<uint64_t>(~_mm_movemask_epi8(bytes) & 0xffff) << (i * 16);
    }
#else
    for (int k = 0; k < 64; ++k) {
        mask |= static_cast<uint64_t>(zigzag[k] != 0) << k;
    }
#endif
    return mask;
}

// `mask` non-zero. In halves: a 32-bit build would call a library routine for 64 bits.
static inline int LowestBit(uint64_t mask)
{
    uint32_t low = static_cast<uint32_t>(mask);
    return low != 0 ? __builtin_ctz(low) : 32 + __builtin_ctz(static_cast<uint32_t>(mask >> 32));
}

static void EncodeBlock(BitWriter* writer, Block* block, ComponentCoder* coder)
{
    // A local copy stays in registers: stores through `next` could alias the caller's.
    BitWriter local = *writer;
    BitWriter* w = &local;
    int32_t natural[64], zigzag[64];
    TransformAndQuantise(block, *coder, natural);
    // Unrolled, the reordering is a load and a store a coefficient.
#pragma GCC unroll 64
    for (int k = 0; k < 64; ++k) {
        zigzag[k] = natural[ZIGZAG[k]];
    }
    int diff = zigzag[0] - coder->previousDc;
    coder->previousDc = zigzag[0];
    int sign = diff >> 31;
    int bits = diff == 0 ? 0 : MagnitudeBits(static_cast<uint32_t>((diff ^ sign) - sign));
    PutCoded(w, coder->dc[bits], diff, bits);
    // Only the non-zero coefficients are visited; the zeros between them are the runs.
    uint64_t rest = NonZero(zigzag) & ~static_cast<uint64_t>(1);
    int previous = 0;
    while (rest != 0) {
        int k = LowestBit(rest);
        rest &= rest - 1;
        int run = k - previous - 1;
        previous = k;
        while (run >= 16) {
            const HuffmanCode& zeros = coder->ac[AC_SIXTEEN_ZEROS];
            PutBits(w, zeros.code, zeros.length);
            run -= 16;
        }
        int value = zigzag[k];
        if (static_cast<unsigned>(value + AC_MAGNITUDE_MAX) > 2 * AC_MAGNITUDE_MAX) {
            value = value < 0 ? -AC_MAGNITUDE_MAX : AC_MAGNITUDE_MAX;
        }
        sign = value >> 31;
        bits = MagnitudeBits(static_cast<uint32_t>((value ^ sign) - sign));
        PutCoded(w, coder->ac[(run << 4) | bits], value, bits);
    }
    if (previous != 63) {
        const HuffmanCode& end = coder->ac[AC_END_OF_BLOCK];
        PutBits(w, end.code, end.length);
    }
    *writer = local;
}

static inline Float4 Channel(Uint4 pixels, int shift)
{
    return __builtin_convertvector(Int4((pixels >> shift) & 0xff), Float4);
}

// One 16x16 unit of BGRX pixels (little-endian words, as on every Windows machine):
// four luma blocks (left to right, top to bottom) and one block each of Cb and Cr from
// 2x2 averages, all shifted to be centred on zero.
static void LoadUnit(const uint8_t* top, ptrdiff_t stride, Block luma[4], Block* cb, Block* cr)
{
    for (int y = 0; y < 16; ++y) {
        const uint8_t* row = top + y * stride;
        for (int x = 0; x < 4; ++x) {
            Uint4 p;
            memcpy(&p, row + x * 16, sizeof p);
            luma[(y / 8) * 2 + x / 2].v[(y % 8) * 2 + x % 2] =
                0.299f * Channel(p, 16) + 0.587f * Channel(p, 8) + 0.114f * Channel(p, 0) - 128.0f;
        }
    }
    for (int y = 0; y < 8; ++y) {
        const uint8_t* upper = top + y * 2 * stride;
        for (int x = 0; x < 2; ++x) {
            // Blue and red sums in the low and high halves of a word, green in the low.
            Uint4 blueRed[2], green[2];
            for (int i = 0; i < 2; ++i) {
                Uint4 a, b;
                memcpy(&a, upper + x * 32 + i * 16, sizeof a);
                memcpy(&b, upper + stride + x * 32 + i * 16, sizeof b);
                blueRed[i] = (a & 0x00ff00ff) + (b & 0x00ff00ff);
                green[i] = ((a >> 8) & 0xff) + ((b >> 8) & 0xff);
            }
            Uint4 pairs = __builtin_shuffle(blueRed[0], blueRed[1], Uint4{0, 2, 4, 6}) +
                          __builtin_shuffle(blueRed[0], blueRed[1], Uint4{1, 3, 5, 7});
            Uint4 greens = __builtin_shuffle(green[0], green[1], Uint4{0, 2, 4, 6}) +
                           __builtin_shuffle(green[0], green[1], Uint4{1, 3, 5, 7});
            Float4 blue = __builtin_convertvector(Int4(pairs & 0xffff), Float4);
            Float4 red = __builtin_convertvector(Int4(pairs >> 16), Float4);
            Float4 greenSum = __builtin_convertvector(Int4(greens), Float4);
            cb->v[y * 2 + x] = (-0.168736f * red - 0.331264f * greenSum + 0.5f * blue) * 0.25f;
            cr->v[y * 2 + x] = (0.5f * red - 0.418688f * greenSum - 0.081312f * blue) * 0.25f;
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
    BitWriter w = {PutHeaders(out->data(), image.width, image.height, luma, chroma), 0,
                   BUFFER_BITS};

    Block lumaBlocks[4], cb, cr;
    // Units past the right or bottom edge repeat the image's last column and row.
    uint32_t edge[16 * 16];
    for (uint32_t unitY = 0; unitY < unitsDown; ++unitY) {
        size_t written = static_cast<size_t>(w.next - out->data());
        if (out->size() < written + rowBytesMax) {
            out->resize(written + rowBytesMax);
            w.next = out->data() + written;
        }
        const uint8_t* rows[16];
        for (int i = 0; i < 16; ++i) {
            uint32_t y = unitY * 16 + i;
            rows[i] = image.topRow + static_cast<ptrdiff_t>(y < image.height ? y : image.height - 1) *
                                         image.stride;
        }
        for (uint32_t unitX = 0; unitX < unitsAcross; ++unitX) {
            if (unitX * 16 + 16 <= image.width && unitY * 16 + 16 <= image.height) {
                LoadUnit(rows[0] + unitX * 64, image.stride, lumaBlocks, &cb, &cr);
            } else {
                for (int i = 0; i < 16 * 16; ++i) {
                    uint32_t x = unitX * 16 + i % 16;
                    memcpy(&edge[i], rows[i / 16] + (x < image.width ? x : image.width - 1) * 4, 4);
                }
                LoadUnit(reinterpret_cast<const uint8_t*>(edge), 16 * 4, lumaBlocks, &cb, &cr);
            }
            for (int i = 0; i < 4; ++i) {
                EncodeBlock(&w, &lumaBlocks[i], &lumaCoder);
            }
            EncodeBlock(&w, &cb, &cbCoder);
            EncodeBlock(&w, &cr, &crCoder);
        }
    }
    FlushBits(&w);
    *w.next++ = 0xff;
    *w.next++ = 0xd9;
    out->resize(static_cast<size_t>(w.next - out->data()));
    return true;
}
