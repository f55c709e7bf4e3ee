// The recording's JPEG encoder: synthetic images encoded and decoded again by the
// platform's own JPEG decoder (WIC), so that a wrong table, block order or edge
// shows as pixel error; plus the file's structure, quality and refusals.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincodec.h>

#include <math.h>
#include <string.h>
#include <stdint.h>

#include <initializer_list>
#include <vector>

#include "jpeg_baseline.h"

namespace {

enum Pattern { SOLID, GRADIENT, DENSE, CHECKER };

struct Image {
    uint32_t width, height;
    std::vector<uint8_t> bgrx;   // top row first, no padding
};

Image MakeImage(Pattern pattern, uint32_t width, uint32_t height, const uint8_t colour[3],
                uint8_t padding)
{
    Image image = {width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    uint32_t random = 12345;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &image.bgrx[(static_cast<size_t>(y) * width + x) * 4];
            if (pattern == SOLID) {
                p[0] = colour[0];
                p[1] = colour[1];
                p[2] = colour[2];
            } else if (pattern == CHECKER) {
                p[0] = p[1] = p[2] = (x + y) % 2 == 0 ? 0 : 255;
            } else if (pattern == GRADIENT) {
                p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
                p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
                p[2] = static_cast<uint8_t>((x + y) * 255 / (width + height));
            } else {
                // Like text on coloured bars: sharp dark strokes over smooth colour.
                random = random * 1103515245 + 12345;
                bool stroke = (y % 16) < 11 && ((random >> 16) % 3) == 0;
                p[0] = stroke ? 20 : static_cast<uint8_t>(x * 7);
                p[1] = stroke ? 20 : static_cast<uint8_t>(x * 3);
                p[2] = stroke ? 20 : static_cast<uint8_t>(255 - x);
            }
            p[3] = padding;
        }
    }
    return image;
}

BgrxImage TopDown(const Image& image)
{
    return {image.bgrx.data(), static_cast<ptrdiff_t>(image.width) * 4, image.width,
            image.height};
}

struct Decoded {
    uint32_t width, height;
    std::vector<uint8_t> bgr;   // top row first, 3 bytes a pixel
};

class WicDecoder : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                               CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                               reinterpret_cast<void**>(&factory))));
    }
    static void TearDownTestSuite()
    {
        if (factory != nullptr) {
            factory->Release();
            factory = nullptr;
        }
        CoUninitialize();
    }

    // The HRESULT of the first call that failed, S_OK when the image decoded.
    static HRESULT Decode(const std::vector<uint8_t>& jpeg, Decoded* out)
    {
        IWICStream* stream = nullptr;
        IWICBitmapDecoder* decoder = nullptr;
        IWICBitmapFrameDecode* frame = nullptr;
        IWICBitmapSource* converted = nullptr;
        UINT width = 0, height = 0;
        HRESULT hr = factory->CreateStream(&stream);
        if (SUCCEEDED(hr)) {
            hr = stream->InitializeFromMemory(const_cast<BYTE*>(jpeg.data()),
                                              static_cast<DWORD>(jpeg.size()));
        }
        if (SUCCEEDED(hr)) {
            hr = factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnLoad,
                                                  &decoder);
        }
        if (SUCCEEDED(hr)) {
            hr = decoder->GetFrame(0, &frame);
        }
        if (SUCCEEDED(hr)) {
            hr = WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, frame, &converted);
        }
        if (SUCCEEDED(hr)) {
            hr = converted->GetSize(&width, &height);
        }
        if (SUCCEEDED(hr)) {
            out->width = width;
            out->height = height;
            out->bgr.assign(static_cast<size_t>(width) * height * 3, 0);
            hr = converted->CopyPixels(nullptr, width * 3, static_cast<UINT>(out->bgr.size()),
                                       out->bgr.data());
        }
        for (IUnknown* object : std::initializer_list<IUnknown*>{converted, frame, decoder, stream}) {
            if (object != nullptr) {
                object->Release();
            }
        }
        return hr;
    }

    static IWICImagingFactory* factory;
};

IWICImagingFactory* WicDecoder::factory = nullptr;

struct Error {
    int max;
    double psnr;
};

Error Compare(const Image& source, const Decoded& decoded)
{
    Error error = {0, 0};
    double squares = 0;
    size_t pixels = static_cast<size_t>(source.width) * source.height;
    for (size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c) {
            int d = source.bgrx[i * 4 + c] - decoded.bgr[i * 3 + c];
            squares += d * d;
            error.max = d > error.max ? d : -d > error.max ? -d : error.max;
        }
    }
    double mse = squares / (pixels * 3);
    error.psnr = mse == 0 ? 99 : 10 * log10(255.0 * 255.0 / mse);
    return error;
}

