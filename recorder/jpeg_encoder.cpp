#include "jpeg_encoder.h"

#include "platform_error.h"

// Room for any frame: at the qualities used JPEG never grows past the raw pixels.
#define JPEG_BUFFER_SLACK (64 * 1024)

template <typename T> static void Release(T*& object)
{
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

bool OpenJpegEncoder(JpegEncoder* encoder, UINT width, UINT height, char* error, size_t size)
{
    encoder->factory = nullptr;
    encoder->stream = nullptr;
    encoder->buffer.resize(static_cast<size_t>(width) * height * 3 + JPEG_BUFFER_SLACK);
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(&encoder->factory));
    if (FAILED(hr)) {
        DescribeHresult("CoCreateInstance(WICImagingFactory)", hr, error, size);
        return false;
    }
    hr = encoder->factory->CreateStream(&encoder->stream);
    if (FAILED(hr)) {
        DescribeHresult("IWICImagingFactory::CreateStream", hr, error, size);
        CloseJpegEncoder(encoder);
        return false;
    }
    hr = encoder->stream->InitializeFromMemory(encoder->buffer.data(),
                                               static_cast<DWORD>(encoder->buffer.size()));
    if (FAILED(hr)) {
        DescribeHresult("IWICStream::InitializeFromMemory", hr, error, size);
        CloseJpegEncoder(encoder);
        return false;
    }
    return true;
}

static HRESULT SetQuality(IPropertyBag2* properties, float quality)
{
    PROPBAG2 option = {};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = quality;
    return properties->Write(1, &option, &value);
}

bool EncodeJpeg(JpegEncoder* encoder, const BYTE* pixels, UINT width, UINT height, UINT stride,
                float quality, const BYTE** data, DWORD* bytes, char* error, size_t size)
{
    IWICBitmapEncoder* container = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* properties = nullptr;
    const char* call = "IWICStream::Seek";
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER end = {};
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;

    HRESULT hr = encoder->stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) {
        call = "CoCreateInstance(WICJpegEncoder)";
        hr = CoCreateInstance(CLSID_WICJpegEncoder, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICBitmapEncoder, reinterpret_cast<void**>(&container));
    }
    if (SUCCEEDED(hr)) {
        call = "IWICBitmapEncoder::Initialize";
        hr = container->Initialize(encoder->stream, WICBitmapEncoderNoCache);
    }
    if (SUCCEEDED(hr)) {
        call = "IWICBitmapEncoder::CreateNewFrame";
        hr = container->CreateNewFrame(&frame, &properties);
    }
    if (SUCCEEDED(hr)) {
        call = "IPropertyBag2::Write(ImageQuality)";
        hr = SetQuality(properties, quality);
    }
    if (SUCCEEDED(hr)) {
        call = "IWICBitmapFrameEncode::Initialize";
        hr = frame->Initialize(properties);
    }
    if (SUCCEEDED(hr)) {
        call = "IWICBitmapFrameEncode::SetSize";
        hr = frame->SetSize(width, height);
    }
    if (SUCCEEDED(hr)) {
        call = "IWICBitmapFrameEncode::SetPixelFormat";
        hr = frame->SetPixelFormat(&format);
        if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
            hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
        }
    }
    if (SUCCEEDED(hr)) {
        call = "IWICBitmapFrameEncode::WritePixels";
        hr = frame->WritePixels(height, stride, stride * height, const_cast<BYTE*>(pixels));
    }
    if (SUCCEEDED(hr)) {
        call = "IWICBitmapFrameEncode::Commit";
        hr = frame->Commit();
    }
    if (SUCCEEDED(hr)) {
        call = "IWICBitmapEncoder::Commit";
        hr = container->Commit();
    }
    if (SUCCEEDED(hr)) {
        call = "IWICStream::Seek";
        hr = encoder->stream->Seek(zero, STREAM_SEEK_CUR, &end);
    }
    Release(properties);
    Release(frame);
    Release(container);
    if (FAILED(hr)) {
        DescribeHresult(call, hr, error, size);
        return false;
    }
    *data = encoder->buffer.data();
    *bytes = static_cast<DWORD>(end.QuadPart);
    return true;
}

void CloseJpegEncoder(JpegEncoder* encoder)
{
    Release(encoder->stream);
    Release(encoder->factory);
}
