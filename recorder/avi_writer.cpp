#include "avi_writer.h"

#include "describe_error.h"
#include "recorder_logic.h"

bool OpenAviWriter(AviWriter* writer, const char* path, int width, int height, uint32_t fps,
                   char* error, size_t size)
{
    writer->file = nullptr;
    writer->stream = nullptr;
    writer->frames = 0;
    writer->dataBytes = 0;
    AVIFileInit();
    HRESULT hr = AVIFileOpenA(&writer->file, path, OF_WRITE | OF_CREATE, nullptr);
    if (FAILED(hr)) {
        DescribeHresult("AVIFileOpenA", hr, error, size);
        writer->file = nullptr;
        AVIFileExit();
        return false;
    }
    AVISTREAMINFOA info = {};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = mmioFOURCC('M', 'J', 'P', 'G');
    info.dwScale = 1;
    info.dwRate = fps;
    info.dwSuggestedBufferSize = static_cast<DWORD>(width) * height * 3;
    info.dwQuality = static_cast<DWORD>(-1);
    SetRect(&info.rcFrame, 0, 0, width, height);
    hr = AVIFileCreateStreamA(writer->file, &writer->stream, &info);
    if (FAILED(hr)) {
        DescribeHresult("AVIFileCreateStreamA", hr, error, size);
        writer->stream = nullptr;
        CloseAviWriter(writer, nullptr, 0);
        return false;
    }
    BITMAPINFOHEADER format = {};
    format.biSize = sizeof format;
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = 24;
    format.biCompression = mmioFOURCC('M', 'J', 'P', 'G');
    format.biSizeImage = static_cast<DWORD>(width) * height * 3;
    hr = AVIStreamSetFormat(writer->stream, 0, &format, sizeof format);
    if (FAILED(hr)) {
        DescribeHresult("AVIStreamSetFormat", hr, error, size);
        CloseAviWriter(writer, nullptr, 0);
        return false;
    }
    return true;
}

bool WriteAviFrame(AviWriter* writer, const void* data, DWORD bytes, char* error, size_t size)
{
    HRESULT hr = AVIStreamWrite(writer->stream, writer->frames, 1, const_cast<void*>(data),
                                static_cast<LONG>(bytes), AVIIF_KEYFRAME, nullptr, nullptr);
    if (FAILED(hr)) {
        DescribeHresult("AVIStreamWrite", hr, error, size);
        return false;
    }
    ++writer->frames;
    writer->dataBytes += FrameFileCost(bytes);
    return true;
}

bool CloseAviWriter(AviWriter* writer, char* error, size_t size)
{
    bool ok = true;
    if (writer->stream != nullptr) {
        AVIStreamRelease(writer->stream);
        writer->stream = nullptr;
    }
    if (writer->file != nullptr) {
        // The last release writes the headers and the index.
        ULONG left = AVIFileRelease(writer->file);
        writer->file = nullptr;
        if (left != 0 && error != nullptr) {
            ok = false;
            DescribeHresult("AVIFileRelease (file still referenced)", E_UNEXPECTED, error, size);
        }
        AVIFileExit();
    }
    return ok;
}