// Walks the segments from SOI to SOS: every segment the frame needs is there, in an
// order a decoder accepts, the frame header gives the size, and the file ends at EOI.
void ExpectWellFormed(const std::vector<uint8_t>& jpeg, uint32_t width, uint32_t height)
{
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[0], 0xff);
    EXPECT_EQ(jpeg[1], 0xd8);
    EXPECT_EQ(jpeg[jpeg.size() - 2], 0xff);
    EXPECT_EQ(jpeg[jpeg.size() - 1], 0xd9);
    std::vector<uint8_t> markers;
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xff) {
        uint8_t marker = jpeg[at + 1];
        size_t length = jpeg[at + 2] << 8 | jpeg[at + 3];
        markers.push_back(marker);
        if (marker == 0xc0) {
            ASSERT_LE(at + 9, jpeg.size());
            EXPECT_EQ(static_cast<uint32_t>(jpeg[at + 5] << 8 | jpeg[at + 6]), height);
            EXPECT_EQ(static_cast<uint32_t>(jpeg[at + 7] << 8 | jpeg[at + 8]), width);
        }
        if (marker == 0xda) {
            break;
        }
        at += 2 + length;
    }
    EXPECT_EQ(markers, (std::vector<uint8_t>{0xe0, 0xdb, 0xc0, 0xc4, 0xda}));
}

const uint8_t BLUE_GREY[3] = {220, 140, 30};
const uint8_t WHITE[3] = {255, 255, 255};
const uint8_t BLACK[3] = {0, 0, 0};
const uint8_t RED[3] = {0, 0, 255};
const uint8_t GREEN[3] = {0, 255, 0};

struct RoundTripCase {
    Pattern pattern;
    uint32_t width, height;
    const uint8_t* colour;
    int quality;
    int maxError;     // 0: not checked
    double minPsnr;
};

TEST_F(WicDecoder, RoundTripTable)
{
    const RoundTripCase cases[] = {
        {SOLID, 1, 1, BLUE_GREY, 75, 3, 0},
        {SOLID, 7, 5, WHITE, 75, 3, 0},
        {SOLID, 17, 33, BLACK, 75, 3, 0},
        {SOLID, 17, 33, RED, 75, 4, 0},
        {SOLID, 640, 480, GREEN, 75, 4, 0},
        {SOLID, 640, 480, BLUE_GREY, 25, 6, 0},
        // At the lowest quality a flat block's level moves by up to half of 255 / 8.
        {SOLID, 640, 480, BLUE_GREY, 1, 24, 0},
        // Steep gradients lose most to the halved chroma; these bounds sit a few dB
        // under what a correct encoder gives, far above a wrong table or block order.
        {GRADIENT, 7, 5, nullptr, 90, 0, 21},
        {GRADIENT, 17, 33, nullptr, 90, 0, 34},
        {GRADIENT, 640, 480, nullptr, 75, 0, 40},
        {GRADIENT, 640, 480, nullptr, 25, 0, 35},
        // One-pixel dark strokes on colour keep little of their colour at half chroma.
        {DENSE, 640, 480, nullptr, 90, 0, 18},
        // Black and white pixels in turn: the last coefficient of every block at its
        // largest, so no block ends early.
        {CHECKER, 33, 17, nullptr, 100, 2, 0},
    };
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "pattern " << c.pattern << " " << c.width << "x"
                                        << c.height << " quality " << c.quality);
        Image image = MakeImage(c.pattern, c.width, c.height, c.colour, 0);
        std::vector<uint8_t> jpeg;
        ASSERT_TRUE(EncodeBaselineJpeg(TopDown(image), c.quality, &jpeg));
        ExpectWellFormed(jpeg, c.width, c.height);
        Decoded decoded;
        ASSERT_EQ(Decode(jpeg, &decoded), S_OK);
        ASSERT_EQ(decoded.width, c.width);
        ASSERT_EQ(decoded.height, c.height);
        Error error = Compare(image, decoded);
        if (c.maxError > 0) {
            EXPECT_LE(error.max, c.maxError);
        }
        EXPECT_GE(error.psnr, c.minPsnr);
    }
}

// A bottom-up image (last row first in memory, walked with a negative stride) gives
// the same file as the same picture stored top-down.
TEST_F(WicDecoder, BottomUpRowsGiveTheSameImage)
{
    Image image = MakeImage(GRADIENT, 17, 33, nullptr, 0);
    std::vector<uint8_t> flipped(image.bgrx.size());
    const size_t row = static_cast<size_t>(image.width) * 4;
    for (uint32_t y = 0; y < image.height; ++y) {
        memcpy(&flipped[(image.height - 1 - y) * row], &image.bgrx[y * row], row);
    }
    BgrxImage bottomUp = {&flipped[(image.height - 1) * row], -static_cast<ptrdiff_t>(row),
                          image.width, image.height};
    std::vector<uint8_t> expected, actual;
    ASSERT_TRUE(EncodeBaselineJpeg(TopDown(image), 75, &expected));
    ASSERT_TRUE(EncodeBaselineJpeg(bottomUp, 75, &actual));
    EXPECT_EQ(actual, expected);
}

