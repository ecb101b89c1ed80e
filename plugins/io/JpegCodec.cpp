// JPEG through libjpeg-turbo's libjpeg 6b API. libjpeg reports errors by
// calling error_exit, which must not return: ours formats the message into
// the context (the codec's client data, one per call) and longjmps back to
// the one small function that called setjmp. Only trivial objects live in
// those functions, so the jump skips no destructor; the caller destroys
// the codec on every path. Warnings (a truncated stream among them) are
// treated as errors: a picture from a damaged file is refused, not padded.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h uses size_t and FILE without including their headers.
#include <jpeglib.h>

#include "plugins/io/PictureCodec.h"

namespace qibo::io {

namespace {

// A progressive picture is decoded scan by scan over the whole picture, so
// a file of thousands of tiny scans costs minutes. Real encoders write a
// dozen or so; more than this many is refused.
constexpr int kMaxScans = 256;

struct JpegContext {
  jpeg_error_mgr manager;
  jpeg_progress_mgr progress;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr codec) {
  auto* context = static_cast<JpegContext*>(codec->client_data);
  (*codec->err->format_message)(codec, context->message);
  longjmp(context->jump, 1);
}

// libjpeg reports progress while it reads each scan: the place to count them.
void OnProgress(j_common_ptr codec) {
  if (!codec->is_decompressor) return;
  const int scans = reinterpret_cast<j_decompress_ptr>(codec)->input_scan_number;
  if (scans <= kMaxScans) return;
  auto* context = static_cast<JpegContext*>(codec->client_data);
  snprintf(context->message, sizeof(context->message), "JPEG picture has more than %d scans", kMaxScans);
  longjmp(context->jump, 1);
}

void OnMessage(j_common_ptr codec, int level) {
  if (level < 0) OnError(codec);
}

void Attach(jpeg_common_struct* codec, JpegContext& context) {
  codec->err = jpeg_std_error(&context.manager);
  context.manager.error_exit = OnError;
  context.manager.emit_message = OnMessage;
  context.message[0] = '\0';
  context.progress.progress_monitor = OnProgress;
  codec->client_data = &context;
}

// Reads the header and chooses the output: BGRA bytes (0xAARRGGBB words,
// alpha 255) straight into the rows, or one grey byte per pixel.
bool ReadHeader(jpeg_decompress_struct* codec, JpegContext* context, const uint8_t* data, size_t size) {
  if (setjmp(context->jump)) return false;
  codec->progress = &context->progress;  // after jpeg_create_decompress, which clears it
  codec->mem->max_memory_to_use = static_cast<long>(kMaxPictureBytes);
  jpeg_mem_src(codec, data, static_cast<unsigned long>(size));
  jpeg_read_header(codec, TRUE);
  codec->out_color_space = codec->jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_EXT_BGRA;
  jpeg_calc_output_dimensions(codec);
  // libjpeg's working memory (a progressive picture keeps every
  // coefficient) and the picture share the budget: beyond it the decoder
  // stops with an error instead of growing.
  const uint64_t picture = uint64_t{codec->output_width} * codec->output_height * 4;
  // (0 would mean no limit at all.)
  codec->mem->max_memory_to_use =
      picture < kMaxPictureBytes ? static_cast<long>(kMaxPictureBytes - picture) : 1;
  return true;
}

// Decodes into rows of pitch words; grey pictures go through line, which
// holds one row of bytes.
bool ReadPixels(jpeg_decompress_struct* codec, JpegContext* context, uint32_t* pixels, size_t pitch,
                uint8_t* line) {
  if (setjmp(context->jump)) return false;
  jpeg_start_decompress(codec);
  while (codec->output_scanline < codec->output_height) {
    uint32_t* row = pixels + codec->output_scanline * pitch;
    JSAMPROW target = codec->output_components == 1 ? line : reinterpret_cast<JSAMPROW>(row);
    jpeg_read_scanlines(codec, &target, 1);
    if (codec->output_components == 1)
      for (JDIMENSION x = 0; x < codec->output_width; ++x) row[x] = 0xFF000000u | line[x] * 0x010101u;
  }
  jpeg_finish_decompress(codec);
  return true;
}

bool Decode(jpeg_decompress_struct& codec, JpegContext& context, const uint8_t* data, size_t size,
            Picture& picture, std::string& why) {
  if (!ReadHeader(&codec, &context, data, size)) {
    why = context.message;
    return false;
  }
  Picture result;
  // ReadPixels writes every row before it succeeds.
  if (!AllocPicture(result, codec.output_width, codec.output_height, why, false)) return false;
  LFB& lfb = *result.lfb;
  std::vector<uint8_t> line(codec.output_width);
  if (!ReadPixels(&codec, &context, lfb.GetPixels(), lfb.GetPitch(), line.data())) {
    why = context.message;
    return false;
  }
  lfb.SetColor(codec.output_components != 1);
  result.alphaDepth = 0;
  result.colorDepth = 8;
  picture = std::move(result);
  return true;
}

// Compresses rows of width x components bytes made by the caller's fill.
struct EncodeJob {
  const LFB* lfb;
  int quality;
  uint8_t* line;       // one row of input samples
  unsigned char* out;  // libjpeg's malloc'ed output, freed by the caller
  unsigned long outSize;
};

void FillLine(const LFB& lfb, int y, int components, uint8_t* line) {
  const uint32_t* row = lfb.GetRow(y);
  for (int x = 0; x < lfb.GetWidth(); ++x) {
    const uint32_t v = row[x];
    if (components == 1) {
      line[x] = static_cast<uint8_t>(v >> 16);
    } else {
      line[3 * x] = static_cast<uint8_t>(v >> 16);
      line[3 * x + 1] = static_cast<uint8_t>(v >> 8);
      line[3 * x + 2] = static_cast<uint8_t>(v);
    }
  }
}

bool Compress(jpeg_compress_struct* codec, JpegContext* context, EncodeJob* job) {
  if (setjmp(context->jump)) return false;
  jpeg_mem_dest(codec, &job->out, &job->outSize);
  const bool grey = !job->lfb->IsColor();
  codec->image_width = static_cast<JDIMENSION>(job->lfb->GetWidth());
  codec->image_height = static_cast<JDIMENSION>(job->lfb->GetHeight());
  codec->input_components = grey ? 1 : 3;
  codec->in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(codec);
  jpeg_set_quality(codec, job->quality, TRUE);
  jpeg_start_compress(codec, TRUE);
  while (codec->next_scanline < codec->image_height) {
    FillLine(*job->lfb, static_cast<int>(codec->next_scanline), codec->input_components, job->line);
    JSAMPROW row = job->line;
    jpeg_write_scanlines(codec, &row, 1);
  }
  jpeg_finish_compress(codec);
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, Picture& picture, std::string& why) {
  jpeg_decompress_struct codec{};
  JpegContext context{};
  Attach(reinterpret_cast<jpeg_common_struct*>(&codec), context);
  jpeg_create_decompress(&codec);
  const bool ok = Decode(codec, context, data, size, picture, why);
  jpeg_destroy_decompress(&codec);
  return ok;
}

bool EncodeJpeg(const LFB& lfb, int quality, std::vector<uint8_t>& out, std::string& why) {
  if (lfb.IsEmpty()) return false;
  std::vector<uint8_t> line(static_cast<size_t>(lfb.GetWidth()) * 3);
  EncodeJob job{&lfb, quality, line.data(), nullptr, 0};
  jpeg_compress_struct codec{};
  JpegContext context{};
  Attach(reinterpret_cast<jpeg_common_struct*>(&codec), context);
  jpeg_create_compress(&codec);
  const bool ok = Compress(&codec, &context, &job);
  jpeg_destroy_compress(&codec);
  if (ok)
    out.insert(out.end(), job.out, job.out + job.outSize);
  else
    why = context.message;
  free(job.out);
  return ok;
}

}  // namespace qibo::io
