/*
 * tarn: an experimental still-image codec for 8-bit grey-scale images.
 *
 * A lapped transform (a pre-filter across every interior 8 x 8 block
 * boundary, then a block DCT), a dead-zone quantiser and an adaptive binary
 * arithmetic coder with two context schemes: ECEB (bit plane by bit plane,
 * the default) and LCEB (block by block). With MDC the image is coded as
 * four descriptions that can each be decoded alone. The decoder can simulate
 * lost blocks, conceal them and post-filter around them.
 *
 * Everything works on memory: the library never opens, writes or prints
 * anything. It keeps no process-wide mutable state, so separate objects may
 * be used from separate threads at once; one object is used by one thread at
 * a time. Every buffer the library hands out is released with tarn_free(),
 * every object with its own *_free() call; both accept NULL.
 *
 * A compressed stream does not record the filter set, the coefficient coder
 * or MDC: a decoder must be given the same choices as the encoder.
 */
#ifndef TARN_TARN_H
#define TARN_TARN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library is built with hidden symbols; these are its exports. */
#if defined(__GNUC__) || defined(__clang__)
#define TARN_API __attribute__((visibility("default")))
#else
#define TARN_API
#endif

#if defined(__GNUC__) || defined(__clang__)
#define TARN_NODISCARD __attribute__((warn_unused_result))
#else
#define TARN_NODISCARD
#endif

#define TARN_VERSION_MAJOR 0
#define TARN_VERSION_MINOR 1
#define TARN_VERSION_PATCH 0
/* Stamped into the options structs by their init functions; a library whose
 * major ABI differs from the header's refuses them. */
#define TARN_ABI_VERSION 0x0001

/* The library's version as "0.1.0". */
TARN_API const char* tarn_version_string(void);

/* ------------------------------------------------------------------------
 * Status codes. Every call that can fail returns one of these; TARN_OK is 0.
 * Each failure a program reports has its own status, so a program can map a
 * status back to its own message.
 */
typedef enum tarn_status {
  TARN_OK = 0,
  TARN_ERR_INVALID_ARGUMENT = 1,   /* misuse: null pointer, value out of range */
  TARN_ERR_OUT_OF_MEMORY = 2,      /* an allocation failed */
  TARN_ERR_CANCELLED = 3,          /* the progress callback asked to stop */
  TARN_ERR_NEED_MORE_DATA = 4,     /* a header is not complete yet */
  TARN_ERR_FILTER_SIZE = 10,       /* filter file: size field not 8 */
  TARN_ERR_LOSS_POSTFILTER_SIZE = 11, /* filter file: loss post-filter size not 0, 8 or 16 */
  TARN_ERR_DCT_WIENER_SIZE = 12,   /* filter file: DCT Wiener size not 0 or 8 */
  TARN_ERR_PGM_MAGIC = 20,         /* image does not begin with "P5" */
  TARN_ERR_PGM_FORMAT = 21,        /* image header unusable (size 0, ...) */
  TARN_ERR_PGM_SIZE = 22,          /* width or height not a multiple of 16 */
  TARN_ERR_RAW_PLANE_SIZE = 23,    /* raw plane size not a positive multiple of 8 (16 with MDC) */
  TARN_ERR_RAW_PLANE_DATA = 24,    /* a NaN or an infinity in a plane to encode */
  TARN_ERR_TRUNCATED_INPUT = 25,   /* image or plane shorter than its header announces */
  TARN_ERR_PNG_FORMAT = 26,        /* PNG not grey of at most 8 bits, transparent, or damaged */
  TARN_ERR_QUANT_STEP = 30,        /* q not a positive finite number */
  TARN_ERR_QUANT_TOO_SMALL = 31,   /* q so small that a quantised value overflows */
  TARN_ERR_TRUNCATED_STREAM = 40,  /* compressed stream ends early */
  TARN_ERR_CORRUPT_STREAM = 41,    /* compressed stream cannot be decoded */
  TARN_ERR_PIXEL_LIMIT = 42,       /* the image is larger than the decoder's limit */
  TARN_STATUS_FORCE_32BIT = 0x7FFFFFFF
} tarn_status;

