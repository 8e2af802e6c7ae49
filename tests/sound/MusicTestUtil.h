// Shared pieces of the music tests: Ogg Vorbis files encoded in memory from
// known PCM, and the reference decoding of a file through libvorbisfile's own
// stdio reader (independent of the stream's memory callbacks).
#pragma once

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/sound/SoundTestUtil.h"

namespace musictest {

using soundtest::Bytes;

// Interleaved 16-bit PCM of a sine (each channel its own frequency), with a
// slow amplitude ramp so that no stretch repeats exactly.
inline std::vector<int16_t> Tone(int channels, uint32_t frames, long rate = 44100, double hz = 330.0) {
    std::vector<int16_t> pcm(size_t(frames) * channels);
    for (uint32_t i = 0; i < frames; ++i) {
        const double ramp = 0.3 + 0.5 * double(i) / frames;
        for (int c = 0; c < channels; ++c)
            pcm[size_t(i) * channels + c] =
                int16_t(12000.0 * ramp * std::sin(2.0 * M_PI * hz * (1.0 + 0.5 * c) * i / double(rate)));
    }
    return pcm;
}

// An Ogg Vorbis file of the interleaved PCM. With pagePerPacket every audio
// packet gets a page of its own, so that a damaged page loses one packet.
inline Bytes EncodeOgg(const std::vector<int16_t>& pcm, int channels, long rate, bool pagePerPacket = false,
                       float quality = 0.5f) {
    Bytes out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1234);
    auto putPage = [&](const ogg_page& pg) {
        out.insert(out.end(), pg.header, pg.header + pg.header_len);
        out.insert(out.end(), pg.body, pg.body + pg.body_len);
    };
    ogg_packet header, comment, code;
    vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comment);
    ogg_stream_packetin(&os, &code);
    ogg_page page;
    while (ogg_stream_flush(&os, &page))
        putPage(page);

    auto drain = [&] {
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (pagePerPacket ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page))
                    putPage(page);
            }
        }
    };
    const size_t frames = pcm.size() / channels;
    for (size_t at = 0; at < frames; at += 1024) {
        const size_t n = std::min<size_t>(1024, frames - at);
        float** buffer = vorbis_analysis_buffer(&vd, int(n));
        for (size_t i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                buffer[c][i] = pcm[(at + i) * channels + c] / 32768.0f;
        vorbis_analysis_wrote(&vd, int(n));
        drain();
    }
    vorbis_analysis_wrote(&vd, 0);
    drain();
    while (ogg_stream_flush(&os, &page))
        putPage(page);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

// The whole decoded file as 16-bit little-endian PCM bytes, read with
// libvorbisfile's own file reader; empty when it does not decode.
inline Bytes DecodeOggFile(const std::string& path, int* channels = nullptr, long* rate = nullptr) {
    Bytes pcm;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0) return pcm;
    if (const vorbis_info* vi = ov_info(&vf, -1)) {
        if (channels) *channels = vi->channels;
        if (rate) *rate = vi->rate;
    }
    char chunk[4096];
    int bitstream = 0;
    for (;;) {
        const long n = ov_read(&vf, chunk, sizeof chunk, 0, 2, 1, &bitstream);
        if (n <= 0) break;
        pcm.insert(pcm.end(), chunk, chunk + n);
    }
    ov_clear(&vf);
    return pcm;
}

} // namespace musictest
