#pragma once

// libav is loaded when it is first needed rather than linked: loading it and
// the 140 libraries behind it takes longer than ffmpeg's own start, and most
// jobs need it only while ffmpeg already runs. The headers still give the
// struct layouts, so the libraries loaded are the majors built against.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/dovi_meta.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
}

#include <QString>

#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
#define TORVANE_LIBAV_SIDE_DATA(X)                                                                 \
    X(Codec, av_packet_side_data_get)                                                              \
    X(Codec, av_packet_side_data_new)                                                              \
    X(Codec, av_packet_side_data_remove)
#else
#define TORVANE_LIBAV_SIDE_DATA(X)                                                                 \
    X(Format, av_stream_get_side_data)                                                             \
    X(Format, av_stream_new_side_data)
#endif

// Every libav function the encoder calls, with the library that holds it.
#define TORVANE_LIBAV_FUNCTIONS(X)                                                                 \
    X(Util, av_color_primaries_name)                                                               \
    X(Util, av_color_range_name)                                                                   \
    X(Util, av_color_space_name)                                                                   \
    X(Util, av_color_transfer_name)                                                                \
    X(Util, av_dict_copy)                                                                          \
    X(Util, av_dict_get)                                                                           \
    X(Util, av_dict_free)                                                                          \
    X(Util, av_dict_set)                                                                           \
    X(Util, av_display_rotation_set)                                                               \
    X(Util, av_frame_alloc)                                                                        \
    X(Util, av_frame_free)                                                                         \
    X(Util, av_log_set_level)                                                                      \
    X(Util, av_pix_fmt_desc_get)                                                                   \
    X(Util, av_rescale_q)                                                                          \
    X(Util, av_strerror)                                                                           \
    X(Codec, av_bsf_alloc)                                                                         \
    X(Codec, av_bsf_free)                                                                          \
    X(Codec, av_bsf_get_by_name)                                                                   \
    X(Codec, av_bsf_init)                                                                          \
    X(Codec, av_bsf_receive_packet)                                                                \
    X(Codec, av_bsf_send_packet)                                                                   \
    X(Codec, av_packet_alloc)                                                                      \
    X(Codec, av_packet_free)                                                                       \
    X(Codec, av_packet_rescale_ts)                                                                 \
    X(Codec, av_packet_unref)                                                                      \
    X(Codec, avcodec_alloc_context3)                                                               \
    X(Codec, avcodec_descriptor_get_by_name)                                                       \
    X(Codec, avcodec_find_decoder)                                                                 \
    X(Codec, avcodec_free_context)                                                                 \
    X(Codec, avcodec_get_name)                                                                     \
    X(Codec, avcodec_open2)                                                                        \
    X(Codec, avcodec_parameters_copy)                                                              \
    X(Codec, avcodec_parameters_to_context)                                                        \
    X(Codec, avcodec_receive_frame)                                                                \
    X(Codec, avcodec_send_packet)                                                                  \
    X(Format, av_codec_get_id)                                                                     \
    X(Format, av_codec_get_tag2)                                                                   \
    X(Format, av_guess_format)                                                                     \
    X(Format, av_guess_sample_aspect_ratio)                                                        \
    X(Format, av_interleaved_write_frame)                                                          \
    X(Format, av_read_frame)                                                                       \
    X(Format, av_write_trailer)                                                                    \
    X(Format, avformat_alloc_context)                                                              \
    X(Format, avformat_alloc_output_context2)                                                      \
    X(Format, avformat_close_input)                                                                \
    X(Format, avformat_find_stream_info)                                                           \
    X(Format, avformat_free_context)                                                               \
    X(Format, avformat_new_stream)                                                                 \
    X(Format, avformat_open_input)                                                                 \
    X(Format, avformat_query_codec)                                                                \
    X(Format, avformat_write_header)                                                               \
    X(Format, avio_closep)                                                                         \
    X(Format, avio_open)                                                                           \
    TORVANE_LIBAV_SIDE_DATA(X)

struct Libav
{
#define TORVANE_LIBAV_POINTER(library, name) decltype(&::name) name = nullptr;
    TORVANE_LIBAV_FUNCTIONS(TORVANE_LIBAV_POINTER)
#undef TORVANE_LIBAV_POINTER
};

// libav, loaded by the first call from whichever thread; nullptr when it
// cannot be loaded, with the loader's reason in *error.
const Libav *libav(QString *error = nullptr);
// Whether libav has been loaded already; never loads it.
bool libavLoaded();
