#include "win32_pictures.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "layout_scale.h"

namespace kalvoran {

namespace {

constexpr std::uint32_t kOpaqueFuchsia = 0xFFFF00FFu;  // BGRA

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
};

// Premultiplied BGRA, top-down.
struct Pixels {
  UINT width = 0;
  UINT height = 0;
  std::vector<std::uint32_t> data;
};

bool Copy(IWICBitmapSource* source, Pixels& out) {
  source->GetSize(&out.width, &out.height);
  out.data.resize(static_cast<std::size_t>(out.width) * out.height);
  return SUCCEEDED(source->CopyPixels(nullptr, out.width * 4, out.width * out.height * 4,
                                      reinterpret_cast<BYTE*>(out.data.data())));
}

bool Decode(IWICImagingFactory* factory, int resource, Pixels& out) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource), RT_RCDATA);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(module, found);
  if (!bytes || size == 0) return false;
  Released<IWICStream> stream;
  Released<IWICBitmapDecoder> decoder;
  Released<IWICBitmapFrameDecode> frame;
  Released<IWICFormatConverter> converter;
  return SUCCEEDED(factory->CreateStream(&stream.p)) &&
         SUCCEEDED(
             stream.p->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size)) &&
         SUCCEEDED(factory->CreateDecoderFromStream(stream.p, nullptr,
                                                    WICDecodeMetadataCacheOnDemand, &decoder.p)) &&
         SUCCEEDED(decoder.p->GetFrame(0, &frame.p)) &&
         SUCCEEDED(factory->CreateFormatConverter(&converter.p)) &&
         SUCCEEDED(converter.p->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA,
                                           WICBitmapDitherTypeNone, nullptr, 0.0,
                                           WICBitmapPaletteTypeCustom)) &&
         Copy(converter.p, out);
}

// The picture at another size, smoothly. Its fuchsia pixels take no part in
// the blend (they count as transparent), so no pink bleeds into the edges.
// Without `keyTransparent` the key is then put back pixel for pixel where the
// nearest pixel of the original is fuchsia, and the edge pixels next to it are
// made opaque again: the shape stays as sharp as it is drawn.
bool Resize(IWICImagingFactory* factory, Pixels& picture, UINT width, UINT height,
            bool keyTransparent) {
  Pixels source = picture;
  for (std::uint32_t& pixel : source.data) {
    if (pixel == kOpaqueFuchsia) pixel = 0;
  }
  Released<IWICBitmap> bitmap;
  Released<IWICBitmapScaler> scaler;
  Pixels scaled;
  if (FAILED(factory->CreateBitmapFromMemory(
          source.width, source.height, GUID_WICPixelFormat32bppPBGRA, source.width * 4,
          source.width * source.height * 4, reinterpret_cast<BYTE*>(source.data.data()),
          &bitmap.p)) ||
      FAILED(factory->CreateBitmapScaler(&scaler.p)) ||
      FAILED(scaler.p->Initialize(bitmap.p, width, height, WICBitmapInterpolationModeFant)) ||
      !Copy(scaler.p, scaled)) {
    return false;
  }
  if (!keyTransparent) {
    for (UINT y = 0; y < height; ++y) {
      const UINT sy = std::min(picture.height - 1, (2 * y + 1) * picture.height / (2 * height));
      for (UINT x = 0; x < width; ++x) {
        const UINT sx = std::min(picture.width - 1, (2 * x + 1) * picture.width / (2 * width));
        const std::uint32_t nearest = picture.data[sy * picture.width + sx];
        std::uint32_t& pixel = scaled.data[y * width + x];
        const std::uint32_t alpha = pixel >> 24;
        if (nearest == kOpaqueFuchsia || (nearest >> 24 == 255 && alpha == 0)) {
          pixel = nearest;
        } else if (nearest >> 24 == 255 && alpha < 255) {
          // Premultiplied colour over its coverage: the colour itself, opaque.
          std::uint32_t opaque = 0xFF000000u;
          for (int shift = 0; shift < 24; shift += 8) {
            const std::uint32_t c = (pixel >> shift & 0xFF) * 255 / alpha;
            opaque |= std::min<std::uint32_t>(c, 255) << shift;
          }
          pixel = opaque;
        }
      }
    }
  }
  picture = std::move(scaled);
  return true;
}

HBITMAP ToBitmap(const Pixels& picture) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(picture.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(picture.height);  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (bitmap) CopyMemory(pixels, picture.data.data(), picture.data.size() * 4);
  return bitmap;
}

}  // namespace

int ArtResource(Art picture, int artDpi) {
  return (artDpi > kLayoutDpi ? 200 : 100) + static_cast<int>(picture);
}

HBITMAP LoadArt(Art picture, int dpi, int* width, int* height, bool keyTransparent) {
  Released<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory.p)))) {
    return nullptr;
  }
  const int artDpi = ArtDpiFor(dpi);
  Pixels pixels;
  if (!Decode(factory.p, ArtResource(picture, artDpi), pixels)) return nullptr;
  const auto w = static_cast<UINT>(ScaleLength(static_cast<int>(pixels.width), dpi, artDpi));
  const auto h = static_cast<UINT>(ScaleLength(static_cast<int>(pixels.height), dpi, artDpi));
  if ((w != pixels.width || h != pixels.height) && w > 0 && h > 0 &&
      !Resize(factory.p, pixels, w, h, keyTransparent)) {
    return nullptr;
  }
  if (keyTransparent) {
    for (std::uint32_t& pixel : pixels.data) {
      if (pixel == kOpaqueFuchsia) pixel = 0;
    }
  }
  HBITMAP bitmap = ToBitmap(pixels);
  if (bitmap && width) *width = static_cast<int>(pixels.width);
  if (bitmap && height) *height = static_cast<int>(pixels.height);
  return bitmap;
}

HICON ArtIcon(Art picture, int dpi) {
  int width = 0, height = 0;
  HBITMAP colour = LoadArt(picture, dpi, &width, &height);
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