/* A short English description of a status ("truncated compressed stream");
 * never NULL, also for values that are no status. */
TARN_API const char* tarn_status_string(int32_t status);

/* Releases a buffer handed out by the library; NULL is ignored. */
TARN_API void tarn_free(void* buffer);

/* Progress and cancellation: called now and then during coding with the
 * share done so far (0 to 100); returning 0 stops the work, which then ends
 * with TARN_ERR_CANCELLED. LCEB's time grows with the magnitudes of the
 * coefficients, so a long run can be stopped this way. Callbacks run on the
 * caller's thread, inside the call that takes them, also when the call uses
 * more threads; they must not throw. */
typedef int (*tarn_progress_fn)(void* user_data, int32_t percent);

/* ------------------------------------------------------------------------
 * Filter sets: the lapped pre-filter and post-filter, and the decoder's
 * optional filters for lost blocks. A set is either built in, chosen by a
 * digit (0, 1 and 5: the built-in lifting filters; any other digit: no
 * pre/post-filter), or loaded from the bytes of a filter configuration file.
 * A set is immutable once made and may be shared by any number of coders and
 * threads; it must outlive every call that uses it.
 */
typedef struct tarn_filters tarn_filters;

/* Which fields of a filter configuration file a loader reads. */
typedef enum tarn_filter_reader {
  TARN_FILTERS_PREFILTER = 0, /* the size field and the pre-filter: what an encoder needs */
  TARN_FILTERS_FULL = 1       /* the whole file: what a decoder needs */
} tarn_filter_reader;

/* Sections of a filter set, as flags of tarn_filter_info.sections. */
#define TARN_SECTION_SIZE 0x01         /* the size field was read */
#define TARN_SECTION_PREFILTER 0x02
#define TARN_SECTION_POSTFILTER 0x04
#define TARN_SECTION_LOSS_SIZE 0x08    /* the loss post-filter's size field was read */
#define TARN_SECTION_LOSS_FILTER 0x10
#define TARN_SECTION_DCT_SIZE 0x20     /* the DCT Wiener filter's size field was read */
#define TARN_SECTION_DCT_WIENER 0x40
#define TARN_SECTION_BOUNDARY_FLAG 0x80 /* the boundary Wiener flag was read */
#define TARN_SECTION_BOUNDARY_WIENER 0x100

/* Byte count of the longest filter configuration file; bytes after it are
 * never read. */
#define TARN_FILTER_FILE_MAX_SIZE 2320

/* What a filter set holds (or, after a failed load, what was read before the
 * failing field). Matrices are row-major with the row length shown. */
typedef struct tarn_filter_info {
  int32_t digit;            /* the built-in digit, or -1 for a file */
  uint32_t sections;        /* TARN_SECTION_* flags: the fields read */
  int32_t size;             /* the size field (8 in a valid file) */
  float prefilter[64];      /* 8 x 8 */
  float postfilter[64];     /* 8 x 8 */
  int32_t loss_size;        /* 0 (absent), 8 (non-PR) or 16 (general Wiener) */
  float loss_filter[256];   /* loss_size x loss_size, row length loss_size */
  int32_t dct_size;         /* 0 (absent) or 8 */
  float dct_wiener[128];    /* 8 x 16 */
  int32_t boundary_flag;    /* 0: absent; any other value: present */
  float boundary_wiener[64]; /* 8 x 8 */
} tarn_filter_info;

/* A built-in set for the digit 0 to 9. Its prefilter and postfilter are the
 * 8 x 8 matrices of the built-in line filters (for digits other than 0, 1
 * and 5, the identity); it has no filters for lost blocks. */
TARN_API TARN_NODISCARD tarn_status tarn_filters_builtin(int32_t digit, tarn_filters** out);

/* Loads a set from the bytes of a filter configuration file with the given
 * reader (a tarn_filter_reader). A file that ends early reads as zeros from
 * there on (missing size and flag fields count as 0). Fails with TARN_ERR_FILTER_SIZE (size field
 * not 8, or a NaN or infinity in the pre- or post-filter),
 * TARN_ERR_LOSS_POSTFILTER_SIZE (loss post-filter size not 0, 8 or 16, or
 * a non-finite value in it) or TARN_ERR_DCT_WIENER_SIZE (DCT Wiener size not
 * 0 or 8, or a non-finite value in it or in the boundary Wiener filter); the
 * fields are checked in file order. info (may be NULL) receives what was
 * read, also on failure. *out is NULL on failure. */
