#include "demo/record/MovieWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/kernel/Logging.h"
#include "core/persist/OsFile.h"
#include "core/render/base/LFB.h"

namespace qibo::demo {

namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  return text;
}

// Whether the container can hold the codec; muxers that cannot tell are
// given the benefit of the doubt (the header write will say).
bool ContainerTakes(const AVOutputFormat* format, AVCodecID codec) {
  return avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) != 0;
}

AVPixelFormat PickPixelFormat(const AVCodec* codec) {
  if (!codec->pix_fmts) return AV_PIX_FMT_YUV420P;
  for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
    if (*f == AV_PIX_FMT_YUV420P) return *f;
  return codec->pix_fmts[0];
}

AVSampleFormat PickSampleFormat(const AVCodec* codec) {
  if (!codec->sample_fmts) return AV_SAMPLE_FMT_FLTP;
  for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == AV_SAMPLE_FMT_FLTP) return *f;
  return codec->sample_fmts[0];
}

// The requested rate if the encoder takes it, else the nearest higher one,
// else its highest.
int PickSampleRate(const AVCodec* codec, int wanted) {
  if (!codec->supported_samplerates) return wanted;
  int higher = 0, highest = 0;
  for (const int* r = codec->supported_samplerates; *r; ++r) {
    if (*r == wanted) return wanted;
    if (*r > wanted && (!higher || *r < higher)) higher = *r;
    if (*r > highest) highest = *r;
  }
  return higher ? higher : highest;
}

}  // namespace

struct MovieWriter::State {
  AVFormatContext* format = nullptr;
  bool fileOpened = false;
  bool headerWritten = false;
  bool failed = false;
  std::string path;    // as the caller named it, for messages
  std::string target;  // the file the finished movie becomes (links followed)
  std::string temp;    // the file being written beside it; empty: writing to path itself
  AVPacket* packet = nullptr;

  AVCodecContext* video = nullptr;
  AVStream* videoStream = nullptr;
  AVFrame* videoFrame = nullptr;
  SwsContext* scaler = nullptr;
  int64_t videoFrames = 0;

  AVCodecContext* audio = nullptr;
  AVStream* audioStream = nullptr;
  AVFrame* audioFrame = nullptr;
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  int inputChannels = 0;
  int frameSize = 0;               // samples per encoded audio frame
  int64_t audioIn = 0;             // sample frames added
  int64_t audioPts = 0;            // samples sent to the encoder
  std::vector<uint8_t> converted;  // resampler output, all planes in one block
};

namespace {

struct QualityLevel {
  MovieQuality quality;
  const char* name;
  const char* preset;
  float crf;
};

// Measured on the whole demo (640x480, 60 fps, sound included) against a
// lossless recording of the same frames with FFmpeg's ssim filter: draft
// 155 MB, normal 71 MB (mean SSIM 0.943), high 145 MB (0.958), lossless
// 1.7 GB. The film grain, fresh noise in every frame, is most of each.
const QualityLevel kQualityLevels[] = {
    {MovieQuality::kDraft, "draft", "ultrafast", 23},
    {MovieQuality::kNormal, "normal", "medium", 22.5f},
    {MovieQuality::kHigh, "high", "medium", 20},
    {MovieQuality::kLossless, "lossless", "ultrafast", -1},
};

}  // namespace

MovieSettings MovieSettings::For(MovieQuality quality) {
  MovieSettings settings;
  for (const QualityLevel& level : kQualityLevels)
    if (level.quality == quality) {
      settings.x264Preset = level.preset;
      settings.x264Crf = level.crf;
    }
  return settings;
}

const char* QualityName(MovieQuality quality) {
  for (const QualityLevel& level : kQualityLevels)
    if (level.quality == quality) return level.name;
  return "";
}

bool ParseQuality(const std::string& name, MovieQuality& quality) {
  for (const QualityLevel& level : kQualityLevels)
    if (name == level.name) {
      quality = level.quality;
      return true;
    }
  return false;
}

