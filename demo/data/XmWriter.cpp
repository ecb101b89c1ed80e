#include "demo/data/XmWriter.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/object/ByteIO.h"

namespace qibo::demo {

namespace {

constexpr uint32_t kHeaderSize = 276;            // from offset 60 to the end of the order table
constexpr uint32_t kInstrumentHeaderSize = 263;  // with samples
constexpr uint32_t kInstrumentHeaderBare = 29;   // without samples
constexpr uint32_t kSampleHeaderSize = 40;
constexpr uint8_t kSample16Bit = 0x10;

using LeWriter = qibo::ByteWriter;

bool Fail(std::string* error, const char* text) {
  if (error) *error = text;
  return false;
}

bool Validate(const XmModule& m, std::string* error) {
  if (m.channels < 1 || m.channels > 32) return Fail(error, "channel count out of 1..32");
  if (m.orders.empty() || m.orders.size() > 256) return Fail(error, "order count out of 1..256");
  if (m.patterns.empty() || m.patterns.size() > 256) return Fail(error, "pattern count out of 1..256");
  if (m.instruments.size() > 128) return Fail(error, "more than 128 instruments");
  if (m.speed < 1 || m.speed > 31 || m.bpm < 32 || m.bpm > 255)
    return Fail(error, "speed or BPM out of range");
  if (m.restart < 0 || m.restart >= static_cast<int>(m.orders.size()))
    return Fail(error, "restart outside the orders");
  for (uint8_t order : m.orders)
    if (order >= m.patterns.size()) return Fail(error, "order names a missing pattern");
  for (const XmPattern& p : m.patterns) {
    if (p.rows < 1 || p.rows > 256) return Fail(error, "pattern rows out of 1..256");
    if (p.cells.size() > static_cast<size_t>(p.rows) * static_cast<size_t>(m.channels))
      return Fail(error, "pattern has more cells than rows x channels");
    for (const XmCell& c : p.cells)
      if (c.note > kXmKeyOff || c.instrument > m.instruments.size())
        return Fail(error, "cell note or instrument out of range");
  }
  for (const XmInstrument& ins : m.instruments) {
    if (ins.samples.size() > 16) return Fail(error, "more than 16 samples in an instrument");
    if (ins.volumeEnvelope.size() > 12) return Fail(error, "more than 12 envelope points");
    if (!ins.noteSamples.empty() && ins.noteSamples.size() != 96)
      return Fail(error, "note map is not 96 entries");
    for (uint8_t sample : ins.noteSamples)
      if (sample >= ins.samples.size()) return Fail(error, "note map names a missing sample");
    for (const XmSample& s : ins.samples) {
      if (s.data.size() > 0x3FFFFFFF) return Fail(error, "sample too long");
      if (s.loop != XmLoop::kNone && (s.loopLength == 0 || s.loopStart + s.loopLength > s.data.size()))
        return Fail(error, "sample loop outside the sample");
      if (s.volume > 64) return Fail(error, "sample volume above 64");
    }
  }
  return true;
}

// Packed cells: a byte with bit 7 set and one bit per field present
// (note, instrument, volume, effect, parameter), then those fields.
void WritePattern(LeWriter& w, const XmPattern& p, int channels) {
  w.U32(9);  // pattern header length
  w.U8(0);   // packing type
  w.U16(static_cast<uint16_t>(p.rows));
  const size_t sizeAt = w.Size();
  w.U16(0);  // packed data size, patched below
  const size_t dataStart = w.Size();
  const XmCell empty;
  for (int row = 0; row < p.rows; ++row) {
    for (int ch = 0; ch < channels; ++ch) {
      const size_t index = static_cast<size_t>(row) * channels + ch;
      const XmCell& c = index < p.cells.size() ? p.cells[index] : empty;
      const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
      uint8_t mask = 0;
      for (int i = 0; i < 5; ++i)
        if (fields[i]) mask |= static_cast<uint8_t>(1u << i);
      w.U8(0x80 | mask);
      for (int i = 0; i < 5; ++i)
        if (fields[i]) w.U8(fields[i]);
    }
  }
  w.PatchU16(sizeAt, static_cast<uint16_t>(w.Size() - dataStart));
}

void WriteInstrument(LeWriter& w, const XmInstrument& ins) {
  const bool hasSamples = !ins.samples.empty();
  w.U32(hasSamples ? kInstrumentHeaderSize : kInstrumentHeaderBare);
  w.Text(ins.name, 22);
  w.U8(0);  // type
  w.U16(static_cast<uint16_t>(ins.samples.size()));
  if (!hasSamples) return;

  w.U32(kSampleHeaderSize);
  for (size_t note = 0; note < 96; ++note) w.U8(ins.noteSamples.empty() ? 0 : ins.noteSamples[note]);
  for (size_t i = 0; i < 12; ++i) {
    const auto point =
        i < ins.volumeEnvelope.size() ? ins.volumeEnvelope[i] : std::pair<uint16_t, uint16_t>{0, 0};
    w.U16(point.first);
    w.U16(point.second);
  }
  w.Zeros(48);  // panning envelope
  w.U8(static_cast<uint8_t>(ins.volumeEnvelope.size()));
  w.U8(0);                                   // panning points
  w.Zeros(6);                                // sustain and loop points of both envelopes
  w.U8(ins.volumeEnvelope.empty() ? 0 : 1);  // volume envelope on
  w.U8(0);                                   // panning envelope off
  w.Zeros(4);                                // vibrato type, sweep, depth, rate
  w.U16(ins.fadeout);
  w.Zeros(22);  // reserved, up to the 263-byte header

  for (const XmSample& s : ins.samples) {
    // Lengths and loop points count bytes: two per 16-bit frame.
    w.U32(static_cast<uint32_t>(s.data.size() * 2));
    w.U32(s.loop == XmLoop::kNone ? 0 : s.loopStart * 2);
    w.U32(s.loop == XmLoop::kNone ? 0 : s.loopLength * 2);
    w.U8(s.volume);
    w.U8(static_cast<uint8_t>(s.finetune));
    w.U8(static_cast<uint8_t>(kSample16Bit | static_cast<uint8_t>(s.loop)));
    w.U8(s.panning);
    w.U8(static_cast<uint8_t>(s.relativeNote));
    w.U8(0);  // reserved
    w.Text(s.name, 22);
  }
  for (const XmSample& s : ins.samples) {
    int16_t previous = 0;
    for (int16_t v : s.data) {
      w.U16(static_cast<uint16_t>(static_cast<uint16_t>(v) - static_cast<uint16_t>(previous)));
      previous = v;
    }
  }
}

}  // namespace

XmCell& XmPattern::At(int row, int channel, int channels) {
  const size_t index = static_cast<size_t>(row) * channels + channel;
  if (cells.size() <= index) cells.resize(static_cast<size_t>(rows) * channels);
  return cells[index];
}

std::vector<uint8_t> WriteXm(const XmModule& m, std::string* error) {
  std::vector<uint8_t> out;
  if (!Validate(m, error)) return out;
  LeWriter w(out);
  w.Text("Extended Module: ", 17);
  w.Text(m.name, 20);
  w.U8(0x1A);
  w.Text("qiBO XmWriter", 20, ' ');
  w.U16(0x0104);
  w.U32(kHeaderSize);
  w.U16(static_cast<uint16_t>(m.orders.size()));
  w.U16(static_cast<uint16_t>(m.restart));
  w.U16(static_cast<uint16_t>(m.channels));
  w.U16(static_cast<uint16_t>(m.patterns.size()));
  w.U16(static_cast<uint16_t>(m.instruments.size()));
  w.U16(m.linearFrequencies ? 1 : 0);
  w.U16(static_cast<uint16_t>(m.speed));
  w.U16(static_cast<uint16_t>(m.bpm));
  for (size_t i = 0; i < 256; ++i) w.U8(i < m.orders.size() ? m.orders[i] : 0);
  for (const XmPattern& p : m.patterns) WritePattern(w, p, m.channels);
  for (const XmInstrument& ins : m.instruments) WriteInstrument(w, ins);
  return out;
}

bool WriteXmFile(const XmModule& m, const char* path, std::string* error) {
  const std::vector<uint8_t> image = WriteXm(m, error);
  if (image.empty()) return false;
  FILE* file = fopen(path, "wb");
  if (!file) return Fail(error, "cannot create the file");
  const bool written = fwrite(image.data(), 1, image.size(), file) == image.size();
  const bool closed = fclose(file) == 0;
  return written && closed ? true : Fail(error, "cannot write the file");
}

XmSample SineSample(const char* name, int frames, int period, int16_t amplitude) {
  XmSample s;
  s.name = name;
  s.data.resize(frames > 0 ? static_cast<size_t>(frames) : 0);
  for (size_t i = 0; i < s.data.size(); ++i) {
    const double phase = 2.0 * std::numbers::pi * static_cast<double>(i % period) / period;
    s.data[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(phase)));
  }
  return s;
}

}  // namespace qibo::demo
