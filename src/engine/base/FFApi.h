// Process-wide entry-point variables of the media libraries, named after the library
// functions. Engine code calls the libraries only through these (ff::avcodec_open2 ...).
// They are null until the loader binds their library, and null again after unloading.
#pragma once

extern "C" {
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/tx.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "FFEntryPoints.h"

namespace ff {

#define VX_DECLARE_ENTRY_POINT(name) inline decltype(&::name) name = nullptr;
VX_AVCODEC_ENTRY_POINTS(VX_DECLARE_ENTRY_POINT)
VX_AVDEVICE_ENTRY_POINTS(VX_DECLARE_ENTRY_POINT)
VX_AVFILTER_ENTRY_POINTS(VX_DECLARE_ENTRY_POINT)
VX_AVFORMAT_ENTRY_POINTS(VX_DECLARE_ENTRY_POINT)
VX_AVUTIL_ENTRY_POINTS(VX_DECLARE_ENTRY_POINT)
VX_SWSCALE_ENTRY_POINTS(VX_DECLARE_ENTRY_POINT)
VX_SWRESAMPLE_ENTRY_POINTS(VX_DECLARE_ENTRY_POINT)
VX_MYUTIL_ENTRY_POINTS(VX_DECLARE_ENTRY_POINT)
#undef VX_DECLARE_ENTRY_POINT

#define VX_DECLARE_VARIABLE(name) inline decltype(&::name) name = nullptr;
VX_AVUTIL_VARIABLES(VX_DECLARE_VARIABLE)
#undef VX_DECLARE_VARIABLE

} // namespace ff