MovieWriter::MovieWriter() = default;
MovieWriter::MovieWriter(MovieSettings settings) : m_settings(std::move(settings)) {}
MovieWriter::~MovieWriter() { Close(); }

bool MovieWriter::IsOpen() const { return m_state != nullptr; }
int64_t MovieWriter::VideoFrames() const { return m_state ? m_state->videoFrames : 0; }
int64_t MovieWriter::AudioSamples() const { return m_state ? m_state->audioIn : 0; }
std::string MovieWriter::VideoEncoder() const {
  return m_state && m_state->video ? m_state->video->codec->name : "";
}
std::string MovieWriter::AudioEncoder() const {
  return m_state && m_state->audio ? m_state->audio->codec->name : "";
}

bool MovieWriter::Fail(const std::string& text) {
  Refuse(text);
  if (m_state) m_state->failed = true;
  return false;
}

bool MovieWriter::Refuse(const std::string& text) {
  m_lastError = text;
  qiBO_Error(text.c_str(), nullptr);
  return false;
}

bool MovieWriter::Open(const char* path, int width, int height, int fps, int sampleRate, int channels) {
  Close();
  m_lastError.clear();
  if (!path || !*path) return Fail("No movie file name given");
  if (width < 16 || height < 16 || width > 8192 || height > 8192 || width % 2 || height % 2)
    return Fail("A movie of " + std::to_string(width) + "x" + std::to_string(height) +
                " pixels cannot be written: each side must be even and 16 to 8192");
  if (fps < 1 || fps > 1000)
    return Fail("A movie at " + std::to_string(fps) + " frames per second cannot be written");
  if (channels < 0 || channels > 8 || (channels > 0 && (sampleRate < 8000 || sampleRate > 192000)))
    return Fail("Sound of " + std::to_string(channels) + " channels at " + std::to_string(sampleRate) +
                " Hz cannot be written");

  // FFmpeg reports every file it writes on the console; keep only errors
  // unless somebody asked for more.
  if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_ERROR);

  m_state = std::make_unique<State>();
  State& s = *m_state;
  s.path = path;
  if (!PrepareOutput()) {
    Release();
    return false;
  }
  const char* output = s.temp.empty() ? path : s.temp.c_str();
  const AVOutputFormat* container = av_guess_format(nullptr, path, nullptr);
  if (!container) container = av_guess_format("mp4", nullptr, nullptr);
  int ret = avformat_alloc_output_context2(&s.format, container, nullptr, output);
  s.packet = av_packet_alloc();
  if (ret < 0 || !s.format || !s.packet) {
    Fail(std::string("Can't set up the movie \"") + path + "\": " + AvError(ret));
    Release();
    return false;
  }
  if (!OpenVideo(width, height, fps) || (channels > 0 && !OpenAudio(sampleRate, channels))) {
    Release();
    return false;
  }
  if (!(s.format->oformat->flags & AVFMT_NOFILE)) {
    ret = avio_open(&s.format->pb, output, AVIO_FLAG_WRITE);
    if (ret < 0) {
      Fail(std::string("Can't write the movie \"") + path + "\": " + AvError(ret));
      Release();
      return false;
    }
    s.fileOpened = true;
  }
  AVDictionary* options = nullptr;
  // The index goes to the front so that players can start at once.
  if (!strcmp(s.format->oformat->name, "mp4") || !strcmp(s.format->oformat->name, "mov"))
    av_dict_set(&options, "movflags", "+faststart", 0);
  ret = avformat_write_header(s.format, &options);
  av_dict_free(&options);
  if (ret < 0) {
    Fail(std::string("Can't write the movie header of \"") + path + "\": " + AvError(ret));
    Release();
    return false;
  }
  s.headerWritten = true;
  return true;
}

