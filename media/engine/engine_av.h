// Every FFmpeg call of the engine goes through the loader's entry-point
// table; AV(name) spells that call shortly: AV(avcodec_send_packet)(c, p).
#pragma once

#include "media/av_headers.h"
#include "media/av_utils.h"
#include "media/bitmap_converter.h"
#include "media/entry_points.h"
#include "media/loader.h"

#define AV(name) (::media::Av().name)
