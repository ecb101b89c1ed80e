#include "plugins/d3d/DMediaFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/persist/OsPath.h"
#include "core/render/base/LFB.h"

namespace {

// The steps of opening a file, in order, with the texts a failure prints
// (those of the multimedia-stream steps the player was first written on):
//   creating CLSID_AMMultiMediaStream object       the container reader
//   initializing IAMMultiMediaStream               its packet and frame buffers
//   opening media file                             a regular file FFmpeg can read
//   getting primary video stream                   the file has pictures
//   adding primary video stream                    a decoder for them
//   adding primary audio stream                    a decoder for the sound (when there is sound)
//   getting IID_IDirectDrawMediaStream interface   a picture size the player can show
//   creating sample                                the first picture decodes
//   getting surface                                its conversion to 32-bit pixels
constexpr const char* kCreating = "creating CLSID_AMMultiMediaStream object";
constexpr const char* kInitializing = "initializing IAMMultiMediaStream";
constexpr const char* kOpening = "opening media file";
constexpr const char* kGettingVideo = "getting primary video stream";
constexpr const char* kAddingVideo = "adding primary video stream";
constexpr const char* kAddingAudio = "adding primary audio stream";
constexpr const char* kGettingInterface = "getting IID_IDirectDrawMediaStream interface";
constexpr const char* kCreatingSample = "creating sample";
constexpr const char* kGettingSurface = "getting surface";

// Packets read for one stream while looking for the other's; beyond this
// (a file whose streams lie far apart) the oldest are dropped.
constexpr size_t kMaxQueuedPackets = 2048;
// Packets a decoder may refuse in a row before its stream counts as over.
constexpr int kMaxBadPackets = 64;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  return text;
}

void FreePackets(std::deque<AVPacket*>& packets) {
  for (AVPacket* packet : packets) av_packet_free(&packet);
  packets.clear();
}

}  // namespace

DMediaFile::DMediaFile() = default;

DMediaFile::~DMediaFile() { Close(); }

int DMediaFile::GetWidth() const { return m_video.codec ? m_video.codec->width : 0; }

int DMediaFile::GetHeight() const { return m_video.codec ? m_video.codec->height : 0; }

void DMediaFile::Close() {
  for (Track* track : {&m_video, &m_audio}) {
    FreePackets(track->packets);
    avcodec_free_context(&track->codec);
    *track = Track();
  }
  if (m_format) avformat_close_input(&m_format);
  av_packet_free(&m_packet);
  av_frame_free(&m_sound);
  av_frame_free(&m_pending);
  av_frame_free(&m_shown);
  sws_freeContext(m_scaler);
  m_scaler = nullptr;
  swr_free(&m_resampler);
  m_resamplerFormat = -1;
  m_resamplerRate = m_resamplerChannels = 0;
  m_readEnded = m_atStart = m_hasPending = false;
  m_originMs = m_clockMs = m_pendingMs = m_pictureEndMs = 0;
  m_frameMs = 40.0;
  m_soundPosition = -1;
  m_samples.clear();
}

const char* DMediaFile::Open(const char* name, std::string& detail) {
  Close();
  auto fail = [&](const char* step, std::string why) {
    detail = std::move(why);
    Close();
    return step;
  };
  m_format = avformat_alloc_context();
  if (!m_format) return fail(kCreating, "out of memory");
  m_packet = av_packet_alloc();
  m_sound = av_frame_alloc();
  m_pending = av_frame_alloc();
  m_shown = av_frame_alloc();
  if (!m_packet || !m_sound || !m_pending || !m_shown) return fail(kInitializing, "out of memory");

  // Only a regular file: FFmpeg would wait on a FIFO for a writer forever.
  if (!name || !*name || std::strlen(name) > kMaxNameLength)
    return fail(kOpening, "no name, or a name longer than 260 characters");
  const std::string path = qibo::ResolvePath(name);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return fail(kOpening, std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return fail(kOpening, "not a regular file");
  // Read as a plain file whatever its name looks like, and let no
  // playlist inside it reach for anything but files.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  int result = avformat_open_input(&m_format, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (result < 0) return fail(kOpening, AvError(result));  // the reader freed the context
  result = avformat_find_stream_info(m_format, nullptr);
  if (result < 0) return fail(kOpening, AvError(result));
  if (m_format->start_time != AV_NOPTS_VALUE) m_originMs = m_format->start_time / 1000;

  m_video.index = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  // A cover picture in a music file is no video.
  if (m_video.index < 0 || (m_format->streams[m_video.index]->disposition & AV_DISPOSITION_ATTACHED_PIC))
    return fail(kGettingVideo, "the file has no pictures");
  if (!OpenDecoder(m_video, detail)) return fail(kAddingVideo, detail);
  const AVRational rate = av_guess_frame_rate(m_format, m_format->streams[m_video.index], nullptr);
  if (rate.num > 0 && rate.den > 0) m_frameMs = 1000.0 * rate.den / rate.num;

  // A video without sound plays silently.
  m_audio.index = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, m_video.index, nullptr, 0);
  if (m_audio.index >= 0 && !OpenDecoder(m_audio, detail)) return fail(kAddingAudio, detail);
  if (m_audio.index < 0) m_audio = Track();

  const int width = GetWidth();
  const int height = GetHeight();
  if (width < 1 || height < 1 || width > LFB::kMaxSide || height > LFB::kMaxSide)
    return fail(kGettingInterface, "pictures of " + std::to_string(width) + " x " + std::to_string(height));
  if (!NextPicture()) return fail(kCreatingSample, "no picture could be decoded");
  m_scaler = sws_getCachedContext(
      m_scaler, m_pending->width, m_pending->height, static_cast<AVPixelFormat>(m_pending->format),
      m_pending->width, m_pending->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!m_scaler) return fail(kGettingSurface, "no conversion to 32-bit pixels");
  m_atStart = true;
  return nullptr;
}