bool MovieWriter::PrepareOutput() {
  State& s = *m_state;
  struct stat st;
  // A device or pipe (/dev/null, a FIFO) is written as it is: it cannot be
  // replaced and keeps nothing to lose.
  if (stat(s.path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return true;
  std::string why;
  if (!qibo::FollowLinks(s.path, s.target, &why))
    return Fail("Can't write the movie \"" + s.path + "\": " + why);
  // A file marked read-only is not replaced, as opening it would not be.
  if (qibo::IsReadOnlyFile(s.target))
    return Fail("Can't write the movie \"" + s.path + "\": the file is read-only");
  std::string temp;
  const int fd = qibo::CreateFileBeside(s.target, temp);
  if (fd < 0) {
    const int error = errno;
    return Fail("Can't write the movie \"" + s.path + "\": " + strerror(error));
  }
  close(fd);
  s.temp = temp;
  return true;
}

bool MovieWriter::Commit() {
  State& s = *m_state;
  if (s.temp.empty()) return true;
  // The finished movie takes the place (and the permissions) of what was
  // there; until now that file was left alone.
  struct stat old;
  if (stat(s.target.c_str(), &old) == 0) chmod(s.temp.c_str(), old.st_mode & 07777);
  if (rename(s.temp.c_str(), s.target.c_str()) != 0) {
    const int error = errno;
    return Fail("Can't put the movie in place as \"" + s.path + "\": " + strerror(error));
  }
  s.temp.clear();
  return true;
}

bool MovieWriter::OpenVideo(int width, int height, int fps) {
  State& s = *m_state;
  std::string skipped;
  for (const std::string& name : m_settings.videoEncoders) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO || !ContainerTakes(s.format->oformat, codec->id)) {
      skipped += (skipped.empty() ? "" : ", ") + name;
      continue;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) break;
    ctx->width = width;
    ctx->height = height;
    ctx->time_base = AVRational{1, fps};
    ctx->framerate = AVRational{fps, 1};
    ctx->pix_fmt = PickPixelFormat(codec);
    ctx->gop_size = fps * 2;  // a key frame every two seconds for seeking
    ctx->thread_count = m_settings.threads;
    ctx->colorspace = AVCOL_SPC_SMPTE170M;  // what libswscale converts to
    ctx->color_range = AVCOL_RANGE_MPEG;
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (codec->id == AV_CODEC_ID_H264 && !strcmp(codec->name, "libx264")) {
      av_dict_set(&options, "preset", m_settings.x264Preset.c_str(), 0);
      if (!m_settings.x264Tune.empty()) av_dict_set(&options, "tune", m_settings.x264Tune.c_str(), 0);
      if (m_settings.x264Crf >= 0.0f) {
        // Written without the locale's decimal separator.
        char crf[32] = {};
        std::to_chars(crf, crf + sizeof(crf) - 1, m_settings.x264Crf);
        av_dict_set(&options, "crf", crf, 0);
      } else
        av_dict_set_int(&options, "qp", 0, 0);
    } else {
      // Constant quantiser: the encoders without a quality mode of their own
      // would otherwise fall back to a low default bit rate.
      ctx->flags |= AV_CODEC_FLAG_QSCALE;
      ctx->global_quality = FF_QP2LAMBDA * 3;
    }
    const int ret = avcodec_open2(ctx, codec, &options);
    av_dict_free(&options);
    if (ret < 0) {
      qiBO_Warning(("The video encoder " + name + " cannot be used: " + AvError(ret)).c_str(), nullptr);
      avcodec_free_context(&ctx);
      skipped += (skipped.empty() ? "" : ", ") + name;
      continue;
    }
    if (!skipped.empty())
      qiBO_Warning(("Video encoders not available: " + skipped + "; recording with " + name).c_str(),
                   nullptr);
    s.video = ctx;
    s.videoStream = avformat_new_stream(s.format, nullptr);
    s.videoFrame = av_frame_alloc();
    if (!s.videoStream || !s.videoFrame) return Fail("Out of memory setting up the video");
    s.videoStream->time_base = ctx->time_base;
    s.videoStream->avg_frame_rate = ctx->framerate;
    if (avcodec_parameters_from_context(s.videoStream->codecpar, ctx) < 0)
      return Fail("Out of memory setting up the video");
    s.videoFrame->format = ctx->pix_fmt;
    s.videoFrame->width = width;
    s.videoFrame->height = height;
    if (av_frame_get_buffer(s.videoFrame, 0) < 0) return Fail("Out of memory setting up the video");
    return true;
  }
  return Fail(std::string("No video encoder for \"") + s.path + "\" (tried " + skipped + ")");
}

