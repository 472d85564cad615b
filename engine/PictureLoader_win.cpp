#include "engine/PictureLoader_win.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <cstdio>

#include "base/ComPtr_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Handles_win.h"
#include "base/Stream.h"
#include "base/Unicode_win.h"
#include "decode/JPEGImage.h"
#include "decode/JpegCodec.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPIGraphic_win.h"
#include "engine/ArcLink.h"
#include "engine/BusyDisplay.h"
#include "engine/FileSystem_win.h"
#include "engine/Fit.h"
#include "engine/PictureFiles.h"

namespace {

constexpr uint32_t kBusyRed = 255;

}  // namespace

int FindJpegStart(const std::string& path) {
  THandle file(CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return -1;
  uint8_t head[kJpegSearchBytes] = {};
  DWORD read = 0;
  if (!ReadFile(file.get(), head, sizeof head, &read, nullptr)) return -1;
  return FindJpegStartIn(head, read);
}

void GetFileDateAndSize(const std::string& path, std::string& date, std::string& size) {
  size.assign(1, '0');
  WIN32_FIND_DATAW data;
  TFindHandle find(FindFirstFileW(ToWide(path).c_str(), &data));
  if (!find) return;
  FILETIME local;
  SYSTEMTIME time;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &time);
  wchar_t text[64];
  swprintf(text, 64, L"%04u/%02u/%02u %u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
           time.wMinute, time.wSecond);
  date = ToUtf8(text);
  const uint64_t bytes = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  char digits[24];
  std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(bytes));
  size.assign(digits);
}

namespace {

constexpr size_t kKeepDecodedBytes = size_t{64} << 20;

// JPEG data, possibly behind a foreign header, kept compressed with its header read; null when
// there is none or the picture is too large to decode whole.
std::unique_ptr<TGraphic> JpegFromBytes(const uint8_t* data, size_t size) {
  const int start = FindJpegStartIn(data, std::min<size_t>(size, kJpegSearchBytes));
  if (start < 0) return nullptr;
  TBytesStream stream(data, size);
  stream.Seek(static_cast<uint64_t>(start));
  auto jpeg = std::make_unique<TJPEGImage>();
  jpeg->LoadFromStream(stream);
  if (jpeg->Empty() ||
      RowBytes(static_cast<uint64_t>(jpeg->Width()), 24) * static_cast<uint64_t>(jpeg->Height()) >
          kMaxJpegPixelBytes) {
    return nullptr;
  }
  return jpeg;
}

// The picture of a file: decoded by the plug-ins or the built-in formats, or JPEG data found
// behind a foreign header, kept compressed (its header read) until it is drawn or shrunk.
std::unique_ptr<TGraphic> LoadPictureGraphic(const std::string& path) {
  std::string date;
  std::string size;
  GetFileDateAndSize(path, date, size);
  if (size == "0") return nullptr;
  try {
    auto dib = std::make_unique<TSPIDIBImage>();
    dib->LoadFromFile(path);
    // A large picture stays in the block its plug-in decoded it into until it is fitted:
    // copying it into a device bitmap first would hold it twice.
    if (IsPlainTrueColor(dib->Store()) && dib->Store().Pixels.size() > kKeepDecodedBytes) {
      return dib;
    }
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->Assign(dib.get());
    return bitmap;
  } catch (const std::exception&) {
  }
  // JPEG data behind a foreign header: the whole file is read once.
  try {
    if (FindJpegStart(path) < 0) return nullptr;
    std::unique_ptr<TStream> file = OpenFileStream(path);
    std::vector<uint8_t> bytes(static_cast<size_t>(file->Size()));
    bytes.resize(file->Read(bytes.data(), bytes.size()));
    return JpegFromBytes(bytes.data(), bytes.size());
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

bool LoadPictureAsBitmap(const std::string& path, TBitmap& bitmap) {
  std::unique_ptr<TGraphic> graphic = LoadPictureGraphic(path);
  if (!graphic) return false;
  try {
    bitmap.Assign(graphic.get());
    return !bitmap.Empty();
  } catch (const std::exception&) {
    return false;
  }
}

bool LoadPictureIntoImage(const std::string& path, TPicture& holder) {
  std::unique_ptr<TGraphic> graphic = LoadPictureGraphic(path);
  if (!graphic) return false;
  holder.TakeGraphic(std::move(graphic));
  return true;
}

std::string GetLongFileName(const std::string& path) {
  if (!FileExists(path) && !DirectoryExists(path)) return path;
  const std::wstring wide = ToWide(path);
  wchar_t full[MAX_PATH * 4] = {};
  if (GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr) == 0) {
    throw EConvertError("ファイルを変換できません。");
  }
  TComPtr<IShellFolder> desktop;
  PIDLIST_RELATIVE list = nullptr;
  wchar_t result[MAX_PATH] = {};
  const bool ok =
      SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
      SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, full, nullptr, &list, nullptr)) &&
      SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(list), result);
  if (list != nullptr) CoTaskMemFree(list);
  if (!ok) throw EConvertError("ファイルを変換できません。");
  return ToUtf8(result);
}

