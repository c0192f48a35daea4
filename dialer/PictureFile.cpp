#include "PictureFile.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

DWORD ReadDword(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24); }

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

// Copies what the file holds of [offset, offset + count) into |dest|; the rest stays zero.
void CopyAvailable(const BYTE* data, size_t size, size_t offset, BYTE* dest, size_t count) {
  if (offset >= size) return;
  size_t n = size - offset < count ? size - offset : count;
  std::memcpy(dest, data + offset, n);
}

}  // namespace

bool ParsePictureFile(const BYTE* data, size_t size, PictureFile& out) {
  if (data == nullptr || size < kFileHeaderSize + kInfoHeaderSize) return false;
  DWORD bfSize = ReadDword(data + 2);
  DWORD bfOffBits = ReadDword(data + 10);
  if (bfOffBits > bfSize) return false;
  DWORD pixelBytes = bfSize - bfOffBits;
  if (pixelBytes == 0 || pixelBytes > kMaxPictureBytes) return false;

  BITMAPINFOHEADER header;
  std::memcpy(&header, data + kFileHeaderSize, sizeof(header));
  if (header.biSize != kInfoHeaderSize) return false;
  if (header.biPlanes != 1) return false;  // the drawing call refuses any other
  // A negative height is a top-down picture: its first row is the top one. Every bound
  // below uses the number of rows, the absolute height.
  if (header.biWidth <= 0 || header.biHeight == 0) return false;
  if (header.biWidth > kMaxPictureSide || header.biHeight > kMaxPictureSide || header.biHeight < -kMaxPictureSide) {
    return false;
  }
  const bool topDown = header.biHeight < 0;
  const LONG rows = topDown ? -header.biHeight : header.biHeight;

  const WORD bpp = header.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  size_t tableBytes = bpp <= 8 ? 4u * (1u << bpp) : 0;
  switch (header.biCompression) {
    case BI_RGB:
      break;
    case BI_RLE8:
      if (bpp != 8 || topDown) return false;  // run-length pictures are bottom-up only
      break;
    case BI_RLE4:
      if (bpp != 4 || topDown) return false;
      break;
    case BI_BITFIELDS:
      if (bpp != 16 && bpp != 32) return false;
      tableBytes = 3 * sizeof(DWORD);  // the red, green and blue masks
      break;
    default:
      return false;  // JPEG, PNG and unknown codes: the drawing call would take the block as a stream
  }

  const ULONGLONG stride = ((static_cast<ULONGLONG>(header.biWidth) * bpp + 31) / 32) * 4;
  const ULONGLONG rowBytes = stride * static_cast<ULONGLONG>(rows);
  if (header.biCompression == BI_RGB || header.biCompression == BI_BITFIELDS) {
    if (rowBytes > pixelBytes) return false;
  } else {
    // The decoder reads biSizeImage bytes of runs: keep it within the block.
    if (header.biSizeImage == 0 || header.biSizeImage > pixelBytes) header.biSizeImage = pixelBytes;
  }
  // The drawing call reads biClrUsed entries when the field is set: never more than the block
  // holds, and none for pictures that have no table.
  if (bpp > 8 || header.biClrUsed > (1u << bpp)) header.biClrUsed = 0;

  try {
    out.info.assign(kInfoHeaderSize + tableBytes, 0);
    out.bits.assign(pixelBytes, 0);
  } catch (const std::bad_alloc&) {
    return false;  // no memory for the blocks: no picture
  }
  std::memcpy(out.info.data(), &header, sizeof(header));
  const size_t tableOffset = kFileHeaderSize + kInfoHeaderSize;
  CopyAvailable(data, size, tableOffset, out.info.data() + kInfoHeaderSize, tableBytes);
  CopyAvailable(data, size, tableOffset + tableBytes, out.bits.data(), pixelBytes);

  out.paletteEntries = bpp <= 8 ? (1u << bpp) : 0;
  return true;
}

namespace {

// The file is read whole; the parser decides what of it is used. Beyond this size a file
// cannot be a picture the dialer accepts (the pixel block is limited as well).
constexpr DWORD kMaxFileRead = kMaxPictureBytes + 64 * 1024;

HGLOBAL BlockWith(const std::vector<BYTE>& bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size());
  if (block == nullptr) return nullptr;
  void* p = GlobalLock(block);
  if (p == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(p, bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

HPALETTE PaletteOf(const PictureFile& picture) {
  const UINT entries = picture.paletteEntries;
  if (entries == 0) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 8 + 4 * entries);
  if (block == nullptr) return nullptr;
  HPALETTE palette = nullptr;
  auto* log = static_cast<LOGPALETTE*>(GlobalLock(block));
  if (log != nullptr) {
    log->palVersion = 0x300;
    log->palNumEntries = static_cast<WORD>(entries);
    const RGBQUAD* table = picture.ColourTable();
    // palPalEntry is declared with one element; the block holds |entries| of them.
    PALETTEENTRY* e = log->palPalEntry;
    for (UINT i = 0; i < entries; ++i, ++e) {
      // The table is blue, green, red; the palette red, green, blue.
      e->peRed = table[i].rgbRed;
      e->peGreen = table[i].rgbGreen;
      e->peBlue = table[i].rgbBlue;
      e->peFlags = 0;
    }
    palette = CreatePalette(log);
    GlobalUnlock(block);
  }
  GlobalFree(block);
  return palette;
}

}  // namespace

bool ReadPictureFile(const char* path, PictureFile& out) {
  if (path == nullptr) return false;
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) size = 0;
  if (high != 0 || size > kMaxFileRead) size = kMaxFileRead;
  std::unique_ptr<BYTE[]> data(size > 0 ? new (std::nothrow) BYTE[size] : nullptr);
  DWORD got = 0;
  bool read = data && ReadFile(file, data.get(), size, &got, nullptr);
  CloseHandle(file);
  return read && ParsePictureFile(data.get(), got, out);
}

bool MakePictureBlocks(const PictureFile& picture, PictureHandles& out) {
  out.info = BlockWith(picture.info);
  if (out.info == nullptr) return false;
  out.bits = BlockWith(picture.bits);
  if (out.bits == nullptr) return false;
  out.palette = PaletteOf(picture);
  return out.palette != nullptr || picture.paletteEntries == 0;
}
