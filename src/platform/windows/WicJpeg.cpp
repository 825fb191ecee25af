// The JPEG codec of the Windows build: the Windows Imaging Component, which every Windows has. It
// implements imaging/Jpeg.h, so the imaging code is the same on every system; only the library under it
// differs (libjpeg elsewhere).
#include <objbase.h>
#include <shlwapi.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "imaging/Jpeg.h"

namespace fernpad {
namespace {

using Microsoft::WRL::ComPtr;

void Check(HRESULT result, const char* what) {
  if (FAILED(result)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(result));
    throw JpegError(std::string("JPEG: ") + what + " failed (" + code + ")");
  }
}

// COM for the calling thread, for as long as the thread runs. A thread that has COM already, in
// whichever mode, keeps it as it is.
class ComForThisThread {
 public:
  ComForThisThread() : owned_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ComForThisThread(const ComForThisThread&) = delete;
  ComForThisThread& operator=(const ComForThisThread&) = delete;
  ~ComForThisThread() {
    if (owned_) ::CoUninitialize();
  }

 private:
  bool owned_;
};

ComPtr<IWICImagingFactory> Factory() {
  thread_local ComForThisThread com;
  ComPtr<IWICImagingFactory> factory;
  Check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
        "creating the imaging factory");
  return factory;
}

std::string StreamBytes(IStream* stream) {
  STATSTG info{};
  Check(stream->Stat(&info, STATFLAG_NONAME), "measuring the encoded picture");
  std::string out(static_cast<std::size_t>(info.cbSize.QuadPart), '\0');
  Check(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), "rewinding the encoded picture");
  ULONG read = 0;
  Check(stream->Read(out.data(), static_cast<ULONG>(out.size()), &read), "reading the encoded picture");
  out.resize(read);
  return out;
}

constexpr int kMaxJpegSide = 65500;

}  // namespace

std::string EncodeJpeg(const Bitmap24& picture, int quality) {
  if (picture.Empty()) throw JpegError("JPEG: cannot encode an empty picture");
  if (picture.Width() > kMaxJpegSide || picture.Height() > kMaxJpegSide) {
    throw JpegError("JPEG: picture too large for the format");
  }
  const ComPtr<IWICImagingFactory> factory = Factory();
  ComPtr<IStream> stream;
  stream.Attach(::SHCreateMemStream(nullptr, 0));
  if (!stream) throw std::bad_alloc();

  ComPtr<IWICBitmapEncoder> encoder;
  Check(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder), "creating the JPEG encoder");
  Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "starting the JPEG encoder");
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  Check(encoder->CreateNewFrame(&frame, &options), "creating the JPEG frame");

  PROPBAG2 names[2] = {};
  names[0].pstrName = const_cast<LPOLESTR>(L"ImageQuality");
  names[1].pstrName = const_cast<LPOLESTR>(L"JpegYCrCbSubsampling");
  VARIANT values[2];
  ::VariantInit(&values[0]);
  values[0].vt = VT_R4;
  values[0].fltVal = static_cast<float>(std::clamp(quality, 1, 100)) / 100.0f;
  ::VariantInit(&values[1]);
  values[1].vt = VT_UI1;
  values[1].bVal = WICJpegYCrCbSubsampling420;
  Check(options->Write(2, names, values), "setting the JPEG quality");
  Check(frame->Initialize(options.Get()), "starting the JPEG frame");

  Check(frame->SetSize(static_cast<UINT>(picture.Width()), static_cast<UINT>(picture.Height())),
        "sizing the JPEG frame");
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  Check(frame->SetPixelFormat(&format), "choosing the pixel format");
  if (!::IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) throw JpegError("JPEG: no 24-bit encoder");
  // The bitmap's rows are exactly what the encoder reads: blue, green, red, padded to four bytes.
  const auto stride = static_cast<UINT>(picture.Stride());
  Check(frame->WritePixels(static_cast<UINT>(picture.Height()), stride,
                           stride * static_cast<UINT>(picture.Height()), const_cast<BYTE*>(picture.Row(0))),
        "encoding the picture");
  Check(frame->Commit(), "finishing the JPEG frame");
  Check(encoder->Commit(), "finishing the JPEG file");
  return StreamBytes(stream.Get());
}

Bitmap24 DecodeJpeg(std::string_view data, std::uint64_t maxPixels) {
  if (data.empty()) throw JpegError("JPEG: no data");
  const ComPtr<IWICImagingFactory> factory = Factory();
  ComPtr<IStream> stream;
  stream.Attach(
      ::SHCreateMemStream(reinterpret_cast<const BYTE*>(data.data()), static_cast<UINT>(data.size())));
  if (!stream) throw std::bad_alloc();

  ComPtr<IWICBitmapDecoder> decoder;
  Check(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, &decoder), "creating the JPEG decoder");
  Check(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand), "reading the JPEG header");
  ComPtr<IWICBitmapFrameDecode> frame;
  Check(decoder->GetFrame(0, &frame), "reading the JPEG frame");
  UINT width = 0;
  UINT height = 0;
  Check(frame->GetSize(&width, &height), "reading the picture's size");
  if (static_cast<std::uint64_t>(width) * height > maxPixels) throw JpegError("JPEG: picture too large");

  ComPtr<IWICFormatConverter> converter;
  Check(factory->CreateFormatConverter(&converter), "creating the colour converter");
  Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                              WICBitmapPaletteTypeCustom),
        "converting the colours");
  Bitmap24 picture(static_cast<int>(width), static_cast<int>(height));
  const auto stride = static_cast<UINT>(picture.Stride());
  Check(converter->CopyPixels(nullptr, stride, stride * height, picture.Row(0)), "decoding the picture");
  return picture;
}

}  // namespace fernpad