TARN_API TARN_NODISCARD tarn_status tarn_filters_load(const void* data, size_t size, int32_t reader,
                                                     tarn_filter_info* info, tarn_filters** out);

/* How many bytes of a filter configuration file the reader reads, as far
 * as data (the file's first size bytes) tells: more than size while fields
 * are still to come, else the final count (at most
 * TARN_FILTER_FILE_MAX_SIZE). A caller reading a pipe reads up to this count
 * and asks again, so that it never waits for bytes the loader does not read. */
TARN_API size_t tarn_filters_needed(const void* data, size_t size, int32_t reader);

/* The bytes of a filter configuration file holding what info shows: the
 * size field, the pre- and post-filter, then each optional filter that its
 * size or flag field announces (loss_size 0, 8 or 16; dct_size 0 or 8;
 * boundary_flag non-zero), in a new buffer *data of *size bytes. digit and
 * sections are not read, nor are the values checked: tarn_filters_load
 * refuses what is not finite. TARN_ERR_INVALID_ARGUMENT for a size other
 * than 8 or a loss or DCT size the file cannot hold. */
TARN_API TARN_NODISCARD tarn_status tarn_filters_write(const tarn_filter_info* info, uint8_t** data,
                                                      size_t* size);

/* Fills info with what the set holds. */
TARN_API TARN_NODISCARD tarn_status tarn_filters_get_info(const tarn_filters* filters,
                                                         tarn_filter_info* info);

TARN_API void tarn_filters_free(tarn_filters* filters);

/* ------------------------------------------------------------------------
 * Encoding.
 */
typedef enum tarn_coder {
  TARN_CODER_ECEB = 0, /* embedded, bit plane by bit plane (default) */
  TARN_CODER_LCEB = 1  /* block by block */
} tarn_coder;

typedef struct tarn_encode_options {
  uint32_t abi_version;        /* set by tarn_encode_options_init */
  float q;                     /* quantisation step: required, positive and finite */
  int32_t coder;               /* tarn_coder; default TARN_CODER_ECEB */
  int32_t mdc;                 /* non-zero: four descriptions; default 0 */
  const tarn_filters* filters; /* NULL (the default): built-in filter 0 */
  tarn_progress_fn progress;   /* optional; default NULL */
  void* user_data;             /* handed to progress */
  int32_t threads;             /* threads to use: 1 (the default), 0 for one per
                                  core, n > 1 for up to n (at most 64); the
                                  stream is the same for every count */
  uint32_t reserved[15];       /* 0; not read */
} tarn_encode_options;

TARN_API TARN_NODISCARD tarn_status tarn_encode_options_init_abi(tarn_encode_options* options,
                                                                uint32_t abi_version);
/* Sets every field to its default (q 0, which must then be set). */
static inline tarn_status tarn_encode_options_init(tarn_encode_options* options) {
  return tarn_encode_options_init_abi(options, TARN_ABI_VERSION);
}

/* Checks the options without coding anything: TARN_ERR_QUANT_STEP for a q
 * that is not positive and finite, TARN_ERR_INVALID_ARGUMENT for the rest. */
TARN_API TARN_NODISCARD tarn_status tarn_encode_options_validate(const tarn_encode_options* options);

/* A compressed stream: the description records exactly as a file holds
 * them. Release data with tarn_free(). */
typedef struct tarn_encoded {
  uint8_t* data;
  size_t size;
  int32_t descriptions;        /* 1, or 4 with MDC */
  uint32_t payload_length[4];  /* payload bytes of each description */
  size_t record_offset[4];     /* where each description's record starts in data */
} tarn_encoded;

/* Size in bytes of a record's header (width, height, q, payload length). */
#define TARN_RECORD_HEADER_SIZE 12

