#include "flvReader.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

#include "platform/byteOrder.h"
#include "platform/platformDir.h"
#include "platform/sharedLibrary.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr size_t FLV_HEADER_SIZE = 9;
constexpr size_t FLV_TAG_HEADER_SIZE = 11;
constexpr size_t NELLY_BLOCK_SIZE = 64;
constexpr int NELLY_BLOCK_SAMPLES = 256;

// libavcodec serves the Nellymoser decoder only, and only FLV input needs it; it brings many
// libraries of its own, so it is loaded on the first FLV file instead of at every program's
// start. The structures are read through the fields of the headers compiled against: the
// library loaded is the one of their major version.
struct avcodecApi {
  decltype(&av_log_set_level) logSetLevel;
  decltype(&avcodec_find_decoder) findDecoder;
  decltype(&avcodec_alloc_context3) allocContext;
  decltype(&avcodec_open2) open;
  decltype(&avcodec_free_context) freeContext;
  decltype(&avcodec_send_packet) sendPacket;
  decltype(&avcodec_receive_frame) receiveFrame;
  decltype(&av_packet_alloc) packetAlloc;
  decltype(&av_new_packet) newPacket;
  decltype(&av_packet_unref) packetUnref;
  decltype(&av_packet_free) packetFree;
  decltype(&av_frame_alloc) frameAlloc;
  decltype(&av_frame_unref) frameUnref;
  decltype(&av_frame_free) frameFree;
  decltype(&av_channel_layout_default) channelLayoutDefault;
};

const avcodecApi& avcodec() {
  static const avcodecApi api = [] {
    // The libavutil functions are found through libavcodec, which depends on it.
    static const sharedLibrary library(strFormat("libavcodec.so.%d", LIBAVCODEC_VERSION_MAJOR),
                                       "Reading FLV audio (the Nellymoser decoder)");
    avcodecApi a{};
    library.bind(a.logSetLevel, "av_log_set_level");
    library.bind(a.findDecoder, "avcodec_find_decoder");
    library.bind(a.allocContext, "avcodec_alloc_context3");
    library.bind(a.open, "avcodec_open2");
    library.bind(a.freeContext, "avcodec_free_context");
    library.bind(a.sendPacket, "avcodec_send_packet");
    library.bind(a.receiveFrame, "avcodec_receive_frame");
    library.bind(a.packetAlloc, "av_packet_alloc");
    library.bind(a.newPacket, "av_new_packet");
    library.bind(a.packetUnref, "av_packet_unref");
    library.bind(a.packetFree, "av_packet_free");
    library.bind(a.frameAlloc, "av_frame_alloc");
    library.bind(a.frameUnref, "av_frame_unref");
    library.bind(a.frameFree, "av_frame_free");
    library.bind(a.channelLayoutDefault, "av_channel_layout_default");
    return a;
  }();
  return api;
}

// One Nellymoser decoder for a whole stream: the state carries the overlap from block to
// block. A block that does not decode gives silence, so every block gives 256 samples.
class nellymoserDecoder {
 public:
  nellymoserDecoder() : m_av(avcodec()) {
    m_av.logSetLevel(AV_LOG_QUIET);
    const AVCodec* codec = m_av.findDecoder(AV_CODEC_ID_NELLYMOSER);
    if (!codec) return;
    m_context = m_av.allocContext(codec);
    m_packet = m_av.packetAlloc();
    m_frame = m_av.frameAlloc();
    if (!m_context || !m_packet || !m_frame) return;
    m_context->sample_rate = 8000;
    m_av.channelLayoutDefault(&m_context->ch_layout, 1);
    if (m_av.open(m_context, codec, nullptr) < 0) return;
    m_ready = true;
  }
  ~nellymoserDecoder() {
    m_av.frameFree(&m_frame);
    m_av.packetFree(&m_packet);
    m_av.freeContext(&m_context);
  }
  nellymoserDecoder(const nellymoserDecoder&) = delete;
  nellymoserDecoder& operator=(const nellymoserDecoder&) = delete;

  bool ready() const { return m_ready; }

  // Decodes one 64-byte block into 256 values at the 16-bit scale (full scale 32768).
  void decode(const uint8_t* block, float* out) {
    std::fill(out, out + NELLY_BLOCK_SAMPLES, 0.0f);
    if (m_av.newPacket(m_packet, NELLY_BLOCK_SIZE) < 0) return;
    memcpy(m_packet->data, block, NELLY_BLOCK_SIZE);
    int sent = m_av.sendPacket(m_context, m_packet);
    m_av.packetUnref(m_packet);
    if (sent < 0) return;
    while (m_av.receiveFrame(m_context, m_frame) == 0) {
      const float* samples = reinterpret_cast<const float*>(m_frame->extended_data[0]);
      int n = std::min(m_frame->nb_samples, NELLY_BLOCK_SAMPLES);
      if (m_frame->format == AV_SAMPLE_FMT_FLT || m_frame->format == AV_SAMPLE_FMT_FLTP)
        for (int i = 0; i < n; ++i) out[i] = samples[i] * 32768.0f;
      m_av.frameUnref(m_frame);
    }
  }

