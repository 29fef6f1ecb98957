// Names of the libraries' structures for the few handles the media library's
// own headers pass around (an opened input, a stream, a scaler). Declared,
// never defined here: whoever looks inside one includes av_headers.h, which
// only the media library's sources do. Front ends never need this header's
// names and build without the libraries' include folders.
#pragma once

extern "C" {
struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVAudioFifo;
struct AVFilterGraph;
struct AVFilterContext;
struct AVBSFContext;
struct SwsContext;
struct SwrContext;
struct AVDictionary;
struct AVSubtitle;
struct AVCodec;
}