bool MovieWriter::OpenAudio(int sampleRate, int channels) {
  State& s = *m_state;
  std::string skipped;
  for (const std::string& name : m_settings.audioEncoders) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_AUDIO || !ContainerTakes(s.format->oformat, codec->id)) {
      skipped += (skipped.empty() ? "" : ", ") + name;
      continue;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) break;
    ctx->sample_fmt = PickSampleFormat(codec);
    ctx->sample_rate = PickSampleRate(codec, sampleRate);
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->bit_rate = int64_t{m_settings.audioBitRate} * channels;
    ctx->time_base = AVRational{1, ctx->sample_rate};
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int ret = avcodec_open2(ctx, codec, nullptr);
    if (ret < 0) {
      qiBO_Warning(("The audio encoder " + name + " cannot be used: " + AvError(ret)).c_str(), nullptr);
      avcodec_free_context(&ctx);
      skipped += (skipped.empty() ? "" : ", ") + name;
      continue;
    }
    if (!skipped.empty())
      qiBO_Warning(("Audio encoders not available: " + skipped + "; recording with " + name).c_str(),
                   nullptr);
    s.audio = ctx;
    s.inputChannels = channels;
    s.frameSize = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || ctx->frame_size <= 0
                      ? 1024
                      : ctx->frame_size;
    AVChannelLayout input{};
    av_channel_layout_default(&input, channels);
    const int swr = swr_alloc_set_opts2(&s.resampler, &ctx->ch_layout, ctx->sample_fmt, ctx->sample_rate,
                                        &input, AV_SAMPLE_FMT_FLT, sampleRate, 0, nullptr);
    av_channel_layout_uninit(&input);
    if (swr < 0 || swr_init(s.resampler) < 0)
      return Fail("Can't set up the sound conversion: " + AvError(swr));
    s.fifo = av_audio_fifo_alloc(ctx->sample_fmt, channels, s.frameSize * 2);
    s.audioStream = avformat_new_stream(s.format, nullptr);
    s.audioFrame = av_frame_alloc();
    if (!s.fifo || !s.audioStream || !s.audioFrame) return Fail("Out of memory setting up the sound");
    s.audioStream->time_base = ctx->time_base;
    if (avcodec_parameters_from_context(s.audioStream->codecpar, ctx) < 0)
      return Fail("Out of memory setting up the sound");
    s.audioFrame->format = ctx->sample_fmt;
    s.audioFrame->sample_rate = ctx->sample_rate;
    s.audioFrame->nb_samples = s.frameSize;
    if (av_channel_layout_copy(&s.audioFrame->ch_layout, &ctx->ch_layout) < 0 ||
        av_frame_get_buffer(s.audioFrame, 0) < 0)
      return Fail("Out of memory setting up the sound");
    return true;
  }
  return Fail(std::string("No audio encoder for \"") + s.path + "\" (tried " + skipped + ")");
}

bool MovieWriter::AddVideoFrame(const uint8_t* pixels, int pitch, PixelLayout layout, bool bottomUp) {
  if (!m_state || !m_state->video) return Refuse("No movie is open for a video frame");
  return AddPixels(pixels, m_state->video->width, m_state->video->height, pitch, layout, bottomUp);
}