/* Encodes width x height 8-bit samples, row y starting at pixels + y *
 * stride (stride >= width; the extent of pixels is not checked). Width and height must be multiples of 16 and at
 * most 65535 (TARN_ERR_INVALID_ARGUMENT otherwise). Fails with
 * TARN_ERR_QUANT_STEP, TARN_ERR_QUANT_TOO_SMALL, TARN_ERR_OUT_OF_MEMORY or
 * TARN_ERR_CANCELLED; *out is then zeroed. */
TARN_API TARN_NODISCARD tarn_status tarn_encode(const uint8_t* pixels, uint32_t width,
                                               uint32_t height, size_t stride,
                                               const tarn_encode_options* options,
                                               tarn_encoded* out);

/* Entropy coding only: codes a plane of width x height floats (row-major)
 * that already holds transformed coefficients, block by block as the
 * encoder's transform leaves them. Width and height must be multiples of 8
 * (16 with MDC) and at most 65535. Fails as tarn_encode, and with
 * TARN_ERR_RAW_PLANE_DATA for a NaN or an infinity in the plane. */
TARN_API TARN_NODISCARD tarn_status tarn_encode_coefficients(const float* plane, uint32_t width,
                                                            uint32_t height,
                                                            const tarn_encode_options* options,
                                                            tarn_encoded* out);

/* Bytes the library allocates at the peak of an encode of this size (the
 * caller's input not included). */
TARN_API uint64_t tarn_encode_memory(uint32_t width, uint32_t height,
                                     const tarn_encode_options* options);

/* ------------------------------------------------------------------------
 * Decoding.
 */

/* Diagnostic planes of a reconstruction, handed to the caller while they
 * exist (valid only during the callback). */
typedef enum tarn_plane_kind {
  TARN_PLANE_LOST_DATA = 0,   /* the plane after loss simulation: floats */
  TARN_PLANE_LOST_MASK = 1,   /* one byte per 8 x 8 block, 1 = lost */
  TARN_PLANE_BEFORE_POST = 2  /* the plane after concealment, before the post-filter: floats */
} tarn_plane_kind;

typedef struct tarn_diagnostic_plane {
  int32_t kind;           /* tarn_plane_kind */
  uint32_t width, height; /* samples, or blocks for the mask */
  const float* values;    /* width x height floats, row-major (NULL for the mask) */
  const uint8_t* mask;    /* width x height bytes (the mask only) */
} tarn_diagnostic_plane;

typedef void (*tarn_plane_fn)(void* user_data, const tarn_diagnostic_plane* plane);
/* A line of warning text without a line end. */
typedef void (*tarn_warning_fn)(void* user_data, const char* line);

/* Simulated loss of blocks, for testing the concealment. */
typedef struct tarn_loss {
  int32_t pattern;          /* 0 (no loss, the default) to 9 */
  int32_t boundary_loss;    /* 0 spares the blocks on the image border; default 1 */
  int32_t reuse_concealed;  /* 1 (the default) lets concealed blocks serve later ones */
  int32_t post_filter_2d;   /* non-zero: the loss post-filter in both directions; default 0 */
} tarn_loss;

typedef struct tarn_decode_options {
  uint32_t abi_version;        /* set by tarn_decode_options_init */
  int32_t coder;               /* tarn_coder, as the encoder's; default TARN_CODER_ECEB */
  int32_t mdc;                 /* non-zero: the stream holds four descriptions; default 0 */
  const tarn_filters* filters; /* NULL (the default): built-in filter 0; a set loaded
                                  with TARN_FILTERS_PREFILTER has no post-filter and
                                  is refused (TARN_ERR_INVALID_ARGUMENT) */
  int32_t coefficients_only;   /* non-zero: output the decoded coefficient plane; default 0 */
  uint64_t max_pixels;         /* the largest image to decode; 0 (the default): no limit */
  tarn_loss loss;
  tarn_progress_fn progress;   /* optional */
  tarn_plane_fn on_plane;      /* optional: asks for the diagnostic planes */
  tarn_warning_fn on_warning;  /* optional: the concealment's warnings */
  void* user_data;             /* handed to the three callbacks */
  int32_t threads;             /* as the encoder's: 1 (the default), 0 for one
                                  per core, n > 1 for up to n; the output is
                                  the same for every count */
  uint32_t reserved[15];       /* 0; not read */
} tarn_decode_options;

