// Stands in for a third-party codec of the Windows Imaging Component (a RAW or HEIF extension)
// in tests: a COM server whose decoder reads files that start with "VKFAKE" and whose next
// byte tells it what to do: 'I' faults in Initialize, 'P' faults while copying pixels, anything
// else gives a 2 × 2 green picture. The tests register it for many file extensions.
#include <wincodec.h>
#include <windows.h>

#include <atomic>
#include <cstring>

namespace {

// {6C1E9A3B-2F0D-4B8E-9A57-0E5B2D7C4F11}
const CLSID kClsid = {0x6c1e9a3b, 0x2f0d, 0x4b8e, {0x9a, 0x57, 0x0e, 0x5b, 0x2d, 0x7c, 0x4f, 0x11}};

std::atomic<long> gObjects{0};

int Fault() {
  volatile int* volatile nowhere = nullptr;
  return *nowhere;
}

template <typename Interface>
class TObject : public Interface {
 public:
  TObject() { ++gObjects; }
  virtual ~TObject() { --gObjects; }
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (Accepts(iid)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual bool Accepts(REFIID iid) const { return IsEqualIID(iid, IID_IUnknown); }

 private:
  std::atomic<ULONG> references_{1};
};

// What a frame and a decoder answer alike: no palette, metadata, colour contexts or thumbnail.
template <typename Interface>
class TWicObject : public TObject<Interface> {
 public:
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override {
    return WINCODEC_ERR_PALETTEUNAVAILABLE;
  }
  HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader**) override {
    return WINCODEC_ERR_UNSUPPORTEDOPERATION;
  }
  HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource**) override {
    return WINCODEC_ERR_CODECNOTHUMBNAIL;
  }
};

class TFrame final : public TWicObject<IWICBitmapFrameDecode> {
 public:
  explicit TFrame(char mode) : mode_(mode) {}
  HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override {
    *width = 2;
    *height = 2;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    *format = GUID_WICPixelFormat32bppBGRA;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
    *x = 96;
    *y = 96;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT size,
                                       BYTE* pixels) override {
    if (mode_ == 'P') return Fault();
    const UINT rows = rect != nullptr ? static_cast<UINT>(rect->Height) : 2;
    const UINT columns = rect != nullptr ? static_cast<UINT>(rect->Width) : 2;
    if (stride * (rows - 1) + columns * 4 > size) return E_INVALIDARG;
    for (UINT y = 0; y < rows; ++y) {
      for (UINT x = 0; x < columns; ++x) {
        BYTE* p = pixels + y * stride + x * 4;
        p[0] = 0;
        p[1] = 200;
        p[2] = 0;
        p[3] = 255;
      }
    }
    return S_OK;
  }

 protected:
  bool Accepts(REFIID iid) const override {
    return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWICBitmapSource) ||
           IsEqualIID(iid, IID_IWICBitmapFrameDecode);
  }

 private:
  char mode_;
};

class TDecoder final : public TWicObject<IWICBitmapDecoder> {
 public:
  HRESULT STDMETHODCALLTYPE QueryCapability(IStream*, DWORD* capability) override {
    *capability = WICBitmapDecoderCapabilityCanDecodeAllImages;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, WICDecodeOptions) override {
    char head[7] = {};
    ULONG read = 0;
    const LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream->Read(head, sizeof head, &read)) || read != sizeof head ||
        std::memcmp(head, "VKFAKE", 6) != 0) {
      return WINCODEC_ERR_UNKNOWNIMAGEFORMAT;
    }
    if (head[6] == 'I') return Fault();
    mode_ = head[6];
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* format) override {
    *format = kClsid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDecoderInfo(IWICBitmapDecoderInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPreview(IWICBitmapSource**) override {
    return WINCODEC_ERR_UNSUPPORTEDOPERATION;
  }
  HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IWICBitmapFrameDecode** frame) override {
    if (index != 0) return E_INVALIDARG;
    *frame = new TFrame(mode_);
    return S_OK;
  }

 protected:
  bool Accepts(REFIID iid) const override {
    return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWICBitmapDecoder);
  }

 private:
  char mode_ = 0;
};

class TFactory final : public TObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* decoder = new TDecoder;
    const HRESULT hr = decoder->QueryInterface(iid, out);
    decoder->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 protected:
  bool Accepts(REFIID iid) const override {
    return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory);
  }
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new TFactory;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
  return gObjects == 0 ? S_OK : S_FALSE;
}