std::string ResolveShortcut(const std::string& path) {
  try {
    TComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
      return {};
    }
    TComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) return {};
    if (FAILED(file->Load(ToWide(path).c_str(), 0))) return {};
    wchar_t target[MAX_PATH] = {};
    WIN32_FIND_DATAW data;
    if (FAILED(link->GetPath(target, MAX_PATH, &data, SLGP_SHORTPATH))) return {};
    if (target[0] == L'\0') return {};
    return GetLongFileName(ToUtf8(target));
  } catch (...) {
    return {};
  }
}

bool TPictureLoader::LoadPictureFile(const std::string& path, TPicture& holder) {
  if (!FileExists(path)) return false;
  const bool result = LoadPictureIntoImage(path, holder);
  // A failed load of an existing file shows no size, whatever the holder still holds.
  if (result) {
    UpdatePictureSize(holder);
  } else {
    ImageSize = TImageSize{};
  }
  return result;
}

void TPictureLoader::UpdatePictureSize(const TPicture& holder) {
  if (holder.Width() > 0 && holder.Height() > 0) {
    ImageSize = TImageSize{holder.Width(), holder.Height()};
  } else {
    ImageSize = TImageSize{};
  }
}

void TPictureLoader::LoadArcLink(const std::string& path, TPicture& holder) {
  TWinFileSystem files;
  TArcLink link;
  if (!ParseArcLink(files.ReadListFile(path), link)) return;
  if (!FileExists(link.Archive)) return;
  try {
    ExtractArchivePicture(link.Archive, link.Member, holder, link.Size);
  } catch (const EHelperCancelled&) {
    // The program is closing: nothing to say about this picture.
  } catch (const std::exception&) {
    dialogs_.ShowMessage("予期したかもしれないエラー");
  }
}

void TPictureLoader::ExtractArchivePicture(const std::string& archive, const std::string& member,
                                           TPicture& holder, int64_t size) {
  struct TBusy {
    IBusyDisplay& busy;
    TBusyScope scope;
    TBusy(IBusyDisplay& b) : busy(b), scope(b, kBusyRed, "Load PNG..") { busy.SetWaitCursor(true); }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;
    ~TBusy() { busy.SetWaitCursor(false); }
  } display(busy_);
  if (!CreateArchiveExtractor) throw Exception("no archiver library is available");
  std::unique_ptr<IArchiveExtractor> extractor = CreateArchiveExtractor();
  const size_t outputSize = static_cast<size_t>(size) + 1024;
  std::vector<uint8_t> buffer(outputSize, 0);
  extractor->ExtractToMemory(archive, member, buffer.data(), buffer.size(),
                             static_cast<size_t>(size));
  try {
    TBytesStream stream(buffer.data(), buffer.size());
    TSPIDIBImage dib;
    dib.LoadFromStream(stream);
    holder.Assign(&dib);
    return;
  } catch (const std::exception&) {
  }
  // No plug-in claims JPEG, the commonest kind of picture in an archive: the built-in reader
  // takes it, as it does for files.
  try {
    if (std::unique_ptr<TGraphic> jpeg = JpegFromBytes(buffer.data(), static_cast<size_t>(size))) {
      holder.TakeGraphic(std::move(jpeg));
    }
  } catch (const std::exception&) {
    // An undecodable member leaves the holder as it was.
  }
}