bool DMediaFile::OpenDecoder(Track& track, std::string& detail) {
  const AVStream* stream = m_format->streams[track.index];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) {
    detail = std::string("FFmpeg has no decoder for ") + avcodec_get_name(stream->codecpar->codec_id);
    return false;
  }
  track.codec = avcodec_alloc_context3(codec);
  if (!track.codec) {
    detail = "out of memory";
    return false;
  }
  int result = avcodec_parameters_to_context(track.codec, stream->codecpar);
  track.codec->pkt_timebase = stream->time_base;
  track.codec->thread_count = 1;  // the engine's thread only
  if (result >= 0) result = avcodec_open2(track.codec, codec, nullptr);
  if (result < 0) {
    detail = std::string(codec->name) + ": " + AvError(result);
    return false;
  }
  track.timeBase = av_q2d(stream->time_base);
  return true;
}

bool DMediaFile::SetUpResampler(const AVFrame* frame, std::string& detail) {
  AVChannelLayout input{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&frame->ch_layout) == 0)
    av_channel_layout_default(&input, frame->ch_layout.nb_channels);
  else
    av_channel_layout_copy(&input, &frame->ch_layout);
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;  // FFmpeg 5 takes the layouts as non-const
  swr_free(&m_resampler);
  int result = input.nb_channels > 0 ? 0 : AVERROR(EINVAL);
  if (result >= 0)
    result = swr_alloc_set_opts2(&m_resampler, &stereo, AV_SAMPLE_FMT_FLT, 44100, &input,
                                 static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
  if (result >= 0) result = swr_init(m_resampler);
  m_resamplerChannels = input.nb_channels;
  av_channel_layout_uninit(&input);
  if (result < 0) {
    swr_free(&m_resampler);
    detail = AvError(result);
    return false;
  }
  m_resamplerFormat = frame->format;
  m_resamplerRate = frame->sample_rate;
  return true;
}

bool DMediaFile::ReadPacket() {
  if (m_readEnded) return false;
  if (av_read_frame(m_format, m_packet) < 0) {
    m_readEnded = true;
    return false;
  }
  Track* track = m_packet->stream_index == m_video.index   ? &m_video
                 : m_packet->stream_index == m_audio.index ? &m_audio
                                                           : nullptr;
  if (!track) {
    av_packet_unref(m_packet);
    return true;
  }
  AVPacket* packet = av_packet_alloc();
  if (!packet) {
    av_packet_unref(m_packet);
    return true;
  }
  av_packet_move_ref(packet, m_packet);
  track->packets.push_back(packet);
  if (track->packets.size() > kMaxQueuedPackets) {
    av_packet_free(&track->packets.front());
    track->packets.pop_front();
  }
  return true;
}

bool DMediaFile::Decode(Track& track, AVFrame* frame) {
  if (!track.codec || track.ended) return false;
  while (true) {
    const int received = avcodec_receive_frame(track.codec, frame);
    if (received == 0) {
      track.badPackets = 0;
      return true;
    }
    if (received == AVERROR_EOF || (received != AVERROR(EAGAIN) && ++track.badPackets > kMaxBadPackets)) {
      track.ended = true;
      return false;
    }
    if (received != AVERROR(EAGAIN)) continue;  // a damaged picture or block: on to the next
    if (track.packets.empty()) {
      if (ReadPacket()) continue;
      if (track.flushed) {
        track.ended = true;
        return false;
      }
      avcodec_send_packet(track.codec, nullptr);
      track.flushed = true;
      continue;
    }
    AVPacket* packet = track.packets.front();
    track.packets.pop_front();
    const int sent = avcodec_send_packet(track.codec, packet);
    av_packet_free(&packet);
    // A damaged packet is left out; a stream of nothing else is over.
    if (sent < 0 && ++track.badPackets > kMaxBadPackets) {
      track.ended = true;
      return false;
    }
  }
}

int64_t DMediaFile::TimeMs(const AVFrame* frame, const Track& track) const {
  const int64_t stamp = frame->best_effort_timestamp;
  if (stamp == AV_NOPTS_VALUE) return -1;
  return static_cast<int64_t>(static_cast<double>(stamp) * track.timeBase * 1000.0) - m_originMs;
}