TARN_API TARN_NODISCARD tarn_status tarn_decode_options_init_abi(tarn_decode_options* options,
                                                                uint32_t abi_version);
/* Sets every field to its default. */
static inline tarn_status tarn_decode_options_init(tarn_decode_options* options) {
  return tarn_decode_options_init_abi(options, TARN_ABI_VERSION);
}

/* The result of a decode. The bytes each description's decoder read (one
 * or two more than its payload length for a well-formed stream) are filled
 * in also when a later description fails. Release pixels and plane with
 * tarn_free(). */
typedef struct tarn_decoded {
  uint32_t width, height;   /* of the image: twice a description's with MDC */
  uint8_t* pixels;          /* width x height bytes, or NULL with coefficients_only */
  float* plane;             /* width x height floats with coefficients_only, else NULL */
  int32_t descriptions;     /* descriptions decoded */
  uint32_t bytes_read[4];
} tarn_decoded;

/* Decodes a whole compressed stream in memory (bytes after the announced
 * records are ignored). Fails with TARN_ERR_TRUNCATED_STREAM,
 * TARN_ERR_CORRUPT_STREAM, TARN_ERR_PIXEL_LIMIT, TARN_ERR_OUT_OF_MEMORY,
 * TARN_ERR_CANCELLED or TARN_ERR_INVALID_ARGUMENT; out->pixels and
 * out->plane are then NULL. */
TARN_API TARN_NODISCARD tarn_status tarn_decode(const void* data, size_t size,
                                               const tarn_decode_options* options,
                                               tarn_decoded* out);

/* Record by record, for streams that arrive piece by piece. A stream is its
 * first record's width and height (4 bytes), then per description q and the
 * payload length L (8 bytes), L payload bytes and the next record's width
 * and height (4 bytes, unused; absent after the last record). */
typedef struct tarn_decoder tarn_decoder;

/* The size of one description from a stream's first 4 bytes;
 * TARN_ERR_CORRUPT_STREAM when it is not a positive multiple of 8. */
TARN_API TARN_NODISCARD tarn_status tarn_stream_dimensions(const uint8_t bytes[4], uint32_t* width,
                                                          uint32_t* height);

/* q and the payload length from the 8 bytes after a record's width and
 * height. Both are filled in also on failure: TARN_ERR_CORRUPT_STREAM for a
 * length over 2^31 - 1 or a q that is not a positive finite number. */
TARN_API TARN_NODISCARD tarn_status tarn_record_fields(const uint8_t bytes[8], float* q,
                                                      uint32_t* length);

/* A decoder for descriptions of width x height (from tarn_stream_dimensions)
 * with the given options, which it copies (the filter set must outlive it).
 * TARN_ERR_PIXEL_LIMIT when the image would have more than max_pixels
 * samples. */
TARN_API TARN_NODISCARD tarn_status tarn_decoder_create(const tarn_decode_options* options,
                                                       uint32_t width, uint32_t height,
                                                       tarn_decoder** out);

/* Decodes the next description from its q and payload; *bytes_read (may be
 * NULL) receives the bytes its decoder read. Fails with
 * TARN_ERR_CORRUPT_STREAM (also for a q that is not positive and finite, or
 * a length over 2^31 - 1), TARN_ERR_CANCELLED, TARN_ERR_OUT_OF_MEMORY, or
 * TARN_ERR_INVALID_ARGUMENT once every description has been decoded. */
TARN_API TARN_NODISCARD tarn_status tarn_decoder_decode(tarn_decoder* decoder, float q,
                                                       const uint8_t* payload, size_t length,
                                                       uint32_t* bytes_read);

/* A record's q and payload, as tarn_decoder_decode takes them. */
typedef struct tarn_record {
  float q;
  const uint8_t* payload;
  size_t length;
} tarn_record;

/* Decodes the next count records as count calls of tarn_decoder_decode in
 * turn would, up to the options' threads of them at once (with MDC, the four
 * descriptions). Returns TARN_OK, or the status of the first record that
 * fails; *decoded (may be NULL) receives the number of records decoded
 * before it and bytes_read (count entries, may be NULL) their byte counts.
 * TARN_ERR_INVALID_ARGUMENT for a count below 1 or above the descriptions
 * still to come. */
