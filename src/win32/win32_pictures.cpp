#include "win32_pictures.h"

#include <wincodec.h>

#include <cstdint>

namespace kalvoran {

namespace {

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
};

}  // namespace

int ArtResource(Art picture) {
  return 100 + static_cast<int>(picture);
}

HBITMAP LoadArt(Art picture, int* width, int* height, bool keyTransparent) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(ArtResource(picture)), RT_RCDATA);
  if (!found) return nullptr;
  HGLOBAL loaded = LoadResource(module, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(module, found);
  if (!bytes || size == 0) return nullptr;

  Released<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory.p)))) {
    return nullptr;
  }
  Released<IWICStream> stream;
  Released<IWICBitmapDecoder> decoder;
  Released<IWICBitmapFrameDecode> frame;
  Released<IWICFormatConverter> converter;
  if (FAILED(factory.p->CreateStream(&stream.p)) ||
      FAILED(stream.p->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size)) ||
      FAILED(factory.p->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand,
                                                &decoder.p)) ||
      FAILED(decoder.p->GetFrame(0, &frame.p)) ||
      FAILED(factory.p->CreateFormatConverter(&converter.p)) ||
      FAILED(converter.p->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
    return nullptr;
  }
  UINT w = 0, h = 0;
  converter.p->GetSize(&w, &h);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(w);
  info.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (!bitmap) return nullptr;
  if (FAILED(converter.p->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(pixels)))) {
    DeleteObject(bitmap);
    return nullptr;
  }
  if (keyTransparent) {
    auto* pixel = static_cast<std::uint32_t*>(pixels);
    for (UINT i = 0; i < w * h; ++i) {
      if (pixel[i] == 0xFFFF00FFu) pixel[i] = 0;  // opaque fuchsia, BGRA
    }
  }
  if (width) *width = static_cast<int>(w);
  if (height) *height = static_cast<int>(h);
  return bitmap;
}

HICON ArtIcon(Art picture) {
  int width = 0, height = 0;
  HBITMAP colour = LoadArt(picture, &width, &height);
  if (!colour) return nullptr;
  // The alpha channel decides; the mask is only there because it must be.
  HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(colour);
  return icon;
}

}  // namespace kalvoran