bool MovieWriter::AddVideoFrame(const LFB& picture) {
  // 0xAARRGGBB words lie in memory as B, G, R, A on this little-endian
  // platform.
  return AddPixels(reinterpret_cast<const uint8_t*>(picture.GetPixels()), picture.GetWidth(),
                   picture.GetHeight(), picture.GetPitch() * 4, PixelLayout::kBgra, false);
}

bool MovieWriter::AddPixels(const uint8_t* pixels, int width, int height, int pitch, PixelLayout layout,
                            bool bottomUp) {
  if (!m_state || !m_state->video) return Refuse("No movie is open for a video frame");
  State& s = *m_state;
  if (s.failed) return false;
  if (!pixels || width < 1 || height < 1 || pitch < width * 4)
    return Refuse("Video frame " + std::to_string(s.videoFrames) +
                  " has no pixels or rows shorter than its width");
  const AVPixelFormat source = layout == PixelLayout::kRgba ? AV_PIX_FMT_RGBA : AV_PIX_FMT_BGRA;
  s.scaler = sws_getCachedContext(s.scaler, width, height, source, s.video->width, s.video->height,
                                  s.video->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!s.scaler) return Fail("Can't convert the video frames");
  int ret = av_frame_make_writable(s.videoFrame);
  if (ret < 0) return Fail("Can't convert the video frames: " + AvError(ret));
  // A bottom-up picture is read from its last row with a negative stride.
  const uint8_t* first = bottomUp ? pixels + static_cast<ptrdiff_t>(height - 1) * pitch : pixels;
  const uint8_t* const planes[4] = {first, nullptr, nullptr, nullptr};
  const int strides[4] = {bottomUp ? -pitch : pitch, 0, 0, 0};
  sws_scale(s.scaler, planes, strides, 0, height, s.videoFrame->data, s.videoFrame->linesize);
  s.videoFrame->pts = s.videoFrames;
  ret = avcodec_send_frame(s.video, s.videoFrame);
  if (ret < 0) return Fail("Can't encode video frame " + std::to_string(s.videoFrames) + ": " + AvError(ret));
  ++s.videoFrames;
  return Drain(true);
}

bool MovieWriter::AddAudio(const float* interleaved, int frames) {
  if (!m_state) return Refuse("No movie is open for sound");
  State& s = *m_state;
  if (s.failed) return false;
  if (!s.audio || frames == 0) return true;
  if (!interleaved || frames < 0)
    return Refuse("Sound block of " + std::to_string(frames) + " frames is invalid");
  const int room = swr_get_out_samples(s.resampler, frames);
  if (room < 0) return Fail("Can't convert the sound: " + AvError(room));
  const int size = av_samples_get_buffer_size(nullptr, s.inputChannels, room, s.audio->sample_fmt, 1);
  if (size < 0) return Fail("Can't convert the sound: " + AvError(size));
  if (s.converted.size() < static_cast<size_t>(size)) s.converted.resize(static_cast<size_t>(size));
  uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
  av_samples_fill_arrays(planes, nullptr, s.converted.data(), s.inputChannels, room, s.audio->sample_fmt, 1);
  const auto* input = reinterpret_cast<const uint8_t*>(interleaved);
  const int got = swr_convert(s.resampler, planes, room, &input, frames);
  if (got < 0) return Fail("Can't convert the sound: " + AvError(got));
  if (got > 0 && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(planes), got) < got)
    return Fail("Out of memory buffering the sound");
  s.audioIn += frames;
  return EncodeAudio(false);
}