TEST(EncodeBaselineJpeg, TheFourthByteIsIgnored)
{
    Image zero = MakeImage(GRADIENT, 17, 33, nullptr, 0);
    Image full = MakeImage(GRADIENT, 17, 33, nullptr, 0xff);
    std::vector<uint8_t> a, b;
    ASSERT_TRUE(EncodeBaselineJpeg(TopDown(zero), 75, &a));
    ASSERT_TRUE(EncodeBaselineJpeg(TopDown(full), 75, &b));
    EXPECT_EQ(a, b);
}

TEST(EncodeBaselineJpeg, SizeFallsWithQuality)
{
    Image image = MakeImage(DENSE, 640, 480, nullptr, 0);
    std::vector<uint8_t> jpeg;
    size_t previous = SIZE_MAX;
    for (int quality : {100, 90, 75, 50, 25, 10, 1}) {
        ASSERT_TRUE(EncodeBaselineJpeg(TopDown(image), quality, &jpeg));
        EXPECT_LT(jpeg.size(), previous) << "quality " << quality;
        previous = jpeg.size();
    }
}

// One vector serves every frame: the second frame needs no new memory and carries
// nothing over from the first.
TEST(EncodeBaselineJpeg, ReusedBufferKeepsItsMemoryAndNoState)
{
    Image dense = MakeImage(DENSE, 640, 480, nullptr, 0);
    Image solid = MakeImage(SOLID, 640, 480, BLUE_GREY, 0);
    std::vector<uint8_t> jpeg, fresh;
    ASSERT_TRUE(EncodeBaselineJpeg(TopDown(dense), 75, &jpeg));
    std::vector<uint8_t> first = jpeg;
    const uint8_t* memory = jpeg.data();
    ASSERT_TRUE(EncodeBaselineJpeg(TopDown(solid), 75, &jpeg));
    ASSERT_TRUE(EncodeBaselineJpeg(TopDown(solid), 75, &fresh));
    EXPECT_EQ(jpeg, fresh);
    ASSERT_TRUE(EncodeBaselineJpeg(TopDown(dense), 75, &jpeg));
    EXPECT_EQ(jpeg.data(), memory);
    EXPECT_EQ(jpeg, first);
}

TEST(EncodeBaselineJpeg, RefusesWhatTheFormatCannotHold)
{
    static const uint8_t pixel[4] = {1, 2, 3, 0};
    const struct {
        BgrxImage image;
        int quality;
    } cases[] = {
        {{pixel, 4, 0, 1}, 75},
        {{pixel, 4, 1, 0}, 75},
        {{pixel, 4, JPEG_SIDE_MAX + 1, 1}, 75},
        {{pixel, 4, 1, JPEG_SIDE_MAX + 1}, 75},
        {{nullptr, 4, 1, 1}, 75},
        {{pixel, 4, 1, 1}, JPEG_QUALITY_LOWEST - 1},
        {{pixel, 4, 1, 1}, JPEG_QUALITY_HIGHEST + 1},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> jpeg = {1, 2, 3};
        EXPECT_FALSE(EncodeBaselineJpeg(c.image, c.quality, &jpeg))
            << c.image.width << "x" << c.image.height << " quality " << c.quality;
        EXPECT_TRUE(jpeg.empty());
    }
}

TEST(JpegQuantTables, UsualQualityScaling)
{
    const struct {
        int quality;
        int index;
        uint8_t luma, chroma;
    } cases[] = {
        {50, 0, 16, 17},     // the published tables as they are
        {50, 63, 99, 99},
        {75, 0, 8, 9},       // half, rounded
        {25, 0, 32, 34},     // double
        {90, 63, 20, 20},
        {100, 0, 1, 1},      // all ones at the top
        {100, 63, 1, 1},
        {1, 0, 255, 255},    // clamped to the 8-bit entries baseline allows
        {0, 0, 255, 255},    // out of range is taken as the nearest end
        {101, 63, 1, 1},
    };
    for (const auto& c : cases) {
        uint8_t luma[64], chroma[64];
        JpegQuantTables(c.quality, luma, chroma);
        EXPECT_EQ(luma[c.index], c.luma) << c.quality << " " << c.index;
        EXPECT_EQ(chroma[c.index], c.chroma) << c.quality << " " << c.index;
    }
}

} // namespace
