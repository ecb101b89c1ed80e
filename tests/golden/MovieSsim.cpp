#include "tests/golden/MovieSsim.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include <cstdlib>

namespace qibo::test {

namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  return text;
}

// A file name as a value of a filter's option inside a graph description:
// the characters the graph parser reads as syntax are escaped.
std::string Escaped(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' || c == '\'' || c == ':' || c == ',' || c == ';' || c == '[' || c == ']' || c == '=')
      out += "\\\\\\";
    out += c;
  }
  return out;
}

}  // namespace

MovieSsim CompareMovies(const std::string& reference, const std::string& movie) {
  MovieSsim result;
  AVFilterGraph* graph = avfilter_graph_alloc();
  AVFilterContext* sink = nullptr;
  AVFilterInOut* inputs = nullptr;
  AVFilterInOut* outputs = nullptr;
  AVFrame* frame = av_frame_alloc();
  double sum = 0.0;
  // The movie first: the ssim filter's first input is the one measured.
  const std::string description =
      "movie=" + Escaped(movie) + "[main];movie=" + Escaped(reference) + "[ref];[main][ref]ssim";
  int ret = graph && frame ? 0 : AVERROR(ENOMEM);
  if (ret >= 0)
    ret = avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                       graph);
  if (ret >= 0) ret = avfilter_graph_parse2(graph, description.c_str(), &inputs, &outputs);
  // The graph reads files of its own: nothing goes in, one stream comes out.
  if (ret >= 0 && (inputs || !outputs || outputs->next)) ret = AVERROR(EINVAL);
  if (ret >= 0) ret = avfilter_link(outputs->filter_ctx, outputs->pad_idx, sink, 0);
  if (ret >= 0) ret = avfilter_graph_config(graph, nullptr);
  while (ret >= 0) {
    ret = av_buffersink_get_frame(sink, frame);
    if (ret < 0) break;
    if (const AVDictionaryEntry* all = av_dict_get(frame->metadata, "lavfi.ssim.All", nullptr, 0)) {
      sum += std::strtod(all->value, nullptr);
      ++result.frames;
    }
    av_frame_unref(frame);
  }
  if (ret != AVERROR_EOF)
    result.error = AvError(ret);
  else if (result.frames > 0)
    result.mean = sum / result.frames;
  else
    result.error = "no frame compared";
  avfilter_inout_free(&inputs);
  avfilter_inout_free(&outputs);
  av_frame_free(&frame);
  avfilter_graph_free(&graph);
  return result;
}

}  // namespace qibo::test