TARN_API TARN_NODISCARD tarn_status tarn_decoder_decode_records(tarn_decoder* decoder,
                                                               const tarn_record* records,
                                                               int32_t count, uint32_t* bytes_read,
                                                               int32_t* decoded);

/* Width and height of the output image (twice a description's with MDC).
 * No argument may be NULL. */
TARN_API void tarn_decoder_output_size(const tarn_decoder* decoder, uint32_t* width,
                                       uint32_t* height);

/* After the last description: makes what the reconstruction needs (with
 * MDC, the full-size image), so that tarn_decoder_finish allocates nothing.
 * Optional (finish makes it when it has not been made); a caller that
 * creates an output file calls it first, so that running out of memory
 * leaves no file behind. Fails with TARN_ERR_OUT_OF_MEMORY, or
 * TARN_ERR_INVALID_ARGUMENT before the last description. */
TARN_API TARN_NODISCARD tarn_status tarn_decoder_prepare(tarn_decoder* decoder);

/* After the last description: reconstructs the image into output (width x
 * height bytes, row y at output + y * stride; the extent of output is not
 * checked), or with coefficients_only copies the coefficient plane into it
 * (floats, stride counted in floats). The diagnostic callbacks run during
 * this call. Call once. */
TARN_API TARN_NODISCARD tarn_status tarn_decoder_finish(tarn_decoder* decoder, void* output,
                                                       size_t stride);

/* With coefficients_only, after the last description: hands the decoded
 * coefficient plane (width x height floats, row-major) to *plane without a
 * copy; release it with tarn_free(). Takes the place of
 * tarn_decoder_finish. */
TARN_API TARN_NODISCARD tarn_status tarn_decoder_take_plane(tarn_decoder* decoder, float** plane);

TARN_API void tarn_decoder_free(tarn_decoder* decoder);

/* Bytes the library allocates at the peak of decoding a stream whose
 * descriptions are width x height: the decoder's objects and, with MDC, the
 * merged plane. Neither the payloads nor the output (which tarn_decode
 * allocates too) are included. */
TARN_API uint64_t tarn_decode_memory(uint32_t width, uint32_t height,
                                     const tarn_decode_options* options);

/* ------------------------------------------------------------------------
 * Image files in memory: binary PGM (P5), PNG and raw coefficient planes.
 */
typedef struct tarn_image {
  uint32_t width, height;
  uint8_t* pixels; /* width x height bytes, row-major; release with tarn_free() */
} tarn_image;

typedef struct tarn_plane {
  uint32_t width, height;
  float* values;   /* width x height floats, row-major; release with tarn_free() */
} tarn_plane;

typedef enum tarn_pgm_rules {
  /* The encoder's header: a magic line beginning "P5", a line "width
   * height", a maxval line (1 to 255), each at most 99 characters and each
   * optionally preceded by "#" comment lines; width and height multiples of
   * 16, at most 65535. */
  TARN_PGM_ENCODER = 0,
  /* Any binary PGM of 8-bit samples: blanks and comments anywhere between
   * the header fields, any size up to 65535, maxval 1 to 255. */
  TARN_PGM_ANY = 1
} tarn_pgm_rules;

/* Parses a PGM header: *header_size receives the offset of the first
 * sample (at most size). With complete 0 the data may go on (a pipe that is
 * still being read): TARN_ERR_NEED_MORE_DATA asks for more; with complete
 * non-zero the data ends there. Fails with TARN_ERR_PGM_MAGIC,
 * TARN_ERR_PGM_FORMAT, TARN_ERR_PGM_SIZE, or TARN_ERR_TRUNCATED_INPUT for a
 * maxval line the encoder's rules cannot take. */
TARN_API TARN_NODISCARD tarn_status tarn_pgm_parse_header(const void* data, size_t size,
                                                         int32_t complete, int32_t rules,
                                                         uint32_t* width, uint32_t* height,
                                                         size_t* header_size);

/* Reads a whole PGM: header errors as tarn_pgm_parse_header, and
 * TARN_ERR_TRUNCATED_INPUT when the samples are short. */
