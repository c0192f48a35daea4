// The sign-in picture file: a Windows BMP with the 40-byte information header, its colour
// table right after the header and its pixel rows right after the colour table.
#pragma once
#include <windows.h>
#include <cstddef>
#include <vector>

// Largest pixel block and picture the dialer accepts; anything larger is no picture.
constexpr DWORD kMaxPictureBytes = 64u * 1024u * 1024u;
constexpr LONG kMaxPictureSide = 16384;

struct PictureFile {
  // What the drawing call gets as BITMAPINFO: the information header followed by the colour
  // table (2^biBitCount entries for 1, 4 and 8 bits per pixel, none above) or, for
  // BI_BITFIELDS, the three colour masks. Short tables read as zeros.
  std::vector<BYTE> info;
  // The pixel block: bfSize - bfOffBits bytes, the missing end of a short file as zeros.
  std::vector<BYTE> bits;
  // Entries of the colour table that make the picture's palette; 0 for 16, 24 and 32 bits
  // per pixel, which are drawn without a palette.
  UINT paletteEntries = 0;

  const BITMAPINFOHEADER& Header() const { return *reinterpret_cast<const BITMAPINFOHEADER*>(info.data()); }
  // Rows of the picture: the height's absolute value (negative for a top-down picture).
  LONG Rows() const { return Header().biHeight < 0 ? -Header().biHeight : Header().biHeight; }
  const RGBQUAD* ColourTable() const { return reinterpret_cast<const RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER)); }
};

// Parses the |size| bytes of a picture file. False (and |out| unspecified) for anything the
// drawing call could not use safely: a short header, an information header other than the
// 40-byte one, a plane count other than 1, bfOffBits beyond bfSize, a bit count other than 1, 4, 8, 16, 24 or 32, a
// compression that does not fit the bit count (or a top-down run-length picture), a zero or
// negative width, a zero height, sides beyond the limits, or a pixel block too small for the rows of an uncompressed picture. On success the
// header handed to the drawing call never leads it outside the two blocks.
bool ParsePictureFile(const BYTE* data, size_t size, PictureFile& out);

// Reads and parses the picture file |path|, opened for reading with exclusive sharing (a file
// that another program holds open is no picture).
bool ReadPictureFile(const char* path, PictureFile& out);

// What the dialog keeps of a picture: movable, zero-filled global blocks with the BITMAPINFO
// and the pixels, and the palette made from the colour table (NULL for pictures with none).
// The caller owns all three, including when MakePictureBlocks stops half-way.
struct PictureHandles {
  HGLOBAL info = nullptr;
  HGLOBAL bits = nullptr;
  HPALETTE palette = nullptr;
};
// False when a block or a needed palette cannot be had.
bool MakePictureBlocks(const PictureFile& picture, PictureHandles& out);