bool MovieWriter::EncodeAudio(bool flush) {
  State& s = *m_state;
  while (av_audio_fifo_size(s.fifo) >= s.frameSize || (flush && av_audio_fifo_size(s.fifo) > 0)) {
    int ret = av_frame_make_writable(s.audioFrame);
    if (ret < 0) return Fail("Can't encode the sound: " + AvError(ret));
    // The last frame may be short; libavcodec pads it where the encoder
    // needs whole frames.
    const int count = std::min(av_audio_fifo_size(s.fifo), s.frameSize);
    s.audioFrame->nb_samples = count;
    if (av_audio_fifo_read(s.fifo, reinterpret_cast<void**>(s.audioFrame->data), count) < count)
      return Fail("Can't encode the sound: the buffer ran dry");
    s.audioFrame->pts = s.audioPts;
    s.audioPts += count;
    ret = avcodec_send_frame(s.audio, s.audioFrame);
    if (ret < 0) return Fail("Can't encode the sound: " + AvError(ret));
    if (!Drain(false)) return false;
  }
  return true;
}

// Moves every packet the encoder has ready into the file.
bool MovieWriter::Drain(bool video) {
  State& s = *m_state;
  AVCodecContext* ctx = video ? s.video : s.audio;
  AVStream* stream = video ? s.videoStream : s.audioStream;
  for (;;) {
    int ret = avcodec_receive_packet(ctx, s.packet);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0)
      return Fail("Can't encode the " + std::string(video ? "video" : "sound") + ": " + AvError(ret));
    s.packet->stream_index = stream->index;
    av_packet_rescale_ts(s.packet, ctx->time_base, stream->time_base);
    ret = av_interleaved_write_frame(s.format, s.packet);
    if (ret < 0) return Fail("Can't write to the movie \"" + s.path + "\": " + AvError(ret));
  }
}

bool MovieWriter::Close() {
  if (!m_state) return false;
  State& s = *m_state;
  bool ok = !s.failed && s.headerWritten;
  // After a failure the encoders are still drained, so that everything is
  // freed in order; the movie is then not put in place.
  if (s.headerWritten) {
    bool flushed = true;
    if (s.audio) {
      // Sound still inside the resampler (only when it changes the rate).
      const int room = swr_get_out_samples(s.resampler, 0);
      const int size =
          room > 0 ? av_samples_get_buffer_size(nullptr, s.inputChannels, room, s.audio->sample_fmt, 1) : 0;
      if (size > 0) {
        if (s.converted.size() < static_cast<size_t>(size)) s.converted.resize(static_cast<size_t>(size));
        uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
        av_samples_fill_arrays(planes, nullptr, s.converted.data(), s.inputChannels, room,
                               s.audio->sample_fmt, 1);
        const int got = swr_convert(s.resampler, planes, room, nullptr, 0);
        if (got > 0) av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(planes), got);
      }
      flushed = EncodeAudio(true) && avcodec_send_frame(s.audio, nullptr) >= 0 && Drain(false);
    }
    flushed = avcodec_send_frame(s.video, nullptr) >= 0 && Drain(true) && flushed;
    const int ret = av_write_trailer(s.format);
    if (ret < 0) flushed = Fail("Can't finish the movie \"" + s.path + "\": " + AvError(ret));
    ok = ok && flushed;
  }
  if (s.format && s.fileOpened) {
    const int ret = avio_closep(&s.format->pb);
    if (ret < 0 && ok) ok = Fail("Can't finish the movie \"" + s.path + "\": " + AvError(ret));
    s.fileOpened = false;
  }
  ok = ok && Commit();
  Release();
  return ok;
}

void MovieWriter::Discard() { Release(); }

void MovieWriter::Release() {
  if (!m_state) return;
  State& s = *m_state;
  if (s.format && s.fileOpened) avio_closep(&s.format->pb);
  avformat_free_context(s.format);
  avcodec_free_context(&s.video);
  avcodec_free_context(&s.audio);
  av_frame_free(&s.videoFrame);
  av_frame_free(&s.audioFrame);
  av_packet_free(&s.packet);
  sws_freeContext(s.scaler);
  swr_free(&s.resampler);
  if (s.fifo) av_audio_fifo_free(s.fifo);
  // A movie that was not finished leaves nothing behind, and the file it
  // was to replace as it was.
  if (!s.temp.empty()) unlink(s.temp.c_str());
  m_state.reset();
}

}  // namespace qibo::demo