bool DMediaFile::NextPicture() {
  if (!Decode(m_video, m_pending)) return false;
  const int64_t time = TimeMs(m_pending, m_video);
  // A picture without a time follows the last one.
  m_pendingMs = time >= 0 ? time : m_pendingMs + static_cast<int64_t>(m_frameMs);
  m_hasPending = true;
  return true;
}

bool DMediaFile::Start() {
  if (!IsOpen()) return false;
  if (m_atStart) return true;
  const int64_t start = m_format->start_time != AV_NOPTS_VALUE ? m_format->start_time : 0;
  if (avformat_seek_file(m_format, -1, INT64_MIN, start, start, 0) < 0 &&
      av_seek_frame(m_format, -1, start, AVSEEK_FLAG_BACKWARD) < 0)
    return false;
  ResetTrack(m_video);
  ResetTrack(m_audio);
  m_readEnded = false;
  m_hasPending = false;
  m_clockMs = m_pendingMs = m_pictureEndMs = 0;
  m_soundPosition = -1;
  if (m_resampler) {
    // Whatever the resampler kept belongs to the end of the last run.
    swr_close(m_resampler);
    if (swr_init(m_resampler) < 0) swr_free(&m_resampler);
  }
  if (!NextPicture()) return false;
  m_atStart = true;
  return true;
}

void DMediaFile::ResetTrack(Track& track) {
  FreePackets(track.packets);
  if (track.codec) avcodec_flush_buffers(track.codec);
  track.flushed = track.ended = false;
  track.badPackets = 0;
}

DMediaFile::Step DMediaFile::Advance(int32_t elapsedMs, LFB& picture, bool& newPicture,
                                     const SoundFn& sound) {
  newPicture = false;
  if (!IsOpen()) return Step::kEnded;
  m_atStart = false;
  m_clockMs += std::max<int32_t>(elapsedMs, 0);
  // Pictures whose time has come; only the last of them is shown.
  bool due = false;
  while (m_hasPending || NextPicture()) {
    if (m_pendingMs > m_clockMs) break;
    std::swap(m_shown, m_pending);
    m_hasPending = false;
    m_pictureEndMs = m_pendingMs + static_cast<int64_t>(m_frameMs);
    due = true;
  }
  if (due) newPicture = Convert(m_shown, picture);
  DecodeSound(sound);
  const bool picturesOver = !m_hasPending && m_video.ended && m_clockMs >= m_pictureEndMs;
  const bool soundOver = !m_audio.codec || m_audio.ended;
  return picturesOver && soundOver ? Step::kEnded : Step::kPlaying;
}

bool DMediaFile::Convert(const AVFrame* frame, LFB& picture) {
  const int width = frame->width;
  const int height = frame->height;
  if (width < 1 || height < 1) return false;
  if ((picture.GetWidth() != width || picture.GetHeight() != height) &&
      !picture.Create(width, height, 0, false))
    return false;
  m_scaler = sws_getCachedContext(m_scaler, width, height, static_cast<AVPixelFormat>(frame->format), width,
                                  height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!m_scaler) return false;
  uint8_t* target[1] = {reinterpret_cast<uint8_t*>(picture.GetPixels())};
  const int stride[1] = {picture.GetPitch() * 4};
  sws_scale(m_scaler, frame->data, frame->linesize, 0, height, target, stride);
  picture.SetHasAlpha(false);
  return true;
}

void DMediaFile::DecodeSound(const SoundFn& sound) {
  if (!m_audio.codec) return;
  while (!m_audio.ended) {
    const int64_t decodedMs = m_soundPosition < 0 ? 0 : m_soundPosition * 1000 / 44100;
    if (m_soundPosition >= 0 && decodedMs >= m_clockMs + kSoundLeadMs) break;
    if (!Decode(m_audio, m_sound)) break;
    Resample(m_sound, sound);
  }
}

void DMediaFile::Resample(const AVFrame* frame, const SoundFn& sound) {
  std::string ignored;
  if ((!m_resampler || frame->format != m_resamplerFormat || frame->sample_rate != m_resamplerRate ||
       frame->ch_layout.nb_channels != m_resamplerChannels) &&
      !SetUpResampler(frame, ignored))
    return;  // sound that cannot be converted is left out
  if (m_soundPosition < 0) {
    const int64_t time = TimeMs(frame, m_audio);
    m_soundPosition = time > 0 ? time * 44100 / 1000 : 0;
  }
  const int room = swr_get_out_samples(m_resampler, frame->nb_samples);
  if (room <= 0) return;
  m_samples.resize(static_cast<size_t>(room) * 2);
  uint8_t* out[1] = {reinterpret_cast<uint8_t*>(m_samples.data())};
  const int got = swr_convert(m_resampler, out, room, const_cast<const uint8_t**>(frame->extended_data),
                              frame->nb_samples);
  if (got <= 0) return;
  if (sound) sound(m_samples.data(), got, m_soundPosition);
  m_soundPosition += got;
}
