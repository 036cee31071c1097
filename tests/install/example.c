/* Encodes a synthetic 64 x 64 image in memory, decodes it again and prints
 * the stream's size, the PSNR and the size of the decoded image as a PNG
 * file (made in memory too); fails below 30 dB. */
#include <math.h>
#include <stdio.h>
#include <tarn/tarn.h>

enum { W = 64, H = 64 };

int main(void) {
  static uint8_t pixels[W * H];
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      pixels[y * W + x] = (uint8_t)(128 + 100 * sin(x / 9.0) * cos(y / 7.0));

  tarn_encode_options enc;
  tarn_encode_options_init(&enc);
  enc.q = 8; /* quantisation step; the coder (ECEB) and filter 0 are defaults */
  tarn_encoded stream;
  tarn_status status = tarn_encode(pixels, W, H, W, &enc, &stream);
  if (status != TARN_OK) {
    fprintf(stderr, "encode: %s\n", tarn_status_string(status));
    return 1;
  }

  /* The stream does not record the coder, the filter or MDC: the decoder's
   * defaults match the encoder's. */
  tarn_decode_options dec;
  tarn_decode_options_init(&dec);
  tarn_decoded image;
  status = tarn_decode(stream.data, stream.size, &dec, &image);
  tarn_free(stream.data);
  if (status != TARN_OK) {
    fprintf(stderr, "decode: %s\n", tarn_status_string(status));
    return 1;
  }

  double sum = 0;
  for (int i = 0; i < W * H; ++i) {
    const double d = (double)pixels[i] - image.pixels[i];
    sum += d * d;
  }
  const double psnr = 10 * log10(255.0 * 255.0 * W * H / sum);

  uint8_t* png;
  size_t png_size;
  status = tarn_png_write(image.pixels, image.width, image.height, image.width, &png, &png_size);
  tarn_free(image.pixels);
  if (status != TARN_OK) {
    fprintf(stderr, "png: %s\n", tarn_status_string(status));
    return 1;
  }
  tarn_free(png);
  printf("%zu bytes, PSNR %.2f dB, %zu bytes as PNG\n", stream.size, psnr, png_size);
  return psnr > 30 ? 0 : 1;
}