 private:
  const avcodecApi& m_av;
  AVCodecContext* m_context = nullptr;
  AVPacket* m_packet = nullptr;
  AVFrame* m_frame = nullptr;
  bool m_ready = false;
};

}  // namespace

void flvCorrupt(const char* what, const char* name) {
  if (name) errorThrowf("Corrupt file (%s) in %s (line %d of %s)", what, name, TULIM_HERE);
  errorThrowf("Corrupt file (%s) (line %d of %s)", what, TULIM_HERE);
}

void flvHeaderRead(const uint8_t* data, size_t size, flvHeader& header, const char* name) {
  if (size < FLV_HEADER_SIZE) flvCorrupt("truncated file header", name);
  memcpy(header.signature, data, 3);
  header.version = data[3];
  header.flags = data[4];
  header.offset = readBigEndian32(data + 5);
}

void flvTagHeaderRead(const uint8_t* data, size_t size, flvTag& tag, const char* name) {
  if (size < FLV_TAG_HEADER_SIZE) flvCorrupt("truncated tag header", name);
  tag.type = data[0];
  tag.bodyLength = readBigEndian24(data + 1);
  tag.timestamp = readBigEndian24(data + 4);
  tag.streamId = readBigEndian24(data + 8);
  if (data[9] != 0 || data[10] != 0) flvCorrupt("tag padding ignored", name);
}

flvAudioInfo flvAudioFormat(uint8_t flags, const char* name) {
  flvAudioInfo info;
  info.bits = (flags & 0x02) ? 16 : 8;
  int format = flags >> 4;
  if (format == 5) {
    info.channelsFlag = 0;
    info.rateCode = 8;
  } else if (format == 6) {
    static const int codes[4] = {5, 11, 22, 44};
    info.channelsFlag = flags & 0x01;
    info.rateCode = codes[(flags >> 2) & 0x03];
  } else if (name) {
    errorThrowf("stream is not Nellymoser (audio format %d) in %s (line %d of %s)", format, name, TULIM_HERE);
  } else {
    errorThrowf("stream is not Nellymoser (audio format %d) (line %d of %s)", format, TULIM_HERE);
  }
  return info;
}

int flvRateCodeToFs(int rateCode) {
  switch (rateCode) {
    case 5: return 5500;
    case 8: return 8000;
    case 11: return 11025;
    case 22: return 22050;
    default: return 44100;
  }
}

void nellymoserClip(const float* in, int16_t* out) {
  for (int i = 0; i < NELLY_BLOCK_SAMPLES; ++i) {
    float v = in[i];
    if (v >= 32767.0f)
      out[i] = 32767;
    else if (v <= -32768.0f)
      out[i] = -32768;
    else if (std::isnan(v))
      out[i] = 0;
    else
      out[i] = static_cast<int16_t>(v);
  }
}

