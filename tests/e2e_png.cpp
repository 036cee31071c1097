// PNG images through the programs: tarnpack takes a grey PNG as it takes
// the same image as a PGM, refuses the other kinds, and tarnunpack writes a
// PNG for an output named *.png; psnr reads both formats.
#include <png.h>

#include "e2e_support.h"
#include "test_png.h"

namespace {
class Png : public E2e {
 protected:
  // The camera image as in.pgm and as in.png.
  void WriteCamera() const {
    WritePgm(Path("in.pgm"), ReadPgm(Camera()));
    Write("in.png", PngOf(ReadPgm(Camera())));
  }
};

PgmImage Ramp(int width, int height) {
  PgmImage image{width, height, std::vector<unsigned char>(static_cast<std::size_t>(width) * height)};
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<unsigned char>(i * 13 + i / 7);
  return image;
}
}  // namespace

// The same stream and the same console text for every coder and MDC, from a
// file and from a pipe.
TEST_F(Png, GreyPngGivesThePgmsStream) {
  WriteCamera();
  for (const char* options : {"0 20", "0 20 -f 0", "5 7.5 -m 1"}) {
    const std::string fromPgm = PackOk(std::string("in.pgm pgm.out ") + options);
    EXPECT_EQ(PackOk(std::string("in.png png.out ") + options), fromPgm) << options;
    EXPECT_EQ(Bytes("png.out"), Bytes("pgm.out")) << options;
  }
  RunResult r = Run(std::string("cat in.png | ") + TARNPACK + " /dev/stdin pipe.out 5 7.5 -m 1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Bytes("pipe.out"), Bytes("pgm.out"));
}

// 4-bit samples are scaled to 0..255, and libpng's warnings (here of a
// text chunk with a wrong checksum) print nothing.
TEST_F(Png, FewerBitsAndWarnings) {
  PngLayout layout;
  layout.width = 32;
  layout.height = 16;
  layout.depth = 4;
  layout.pixels = Ramp(32, 16).pixels;
  Write("in4.png", PngBytes(layout));
  PgmImage scaled = Ramp(32, 16);
  for (unsigned char& v : scaled.pixels) v = static_cast<unsigned char>((v & 15) * 17);
  WritePgm(Path("in4.pgm"), scaled);
  EXPECT_EQ(PackOk("in4.png a.out 0 10"), PackOk("in4.pgm b.out 0 10"));
  EXPECT_EQ(Bytes("a.out"), Bytes("b.out"));

  layout.depth = 8;
  layout.text = true;
  std::vector<unsigned char> bytes = PngBytes(layout);
  bytes[ChunkOffset(bytes, "tEXt") + 10] ^= 1;
  Write("warns.png", bytes);
  WritePgm(Path("in8.pgm"), Ramp(32, 16));
  EXPECT_EQ(PackOk("warns.png c.out 0 10"), PackOk("in8.pgm d.out 0 10"));  // nothing on standard error
  EXPECT_EQ(Bytes("c.out"), Bytes("d.out"));
}

TEST_F(Png, RefusedPngsWriteNothing) {
  auto layout = [](int colourType, int depth, bool transparent = false, int width = 16) {
    PngLayout s;
    s.width = width;
    s.colourType = colourType;
    s.depth = depth;
    s.transparent = transparent;
    s.pixels = Ramp(width, 16).pixels;
    return PngBytes(s);
  };
  const std::vector<unsigned char> good = layout(PNG_COLOR_TYPE_GRAY, 8);
  std::vector<unsigned char> damaged = good;
  damaged[ChunkOffset(good, "IDAT") + 9] ^= 1;
  const std::string invalid = "Invalid png format\n";
  struct Case {
    std::vector<unsigned char> bytes;
    std::string message;
  };
  const Case cases[] = {
      {layout(PNG_COLOR_TYPE_RGB, 8), invalid},
      {layout(PNG_COLOR_TYPE_PALETTE, 8), invalid},
      {layout(PNG_COLOR_TYPE_GRAY_ALPHA, 8), invalid},
      {layout(PNG_COLOR_TYPE_RGB_ALPHA, 8), invalid},
      {layout(PNG_COLOR_TYPE_GRAY, 8, true), invalid},
      {layout(PNG_COLOR_TYPE_GRAY, 16), invalid},
      {damaged, invalid},
      {layout(PNG_COLOR_TYPE_GRAY, 8, false, 24), "Image size must be multiple of 16.\n"},
      {std::vector<unsigned char>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2)),
       "Truncated org_file in.png\n"},
      {std::vector<unsigned char>(good.begin(), good.begin() + 8), "Truncated org_file in.png\n"},
  };
  for (const Case& c : cases) {
    Write("in.png", c.bytes);
    for (const char* options : {"", " -m 1"}) {
      RunResult r = Pack(std::string("in.png z.out 0 20") + options);
      EXPECT_EQ(r.status, Status(-4)) << c.message;
      EXPECT_EQ(r.out, (*options ? "MDC:\n" : "") + c.message);
      EXPECT_EQ(r.err, "");
      EXPECT_FALSE(Exists("z.out"));
      EXPECT_FALSE(Exists("mdc1.out"));
    }
  }
  // -c reads a raw plane, whatever its first bytes.
  Write("in.png", good);
  EXPECT_EQ(Pack("in.png z.out 0 20 -c 1").out, "Invalid raw plane size.\n");
}

// An output named *.png (in any case) is a PNG of the image the PGM output
// holds; -c still writes a raw plane; psnr reads either.
TEST_F(Png, PngOutput) {
  WriteCamera();
  PackOk("in.pgm z.out 0 20 -m 1");
  const std::string text = UnpackOk("z.out dec.pgm 0 -m 1 -l 3");
  const std::vector<unsigned char> lostData = Bytes("LostData.raw");
  for (const char* name : {"dec.png", "DEC.PnG"}) {
    EXPECT_EQ(UnpackOk(std::string("z.out ") + name + " 0 -m 1 -l 3"), text) << name;
    const PgmImage png = DecodePng(Bytes(name));
    const PgmImage pgm = ReadPgm(Path("dec.pgm"));
    EXPECT_EQ(png.width, pgm.width);
    EXPECT_EQ(png.height, pgm.height);
    EXPECT_EQ(png.pixels, pgm.pixels) << name;
    EXPECT_EQ(Bytes("LostData.raw"), lostData);
  }
  UnpackOk("z.out coef.png 0 -m 1 -c 1");
  UnpackOk("z.out coef.raw 0 -m 1 -c 1");
  EXPECT_EQ(Bytes("coef.png"), Bytes("coef.raw"));

  const std::string psnr = ToolPath("psnr");
  RunResult fromPgm = Run(psnr + " in.pgm dec.pgm");
  EXPECT_EQ(fromPgm.status, 0);
  EXPECT_EQ(Run(psnr + " in.png dec.png").out, fromPgm.out);
  EXPECT_EQ(Run(psnr + " in.pgm dec.png").out, fromPgm.out);
}
