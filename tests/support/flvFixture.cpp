#include "flvFixture.h"

#include <cmath>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace tulim {
namespace test {

std::vector<float> sineSamples(int count, double freq, int fs, double amplitude) {
  std::vector<float> out(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) out[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * freq * i / fs));
  return out;
}

std::string nellymoserEncode(const std::vector<float>& samples, int fs) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_NELLYMOSER);
  if (!codec) throw std::runtime_error("no Nellymoser encoder");
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->sample_rate = fs;
  ctx->sample_fmt = AV_SAMPLE_FMT_FLT;
  av_channel_layout_default(&ctx->ch_layout, 1);
  if (avcodec_open2(ctx, codec, nullptr) < 0) throw std::runtime_error("cannot open Nellymoser encoder");
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  std::string blocks;
  auto drain = [&] {
    while (avcodec_receive_packet(ctx, packet) == 0) {
      blocks.append(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
      av_packet_unref(packet);
    }
  };
  const int n = ctx->frame_size;
  for (size_t start = 0; start < samples.size(); start += static_cast<size_t>(n)) {
    frame->nb_samples = n;
    frame->format = AV_SAMPLE_FMT_FLT;
    av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
    frame->sample_rate = fs;
    av_frame_get_buffer(frame, 0);
    float* data = reinterpret_cast<float*>(frame->data[0]);
    for (int i = 0; i < n; ++i) {
      size_t k = start + static_cast<size_t>(i);
      data[i] = k < samples.size() ? samples[k] : 0.0f;
    }
    avcodec_send_frame(ctx, frame);
    av_frame_unref(frame);
    drain();
  }
  avcodec_send_frame(ctx, nullptr);
  drain();
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return blocks;
}

namespace {
void appendBigEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += char((value >> (8 * i)) & 0xff);
}
}  // namespace

flvBuilder::flvBuilder(uint32_t dataOffset) {
  m_bytes = "FLV";
  m_bytes += char(1);
  m_bytes += char(0x04);
  appendBigEndian(m_bytes, dataOffset, 4);
}

flvBuilder& flvBuilder::tag(uint8_t type, const std::string& body, uint32_t timestamp) {
  appendBigEndian(m_bytes, m_any ? 11 + m_lastBody : 0, 4);
  m_bytes += char(type);
  appendBigEndian(m_bytes, static_cast<uint32_t>(body.size()), 3);
  appendBigEndian(m_bytes, timestamp, 3);
  m_bytes += char(0);
  appendBigEndian(m_bytes, 0, 3);
  m_bytes += body;
  m_lastBody = static_cast<uint32_t>(body.size());
  m_any = true;
  return *this;
}

std::string flvBuilder::bytes() const {
  std::string out = m_bytes;
  if (m_any) appendBigEndian(out, 11 + m_lastBody, 4);
  return out;
}

}  // namespace test
}  // namespace tulim
