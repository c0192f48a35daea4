// Long-run fuzzing of the dialer's two input readers (scripts/fuzz runs it; the default test
// run keeps the short randomised cases of dialer_picture_test and dialer_rules_test):
//   --pictures N   mutated sign-in picture files through ParsePictureFile and MakePictureBlocks,
//                  each file ending exactly at an inaccessible page, so a read past its end
//                  faults; accepted pictures are checked against their blocks and the small
//                  ones drawn from blocks that end at such a page as well;
//   --cmdlines N   random command-line tails through ParseCommandLine and
//                  ApplyCommandLineCredentials, checked against the scanner's rules;
//   --seed S       the generator's seed (printed; the same seed reruns the same inputs);
//   --seeds DIR    folder with extra seed pictures (*.bmp), such as the shipped art.
// Prints what it ran and found; exits 1 when a rule was broken (a crash ends it anyway).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "PictureFile.h"
#include "PictureTestSupport.h"

namespace {

using Bytes = std::vector<BYTE>;

// A well-formed picture: |bpp| bits, |w| x |h| (negative h: top-down), |compression|.
Bytes MakeBmp(int w, int h, int bpp, DWORD compression = BI_RGB) {
  const int entries = bpp <= 8 ? (1 << bpp) : (compression == BI_BITFIELDS ? 3 : 0);
  Bytes f = BmpSkeleton(w, h, bpp, compression, entries);
  for (size_t i = 54; i < f.size(); ++i) f[i] = static_cast<BYTE>(i * 31 + 7);
  if (compression == BI_BITFIELDS) {
    Put32(f, 54, bpp == 16 ? 0x7C00 : 0xFF0000);
    Put32(f, 58, bpp == 16 ? 0x03E0 : 0x00FF00);
    Put32(f, 62, bpp == 16 ? 0x001F : 0x0000FF);
  }
  return f;
}

Bytes MakeRle(int w, int h, int bpp) {
  Bytes f = MakeBmp(w, h, bpp);
  const size_t off = 54 + 4 * (1u << bpp);
  f.resize(off);
  for (int y = 0; y < h; ++y) {
    f.push_back(static_cast<BYTE>(w));
    f.push_back(static_cast<BYTE>(y));
    f.push_back(0);
    f.push_back(0);
  }
  f.push_back(0);
  f.push_back(1);
  Put32(f, 2, static_cast<DWORD>(f.size()));
  Put32(f, 30, bpp == 8 ? BI_RLE8 : BI_RLE4);
  Put32(f, 34, static_cast<DWORD>(f.size() - off));
  return f;
}

Bytes ReadFileBytes(const std::string& path) {
  Bytes out;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return out;
  DWORD size = GetFileSize(f, nullptr);
  if (size != INVALID_FILE_SIZE && size < (64u << 20)) {
    out.resize(size);
    DWORD got = 0;
    if (!ReadFile(f, out.data(), size, &got, nullptr)) got = 0;
    out.resize(got);
  }
  CloseHandle(f);
  return out;
}

const DWORD kInteresting[] = {0, 1, 2, 4, 8, 12, 16, 24, 32, 40, 54, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF,
                              0x10000, 16384, 16385, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu,
                              static_cast<DWORD>(-16384), static_cast<DWORD>(-16385), 64u << 20, (64u << 20) + 1};

void Mutate(Bytes& f, std::mt19937& rng) {
  const int edits = 1 + static_cast<int>(rng() % 8);
  for (int e = 0; e < edits; ++e) {
    if (f.empty()) f.push_back(0);
    // Mostly the two headers and the start of the table, where the sizes live.
    const size_t at = (rng() % 4 != 0) ? rng() % (f.size() < 70 ? f.size() : 70) : rng() % f.size();
    switch (rng() % 7) {
      case 0: f[at] = static_cast<BYTE>(rng()); break;
      case 1: f[at] ^= static_cast<BYTE>(1u << (rng() % 8)); break;
      case 2: Put32(f, at, kInteresting[rng() % (sizeof(kInteresting) / sizeof(kInteresting[0]))]); break;
      case 3: Put32(f, at, static_cast<DWORD>(rng() % 100000)); break;
      case 4: Put16(f, at, static_cast<WORD>(rng() % 40)); break;
      case 5: f.resize(rng() % (f.size() + 1)); break;
      default: {
        const size_t n = rng() % 256;
        for (size_t i = 0; i < n; ++i) f.push_back(static_cast<BYTE>(rng()));
        break;
      }
    }
  }
}

struct PictureCounts {
  long run = 0, accepted = 0, topDown = 0, compressed = 0, drawn = 0, blocksFailed = 0, broken = 0;
};

bool CheckPicture(const PictureFile& pic, PictureCounts& n, long round) {
  const BITMAPINFOHEADER& h = pic.Header();
  auto broken = [&](const char* why) {
    std::printf("BROKEN round %ld: %s (%ldx%ld, %u bpp, compression %lu, %zu pixel bytes)\n", round, why,
                static_cast<long>(h.biWidth), static_cast<long>(h.biHeight), h.biBitCount,
                static_cast<unsigned long>(h.biCompression), pic.bits.size());
    ++n.broken;
    return false;
  };
  if (h.biSize != 40 || h.biPlanes != 1) return broken("header");
  if (h.biWidth <= 0 || h.biWidth > kMaxPictureSide || pic.Rows() <= 0 || pic.Rows() > kMaxPictureSide) {
    return broken("sides");
  }
  const WORD bpp = h.biBitCount;
  const size_t table = bpp <= 8 ? 4u << bpp : (h.biCompression == BI_BITFIELDS ? 12 : 0);
  if (pic.info.size() != 40 + table) return broken("table size");
  if (h.biClrUsed > (bpp <= 8 ? (1u << bpp) : 0u)) return broken("colour count beyond the table");
  if (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) {
    const ULONGLONG stride = ((static_cast<ULONGLONG>(h.biWidth) * bpp + 31) / 32) * 4;
    if (pic.bits.size() < stride * static_cast<ULONGLONG>(pic.Rows())) return broken("rows beyond the pixel block");
  } else {
    if (h.biHeight < 0) return broken("top-down run-length picture");
    if (h.biSizeImage == 0 || h.biSizeImage > pic.bits.size()) return broken("run length beyond the pixel block");
  }
  return true;
}

void Draw(const PictureFile& pic, PictureCounts& n) {
  const auto* h = &pic.Header();
  const int lines = DrawGuarded(pic, 16, 16);
  ++n.drawn;
  if (lines == 0) {
    std::printf("BROKEN: an accepted %ldx%ld picture (%u bpp, compression %lu) was not drawn\n",
                static_cast<long>(h->biWidth), static_cast<long>(h->biHeight), h->biBitCount,
                static_cast<unsigned long>(h->biCompression));
    ++n.broken;
  }
}

PictureCounts FuzzPictures(long count, std::mt19937& rng, const std::vector<Bytes>& extra) {
  std::vector<Bytes> seeds = {MakeBmp(9, 5, 1),  MakeBmp(9, 5, 4),  MakeBmp(9, 5, 8),   MakeBmp(9, 5, 16),
                              MakeBmp(9, 5, 24), MakeBmp(3, 3, 32), MakeBmp(7, -4, 24), MakeBmp(5, -6, 8),
                              MakeBmp(6, 3, 16, BI_BITFIELDS), MakeBmp(4, -3, 32, BI_BITFIELDS),
                              MakeRle(6, 4, 8), MakeRle(6, 4, 4)};
  seeds.insert(seeds.end(), extra.begin(), extra.end());
  PictureCounts n;
  for (long round = 0; round < count; ++round) {
    Bytes file = seeds[rng() % seeds.size()];
    Mutate(file, rng);
    ++n.run;
    GuardedBytes input(file.data(), file.size());
    PictureFile pic;
    if (!ParsePictureFile(input.data(), file.size(), pic)) continue;
    ++n.accepted;
    if (pic.Header().biHeight < 0) ++n.topDown;
    if (pic.Header().biCompression == BI_RLE8 || pic.Header().biCompression == BI_RLE4) ++n.compressed;
    if (!CheckPicture(pic, n, round)) continue;
    PictureHandles handles;
    if (!MakePictureBlocks(pic, handles)) ++n.blocksFailed;
    if (handles.info) GlobalFree(handles.info);
    if (handles.bits) GlobalFree(handles.bits);
    if (handles.palette) DeleteObject(handles.palette);
    if (static_cast<ULONGLONG>(pic.Header().biWidth) * pic.Rows() <= 4096) Draw(pic, n);
  }
  return n;
}

struct LineCounts {
  long run = 0, withUser = 0, withPassword = 0, cut = 0, broken = 0;
};

LineCounts FuzzCommandLines(long count, std::mt19937& rng) {
  const char alphabet[] = {'/', 'U', 'P', 'u', 'p', '"', ' ', '\t', 'a', '\\', '\0', '\xff', '-'};
  LineCounts n;
  for (long round = 0; round < count; ++round) {
    // Pieces of options, quotes, runs of text (some beyond the edits' limit) and random bytes.
    std::string tail;
    const int pieces = static_cast<int>(rng() % 12);
    for (int k = 0; k < pieces; ++k) {
      switch (rng() % 6) {
        case 0: tail += "/U\""; break;
        case 1: tail += "/P\""; break;
        case 2: tail += '"'; break;
        case 3: tail.append(rng() % 4 == 0 ? 90 + rng() % 30 : rng() % 20, static_cast<char>('a' + rng() % 26)); break;
        case 4:
          for (size_t i = rng() % 8; i > 0; --i) tail += alphabet[rng() % sizeof(alphabet)];
          break;
        default:
          for (size_t i = rng() % 8; i > 0; --i) tail += static_cast<char>(rng() % 256);
          break;
      }
    }
    if (rng() % 64 == 0) tail.append(rng() % 4000, 'x');
    ++n.run;
    ParseCommandLine(tail);
    const std::string scanned = tail.substr(0, tail.find('\0'));
    const std::string user = g_strCmdLineUser, password = g_strCmdLinePassword;
    auto broken = [&](const char* why) {
      std::printf("BROKEN command line %ld: %s\n", round, why);
      ++n.broken;
    };
    if (user.size() > scanned.size() || password.size() > scanned.size()) broken("value longer than the line");
    if (user.find('"') != std::string::npos || password.find('"') != std::string::npos) broken("quote in a value");
    if (!user.empty() && scanned.find("/U\"" + user + "\"") == std::string::npos) broken("user not in the line");
    if (!password.empty() && scanned.find("/P\"" + password + "\"") == std::string::npos) broken("password not in the line");
    n.withUser += !user.empty();
    n.withPassword += !password.empty();
    std::string shownUser = "stored", shownPassword = "stored";
    ApplyCommandLineCredentials(shownUser, shownPassword);
    if (shownUser.size() > kCredentialChars || shownPassword.size() > kCredentialChars) broken("beyond the edits' limit");
    if (!g_strCmdLinePassword.empty()) broken("password not wiped");
    n.cut += user.size() > kCredentialChars || password.size() > kCredentialChars;
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  long pictures = 1000, lines = 1000;
  unsigned seed = GetTickCount();
  std::string seedDir;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--pictures") pictures = std::strtol(argv[i + 1], nullptr, 10);
    else if (opt == "--cmdlines") lines = std::strtol(argv[i + 1], nullptr, 10);
    else if (opt == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    else if (opt == "--seeds") seedDir = argv[i + 1];
  }
  std::vector<Bytes> extra;
  if (!seedDir.empty()) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((seedDir + "\\*.bmp").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        Bytes b = ReadFileBytes(seedDir + "\\" + fd.cFileName);
        if (!b.empty()) extra.push_back(std::move(b));
      } while (FindNextFileA(h, &fd));
      FindClose(h);
    }
  }
  std::printf("seed %u (rerun with --seed %u), %zu extra seed pictures\n", seed, seed, extra.size());
  std::fflush(stdout);
  std::mt19937 rng(seed);
  const DWORD t0 = GetTickCount();
  PictureCounts p = FuzzPictures(pictures, rng, extra);
  const DWORD t1 = GetTickCount();
  std::printf("pictures: %ld run, %ld accepted (%ld top-down, %ld run-length), %ld drawn, %ld without blocks, "
              "%ld broken rules; %.1f s\n",
              p.run, p.accepted, p.topDown, p.compressed, p.drawn, p.blocksFailed, p.broken, (t1 - t0) / 1000.0);
  std::fflush(stdout);
  LineCounts c = FuzzCommandLines(lines, rng);
  const DWORD t2 = GetTickCount();
  std::printf("command lines: %ld run, %ld with /U, %ld with /P, %ld cut to 100, %ld broken rules; %.1f s\n", c.run,
              c.withUser, c.withPassword, c.cut, c.broken, (t2 - t1) / 1000.0);
  return p.broken + c.broken == 0 ? 0 : 1;
}
