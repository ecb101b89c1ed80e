#include "tests/demo/record/DecodedMovie.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace qibo::test {

bool DecodeMovie(const std::string& path, DecodedMovie& out) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
  bool ok = avformat_find_stream_info(format, nullptr) >= 0;
  out.duration = format->duration / static_cast<double>(AV_TIME_BASE);
  std::vector<AVCodecContext*> decoders(format->nb_streams, nullptr);
  for (unsigned i = 0; ok && i < format->nb_streams; ++i) {
    const AVCodecParameters* par = format->streams[i]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    decoders[i] = codec ? avcodec_alloc_context3(codec) : nullptr;
    ok = decoders[i] && avcodec_parameters_to_context(decoders[i], par) >= 0 &&
         avcodec_open2(decoders[i], codec, nullptr) >= 0;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
      out.video = par->codec_id;
      out.width = par->width;
      out.height = par->height;
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
      out.audio = par->codec_id;
      out.sampleRate = par->sample_rate;
      out.channels = par->ch_layout.nb_channels;
    }
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* toRgb = nullptr;
  auto receive = [&](unsigned index) {
    AVCodecContext* ctx = decoders[index];
    const AVRational base = format->streams[index]->time_base;
    while (avcodec_receive_frame(ctx, frame) >= 0) {
      if (ctx->codec_type == AVMEDIA_TYPE_VIDEO) {
        out.frameTimes.push_back(static_cast<double>(frame->best_effort_timestamp) * av_q2d(base));
        std::vector<uint8_t> rgb(static_cast<size_t>(frame->width) * frame->height * 3);
        toRgb = sws_getCachedContext(toRgb, frame->width, frame->height,
                                     static_cast<AVPixelFormat>(frame->format), frame->width, frame->height,
                                     AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
        uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
        int strides[4] = {frame->width * 3, 0, 0, 0};
        sws_scale(toRgb, frame->data, frame->linesize, 0, frame->height, planes, strides);
        out.rgb.push_back(std::move(rgb));
      } else if (ctx->codec_type == AVMEDIA_TYPE_AUDIO && frame->format == AV_SAMPLE_FMT_FLTP) {
        const auto* samples = reinterpret_cast<const float*>(frame->extended_data[0]);
        out.left.insert(out.left.end(), samples, samples + frame->nb_samples);
      } else if (ctx->codec_type == AVMEDIA_TYPE_AUDIO && frame->format == AV_SAMPLE_FMT_S16P) {
        const auto* samples = reinterpret_cast<const int16_t*>(frame->extended_data[0]);
        for (int i = 0; i < frame->nb_samples; ++i) out.left.push_back(samples[i] / 32768.0f);
      }
    }
  };
  while (ok && av_read_frame(format, packet) >= 0) {
    const auto index = static_cast<unsigned>(packet->stream_index);
    if (decoders[index] && avcodec_send_packet(decoders[index], packet) >= 0) receive(index);
    av_packet_unref(packet);
  }
  for (unsigned i = 0; ok && i < decoders.size(); ++i) {
    avcodec_send_packet(decoders[i], nullptr);
    receive(i);
  }
  sws_freeContext(toRgb);
  av_frame_free(&frame);
  av_packet_free(&packet);
  for (AVCodecContext*& ctx : decoders) avcodec_free_context(&ctx);
  avformat_close_input(&format);
  return ok;
}

}  // namespace qibo::test