TARN_API TARN_NODISCARD tarn_status tarn_pgm_read(const void* data, size_t size, int32_t rules,
                                                 tarn_image* out);

/* The header the decoder writes ("P5\n<w> <h>\n255\n") into text (room for
 * 32 bytes, not NULL); returns its length. */
TARN_API size_t tarn_pgm_header(uint32_t width, uint32_t height, char text[32]);

/* A whole PGM file of width x height samples (row y at pixels + y * stride)
 * in a new buffer *data of *size bytes. */
TARN_API TARN_NODISCARD tarn_status tarn_pgm_write(const uint8_t* pixels, uint32_t width,
                                                  uint32_t height, size_t stride, uint8_t** data,
                                                  size_t* size);

/* PNG: grey images of 1, 2, 4 or 8 bits are read (fewer than 8 bits scaled
 * to 0..255, as 255 * v / (2^bits - 1)); colour, an alpha channel or a tRNS
 * chunk, and 16 bits are refused with TARN_ERR_PNG_FORMAT. libpng's
 * warnings are dropped, its errors become statuses: nothing is printed. */

/* Bytes of the signature that begins every PNG file. */
#define TARN_PNG_SIGNATURE_SIZE 8

/* Non-zero when data begins with the PNG signature (0 for fewer than
 * TARN_PNG_SIGNATURE_SIZE bytes). */
TARN_API int32_t tarn_png_has_signature(const void* data, size_t size);

/* Reads a PNG's chunks up to its image data: the size and whether the
 * image can be read. rules as for PGM: TARN_PGM_ENCODER wants width and
 * height multiples of 16 (TARN_ERR_PGM_SIZE), both take up to 65535
 * (TARN_ERR_PNG_FORMAT beyond). Fails with TARN_ERR_PNG_FORMAT (also for
 * data that is no PNG) or TARN_ERR_TRUNCATED_INPUT when data ends first. */
TARN_API TARN_NODISCARD tarn_status tarn_png_parse_header(const void* data, size_t size, int32_t rules,
                                                         uint32_t* width, uint32_t* height);

/* Reads a whole PNG (through its end chunk; bytes after it are ignored):
 * header errors as tarn_png_parse_header, TARN_ERR_TRUNCATED_INPUT when the
 * data ends early, TARN_ERR_PNG_FORMAT for damaged image data. */
TARN_API TARN_NODISCARD tarn_status tarn_png_read(const void* data, size_t size, int32_t rules,
                                                 tarn_image* out);

/* A whole PNG file, 8-bit grey, of width x height samples (row y at pixels
 * + y * stride; both sizes 1 to 2^31 - 1) in a new buffer *data of *size
 * bytes. */
TARN_API TARN_NODISCARD tarn_status tarn_png_write(const uint8_t* pixels, uint32_t width,
                                                  uint32_t height, size_t stride, uint8_t** data,
                                                  size_t* size);

/* Size in bytes of a raw plane's header (width and height, 32-bit each). */
#define TARN_RAW_PLANE_HEADER_SIZE 8

/* The size fields of a raw plane: TARN_ERR_RAW_PLANE_SIZE unless both are
 * positive multiples of 8 (16 with mdc non-zero) up to 65535. */
TARN_API TARN_NODISCARD tarn_status tarn_raw_plane_parse_header(const uint8_t bytes[8], int32_t mdc,
                                                               uint32_t* width, uint32_t* height);

/* Reads a whole raw plane: header errors as above, TARN_ERR_TRUNCATED_INPUT
 * when the values are short. The floats are taken in the host's layout. */
TARN_API TARN_NODISCARD tarn_status tarn_raw_plane_read(const void* data, size_t size, int32_t mdc,
                                                       tarn_plane* out);

/* The 8 header bytes of a raw plane of width x height (bytes not NULL). */
TARN_API void tarn_raw_plane_header(uint32_t width, uint32_t height, uint8_t bytes[8]);

/* A whole raw plane file in a new buffer *data of *size bytes. */
TARN_API TARN_NODISCARD tarn_status tarn_raw_plane_write(const float* values, uint32_t width,
                                                        uint32_t height, uint8_t** data,
                                                        size_t* size);

#ifdef __cplusplus
}
#endif

#endif /* TARN_TARN_H */