int16_t* readFlvShort(const char* name, int* fs, int* nbits, int* count, int* channels) {
  if (!name) {
    perror("flv_flvFile is NULL");
    return nullptr;
  }
  // A directory opens here and would report a size of 2^63 - 1 bytes: it is not a file.
  FILE* fp = nullptr;
  if (isDirectory(name))
    errno = EISDIR;
  else
    fp = fopen(name, "rb");
  if (!fp) {
    perror("flv_fopen");
    return nullptr;
  }
  fseek(fp, 0, SEEK_END);
  long fileSize = ftell(fp);
  fseek(fp, 0, SEEK_SET);
  if (fileSize <= 0) {
    fclose(fp);
    if (fs) *fs = 0;
    if (nbits) *nbits = 0;
    if (count) *count = 0;
    if (channels) *channels = 1;
    printf("Warning: flvFileSize=0! (line %d of %s)\n", 310, "flvimpl");
    return nullptr;
  }
  std::vector<uint8_t> data;
  try {
    data.resize(static_cast<size_t>(fileSize));
  } catch (const std::bad_alloc&) {
    fclose(fp);
    perror("flv_malloc");
    return nullptr;
  }
  size_t got = fread(data.data(), 1, data.size(), fp);
  fclose(fp);
  const size_t size = got;

  flvHeader header;
  if (size < 4 || memcmp(data.data(), "FLV", 3) != 0 || data[3] != 1) {
    fprintf(stderr, "Unknown file format!\n");
    return nullptr;
  }
  flvHeaderRead(data.data(), size, header, name);

  nellymoserDecoder decoder;
  if (!decoder.ready()) {
    fprintf(stderr, "Nellymoser decoder not available\n");
    return nullptr;
  }

  int16_t* output = nullptr;
  // A corrupt file raises in the middle of the stream: what has been decoded goes with it.
  struct outputGuard {
    int16_t*& samples;
    ~outputGuard() { free(samples); }
  } guard{output};
  size_t capacity = 0;
  size_t total = 0;
  bool formatSeen = false;
  uint8_t formatFlags = 0;
  uint32_t expectedPrevious = 0;
  size_t pos = FLV_HEADER_SIZE;
  float decoded[NELLY_BLOCK_SAMPLES];

  while (pos < size) {
    if (size - pos < 4) flvCorrupt("truncated tag size", name);
    if (readBigEndian32(&data[pos]) != expectedPrevious) flvCorrupt("tag size check failed", name);
    pos += 4;
    if (pos >= size) break;

    flvTag tag;
    flvTagHeaderRead(&data[pos], size - pos, tag, name);
    pos += FLV_TAG_HEADER_SIZE;
    if (tag.bodyLength > size - pos) flvCorrupt("truncated tag body", name);
    const uint8_t* body = &data[pos];

    if (tag.type == 8 && tag.bodyLength > 0) {
      uint8_t flags = body[0];
      if (!formatSeen) {
        flvAudioInfo info = flvAudioFormat(flags, name);
        formatSeen = true;
        formatFlags = flags;
        if (channels) *channels = info.channelsFlag ? 2 : 1;
        if (nbits) *nbits = info.bits;
        if (fs) *fs = flvRateCodeToFs(info.rateCode);
      } else if (flags != formatFlags) {
        flvCorrupt("changed audio format midstream", name);
      }
      size_t blocksBytes = tag.bodyLength - 1;
      if (blocksBytes % NELLY_BLOCK_SIZE != 0) flvCorrupt("partial Nellymoser block", name);
      for (size_t b = 0; b < blocksBytes; b += NELLY_BLOCK_SIZE) {
        decoder.decode(body + 1 + b, decoded);
        if (total + NELLY_BLOCK_SAMPLES > capacity) {
          // Geometric growth: the appends stay linear over long files.
          size_t newCapacity = capacity ? capacity * 2 : 16 * NELLY_BLOCK_SAMPLES;
          void* grown = realloc(output, newCapacity * sizeof(int16_t));
          if (!grown) {
            perror("flv_malloc");
            return nullptr;
          }
          output = static_cast<int16_t*>(grown);
          capacity = newCapacity;
        }
        nellymoserClip(decoded, output + total);
        total += NELLY_BLOCK_SAMPLES;
      }
    }
    pos += tag.bodyLength;
    expectedPrevious = FLV_TAG_HEADER_SIZE + tag.bodyLength;
  }

  if (count) *count = static_cast<int>(total);
  int16_t* samples = output;
  output = nullptr;
  return samples;
}

void flvTagPrint(const flvTag& tag) {
  const char* kind = nullptr;
  switch (tag.type) {
    case 8: kind = "audio"; break;
    case 9: kind = "video"; break;
    case 18: kind = "meta"; break;
    default: flvCorrupt("bad tag type");
  }
  printf("read %s tag, body_len = %d, timestamp = %.3f\n", kind, static_cast<int>(tag.bodyLength),
         tag.timestamp / 1000.0);
}

void flvAudioFormatPrint(uint8_t flags) {
  const char* name = nullptr;
  switch (flags >> 4) {
    case 0: name = "uncompressed"; break;
    case 1: name = "ADPCM"; break;
    case 2: name = "MP3"; break;
    case 5: name = "Nellymoser 8kHz mono"; break;
    case 6: name = "Nellymoser"; break;
    default: flvCorrupt("unknown audio format");
  }
  static const double kHz[4] = {5.5, 11, 22, 44};
  printf("audio format: %s, %d-bit samples, %.02fkHz, %s\n", (flags & 0x01) ? "stereo" : "mono",
         (flags & 0x02) ? 16 : 8, kHz[(flags >> 2) & 0x03], name);
}

void flvVideoFormatPrint(uint8_t flags) {
  const char* codec = nullptr;
  switch (flags & 0x0f) {
    case 2: codec = "Sorensen H.263"; break;
    case 3: codec = "Screen Video"; break;
    case 4: codec = "On2 VP6"; break;
    default: flvCorrupt("unknown video codec");
  }
  const char* frame = nullptr;
  switch (flags >> 4) {
    case 1: frame = "keyframe"; break;
    case 2: frame = "inter frame"; break;
    case 3: frame = "disposable inter frame"; break;
    default: flvCorrupt("unknown video frametype");
  }
  printf("video format: %s %s\n", codec, frame);
}

void flvFree(void* p) {
  if (p) free(p);
}

}  // namespace tulim
